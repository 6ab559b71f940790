#include "TiffTestFiles.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sending_test {

std::vector<std::uint8_t> PagePixels(int page, std::uint32_t width, std::uint32_t height) {
    const std::uint32_t rowBytes = (width + 7) / 8;
    std::vector<std::uint8_t> px(rowBytes * height, 0);
    for (std::uint32_t r = 0; r < height; ++r) {
        for (std::uint32_t b = 0; b < rowBytes; ++b) {
            // Runs of black and white that differ per page and per row, like strokes of text.
            std::uint32_t v = (r / 3 + b * 5 + static_cast<std::uint32_t>(page) * 11) % 13;
            px[r * rowBytes + b] = v < 4 ? 0xFF : (v == 5 ? 0x3C : 0x00);
        }
        if (width % 8) {
            px[r * rowBytes + rowBytes - 1] &= static_cast<std::uint8_t>(0xFF << (8 - width % 8));
        }
    }
    return px;
}

void WriteBilevelTiff(const std::string& path, const BilevelSpec& spec) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    const std::uint32_t rowBytes = (spec.width + 7) / 8;
    for (int p = 0; p < spec.pages; ++p) {
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, spec.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, spec.height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, spec.compression);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 196.0f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_SOFTWARE, "velquin test");
        if (spec.pageNumbers) {
            TIFFSetField(t, TIFFTAG_PAGENUMBER, p, spec.pages);
        }
        std::vector<std::uint8_t> px = PagePixels(p, spec.width, spec.height);
        if (spec.tiled) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
            std::vector<std::uint8_t> tile(TIFFTileSize(t), 0);
            for (std::uint32_t y = 0; y < spec.height; y += 16) {
                for (std::uint32_t x = 0; x < spec.width; x += 16) {
                    ASSERT_GE(TIFFWriteTile(t, tile.data(), x, y, 0, 0), 0);
                }
            }
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                         spec.rowsPerStrip ? spec.rowsPerStrip : spec.height);
            for (std::uint32_t r = 0; r < spec.height; ++r) {
                ASSERT_GE(TIFFWriteScanline(t, px.data() + r * rowBytes, r, 0), 0);
            }
        }
        ASSERT_TRUE(TIFFWriteDirectory(t));
    }
    TIFFClose(t);
}

std::vector<std::uint8_t> ReadPixels(const std::string& path, int dir) {
    std::vector<std::uint8_t> px;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) {
        ADD_FAILURE() << "cannot open " << path;
        return px;
    }
    if (!TIFFSetDirectory(t, static_cast<tdir_t>(dir))) {
        ADD_FAILURE() << "no directory " << dir << " in " << path;
        TIFFClose(t);
        return px;
    }
    std::uint32_t height = 0;
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    tmsize_t rowBytes = TIFFScanlineSize(t);
    px.resize(static_cast<std::size_t>(rowBytes) * height);
    for (std::uint32_t r = 0; r < height; ++r) {
        if (TIFFReadScanline(t, px.data() + r * rowBytes, r, 0) < 0) {
            ADD_FAILURE() << "cannot read row " << r << " of " << path;
            break;
        }
    }
    TIFFClose(t);
    return px;
}

void CTiffBuilder::Put16(std::vector<std::uint8_t>& b, std::uint16_t v) const {
    if (m_big) {
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        b.push_back(static_cast<std::uint8_t>(v));
    } else {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
}

void CTiffBuilder::Put32(std::vector<std::uint8_t>& b, std::uint32_t v) const {
    for (int i = 0; i < 4; ++i) {
        int shift = m_big ? 24 - 8 * i : 8 * i;
        b.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

CTiffBuilder::Page CTiffBuilder::BilevelPage(const std::vector<std::uint8_t>& pixels,
                                             std::uint32_t width, std::uint32_t height,
                                             int extraEntries) {
    Page p;
    p.strip = pixels;
    p.entries = {
        {254, 4, 1, 2, {}},
        {256, 4, 1, width, {}},
        {257, 4, 1, height, {}},
        {258, 3, 1, 1, {}},
        {259, 3, 1, 1, {}},
        {262, 3, 1, 0, {}},
        {266, 3, 1, 1, {}},
        {273, 4, 1, 0, {}},
        {277, 3, 1, 1, {}},
        {278, 4, 1, height, {}},
        {279, 4, 1, 0, {}},
        {282, 5, 1, 0, {}},
        {283, 5, 1, 0, {}},
        {296, 3, 1, 2, {}},
        {297, 3, 2, 7 | (9u << 16), {}}, // numbers from the printer, rewritten on output
    };
    for (int i = 0; i < extraEntries; ++i) {
        p.entries.push_back({static_cast<std::uint16_t>(65000 + i), 4, 1, 0, {}});
    }
    return p;
}

std::vector<std::uint8_t> CTiffBuilder::Build(std::vector<Page> pages) {
    std::vector<std::uint8_t> b;
    b.push_back(m_big ? 'M' : 'I');
    b.push_back(m_big ? 'M' : 'I');
    Put16(b, 42);
    std::size_t nextField = b.size();
    Put32(b, 0);
    auto patch32 = [&](std::size_t at, std::uint32_t v) {
        std::vector<std::uint8_t> tmp;
        Put32(tmp, v);
        std::copy(tmp.begin(), tmp.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    };
    for (Page& page : pages) {
        std::uint32_t stripAt = static_cast<std::uint32_t>(b.size());
        b.insert(b.end(), page.strip.begin(), page.strip.end());
        std::uint32_t resAt = static_cast<std::uint32_t>(b.size());
        Put32(b, 204);
        Put32(b, 1);
        Put32(b, 196);
        Put32(b, 1);
        for (Entry& e : page.entries) {
            if (e.tag == 273) {
                e.value = stripAt;
            } else if (e.tag == 279) {
                e.value = static_cast<std::uint32_t>(page.strip.size());
            } else if (e.tag == 282) {
                e.value = resAt;
            } else if (e.tag == 283) {
                e.value = resAt + 8;
            }
            if (!e.raw.empty()) {
                e.value = static_cast<std::uint32_t>(b.size());
                b.insert(b.end(), e.raw.begin(), e.raw.end());
            }
        }
        patch32(nextField, static_cast<std::uint32_t>(b.size()));
        Put16(b, static_cast<std::uint16_t>(page.entries.size()));
        for (const Entry& e : page.entries) {
            Put16(b, e.tag);
            Put16(b, e.type);
            Put32(b, e.count);
            if (e.type == 3 && e.raw.empty()) {
                Put16(b, static_cast<std::uint16_t>(e.value));
                Put16(b, static_cast<std::uint16_t>(e.value >> 16));
            } else {
                Put32(b, e.value);
            }
        }
        nextField = b.size();
        Put32(b, 0);
    }
    return b;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

} // namespace sending_test
