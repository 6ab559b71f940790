#include "RasterPages.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <png.h>
#include <tiffio.h>
#include <vector>

namespace {

// No fax page needs more; a header claiming more is refused before anything is allocated.
constexpr std::uint64_t kMaxPixels = 120'000'000;
// The finest raster the printer makes (204x196 dpi): an image is shrunk to it before
// Ghostscript sees it, so a huge scan never makes a huge work file.
constexpr double kFaxXdpi = 204, kFaxYdpi = 196;
// Rows decoded at a time, bounded in bytes so that a very wide image stays cheap.
constexpr std::uint64_t kBandPixels = 1u << 22;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

// One page of the program: the image drawn at its physical aspect, as large as the paper
// allows, centred across and from the top.
struct Placement {
    double x = 0, y = 0, width = 0, height = 0;
};

Placement Fit(std::uint32_t w, std::uint32_t h, double xdpi, double ydpi, const PaperSize& paper) {
    double wpt = w * 72.0 / xdpi;
    double hpt = h * 72.0 / ydpi;
    double scale = std::min(paper.widthPt / wpt, paper.heightPt / hpt);
    Placement p;
    p.width = wpt * scale;
    p.height = hpt * scale;
    p.x = (paper.widthPt - p.width) / 2;
    p.y = paper.heightPt - p.height;
    return p;
}

void BeginPage(std::FILE* out, int number, const PaperSize& paper, const Placement& p) {
    std::fprintf(out, "%%%%Page: %d %d\n<< /PageSize [%d %d] >> setpagedevice\n", number, number,
                 paper.widthPt, paper.heightPt);
    std::fprintf(out, "gsave %.3f %.3f translate %.3f %.3f scale\n", p.x, p.y, p.width, p.height);
}

// Averages grey rows of a w x h image down to tw x th (box filter), taking the source one row
// at a time so that only the result is held.
class CShrink {
public:
    CShrink(std::uint32_t w, std::uint32_t h, std::uint32_t tw, std::uint32_t th)
        : m_w(w), m_h(h), m_tw(tw), m_th(th), m_sum(tw), m_cols(tw), m_out(std::size_t{tw} * th) {
        for (std::uint32_t x = 0; x < w; ++x) {
            ++m_cols[Col(x)];
        }
    }
    void AddRow(const std::uint8_t* grey) {
        std::uint32_t ty = static_cast<std::uint32_t>(std::uint64_t{m_y} * m_th / m_h);
        for (std::uint32_t x = 0; x < m_w; ++x) {
            m_sum[Col(x)] += grey[x];
        }
        ++m_rows;
        ++m_y;
        if (m_y == m_h || std::uint64_t{m_y} * m_th / m_h != ty) {
            std::uint8_t* out = &m_out[std::size_t{ty} * m_tw];
            for (std::uint32_t x = 0; x < m_tw; ++x) {
                out[x] = static_cast<std::uint8_t>(m_sum[x] / (std::uint64_t{m_cols[x]} * m_rows));
                m_sum[x] = 0;
            }
            m_rows = 0;
        }
    }
    const std::vector<std::uint8_t>& Image() const { return m_out; }

private:
    std::uint32_t Col(std::uint32_t x) const {
        return static_cast<std::uint32_t>(std::uint64_t{x} * m_tw / m_w);
    }
    std::uint32_t m_w, m_h, m_tw, m_th;
    std::uint32_t m_y = 0, m_rows = 0;
    std::vector<std::uint64_t> m_sum;
    std::vector<std::uint32_t> m_cols;
    std::vector<std::uint8_t> m_out;
};

// The size an image of w x h needs at most on the page placed at `p`.
std::pair<std::uint32_t, std::uint32_t> FaxRaster(std::uint32_t w, std::uint32_t h,
                                                  const Placement& p) {
    auto limit = [](double pt, double dpi) {
        return static_cast<std::uint32_t>(std::max(1.0, std::ceil(pt / 72.0 * dpi)));
    };
    return {std::min(w, limit(p.width, kFaxXdpi)), std::min(h, limit(p.height, kFaxYdpi))};
}

// An 8-bit grey image whose bytes follow the operator in the file itself.
bool WriteGreyPage(std::FILE* out, int number, const PaperSize& paper, const Placement& p,
                   std::uint32_t w, std::uint32_t h, const std::vector<std::uint8_t>& grey) {
    BeginPage(out, number, paper, p);
    std::fprintf(out,
                 "/DeviceGray setcolorspace\n<< /ImageType 1 /Width %u /Height %u "
                 "/BitsPerComponent 8 /Decode [0 1] /ImageMatrix [%u 0 0 -%u 0 %u] "
                 "/DataSource currentfile >> image\n",
                 w, h, w, h, h);
    if (std::fwrite(grey.data(), 1, grey.size(), out) != grey.size()) {
        return false;
    }
    std::fputs("\ngrestore showpage\n", out);
    return std::ferror(out) == 0;
}

std::uint8_t GreyOnWhite(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    unsigned grey = (r * 299u + g * 587u + b * 114u) / 1000u;
    return static_cast<std::uint8_t>((grey * a + 255u * (255u - a)) / 255u);
}

std::string TiffPages(const std::string& path, const PaperSize& paper, std::FILE* out) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) {
        return "not a readable TIFF image";
    }
    if (TIFFNumberOfDirectories(tif.get()) > kMaxFaxPages) {
        return "the TIFF image has more than " + std::to_string(kMaxFaxPages) + " pages";
    }
    int page = 0;
    do {
        std::uint32_t w = 0, h = 0;
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
        if (w == 0 || h == 0 || std::uint64_t{w} * h > kMaxPixels) {
            return "TIFF page " + std::to_string(page + 1) + " has an unusable size";
        }
        float xres = 0, yres = 0;
        std::uint16_t unit = RESUNIT_INCH;
        TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres);
        TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
        if (!(xres > 0) || !(yres > 0)) {
            xres = yres = 72;
        } else if (unit == RESUNIT_CENTIMETER) {
            xres *= 2.54f;
            yres *= 2.54f;
        }
        Placement placement = Fit(w, h, xres, yres, paper);
        auto [tw, th] = FaxRaster(w, h, placement);
        CShrink shrink(w, h, tw, th);
        char message[1024] = "";
        TIFFRGBAImage image{};
        if (!TIFFRGBAImageOK(tif.get(), message) ||
            !TIFFRGBAImageBegin(&image, tif.get(), 0, message)) {
            return "TIFF page " + std::to_string(page + 1) + " cannot be decoded";
        }
        image.req_orientation = ORIENTATION_TOPLEFT;
        std::uint32_t band =
            static_cast<std::uint32_t>(std::clamp<std::uint64_t>(kBandPixels / w, 1, h));
        std::vector<std::uint32_t> rgba(std::size_t{w} * band);
        std::vector<std::uint8_t> grey(w);
        bool decoded = true;
        for (std::uint32_t row = 0; row < h && decoded; row += band) {
            std::uint32_t rows = std::min(band, h - row);
            image.row_offset = static_cast<int>(row);
            decoded = TIFFRGBAImageGet(&image, rgba.data(), w, rows) != 0;
            for (std::uint32_t r = 0; r < rows && decoded; ++r) {
                const std::uint32_t* px = &rgba[std::size_t{r} * w];
                for (std::uint32_t x = 0; x < w; ++x) {
                    grey[x] = GreyOnWhite(TIFFGetR(px[x]), TIFFGetG(px[x]), TIFFGetB(px[x]),
                                          TIFFGetA(px[x]));
                }
                shrink.AddRow(grey.data());
            }
        }
        TIFFRGBAImageEnd(&image);
        if (!decoded) {
            return "TIFF page " + std::to_string(page + 1) + " cannot be decoded";
        }
        ++page;
        if (!WriteGreyPage(out, page, paper, placement, tw, th, shrink.Image())) {
            return "cannot write the work file";
        }
    } while (TIFFReadDirectory(tif.get()));
    return {};
}

std::string PngPage(const std::string& path, const PaperSize& paper, std::FILE* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return std::string("not a readable PNG image (") + image.message + ")";
    }
    if (image.width == 0 || image.height == 0 ||
        std::uint64_t{image.width} * image.height > kMaxPixels) {
        png_image_free(&image);
        return "the PNG image has an unusable size";
    }
    image.format = PNG_FORMAT_GA;
    std::vector<std::uint8_t> ga(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, ga.data(), 0, nullptr)) {
        std::string why = image.message;
        png_image_free(&image);
        return "the PNG image cannot be decoded (" + why + ")";
    }
    png_image_free(&image);
    Placement p = Fit(image.width, image.height, 72, 72, paper);
    auto [tw, th] = FaxRaster(image.width, image.height, p);
    CShrink shrink(image.width, image.height, tw, th);
    std::vector<std::uint8_t> grey(image.width);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* row = &ga[std::size_t{y} * image.width * 2];
        for (std::uint32_t x = 0; x < image.width; ++x) {
            grey[x] = GreyOnWhite(row[2 * x], row[2 * x], row[2 * x], row[2 * x + 1]);
        }
        shrink.AddRow(grey.data());
    }
    return WriteGreyPage(out, 1, paper, p, tw, th, shrink.Image()) ? std::string()
                                                                   : "cannot write the work file";
}

// JPEG data goes to Ghostscript as it is (DCTDecode); only its frame header is read here.
std::string JpegPage(const std::string& path, const PaperSize& paper, std::FILE* out) {
    FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        return "cannot be opened";
    }
    std::vector<std::uint8_t> data;
    std::uint8_t buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) {
        data.insert(data.end(), buf, buf + n);
    }
    std::uint32_t w = 0, h = 0, components = 0;
    double xdpi = 72, ydpi = 72;
    for (std::size_t i = 2; i + 4 <= data.size();) {
        if (data[i] != 0xFF) {
            break;
        }
        std::uint8_t marker = data[i + 1];
        std::size_t len = (std::size_t{data[i + 2]} << 8) | data[i + 3];
        if (len < 2 || i + 2 + len > data.size()) {
            break;
        }
        const std::uint8_t* seg = &data[i + 4];
        if (marker == 0xE0 && len >= 16 && std::equal(seg, seg + 5, "JFIF")) {
            unsigned xd = (seg[8] << 8) | seg[9], yd = (seg[10] << 8) | seg[11];
            if (xd > 0 && yd > 0 && (seg[7] == 1 || seg[7] == 2)) {
                xdpi = seg[7] == 1 ? xd : xd * 2.54;
                ydpi = seg[7] == 1 ? yd : yd * 2.54;
            }
        }
        bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && len >= 8) {
            h = (std::uint32_t{seg[1]} << 8) | seg[2];
            w = (std::uint32_t{seg[3]} << 8) | seg[4];
            components = seg[5];
            break;
        }
        i += 2 + len;
    }
    if (w == 0 || h == 0 || (components != 1 && components != 3 && components != 4)) {
        return "not a readable JPEG image";
    }
    Placement p = Fit(w, h, xdpi, ydpi, paper);
    BeginPage(out, 1, paper, p);
    const char* space = components == 1   ? "/DeviceGray"
                        : components == 3 ? "/DeviceRGB"
                                          : "/DeviceCMYK";
    std::fprintf(out,
                 "%s setcolorspace\n<< /ImageType 1 /Width %u /Height %u /BitsPerComponent 8 "
                 "/Decode [%s] /ImageMatrix [%u 0 0 -%u 0 %u] "
                 "/DataSource currentfile /DCTDecode filter >> image\n",
                 space, w, h,
                 components == 1   ? "0 1"
                 : components == 3 ? "0 1 0 1 0 1"
                                   : "0 1 0 1 0 1 0 1",
                 w, h, h);
    if (std::fwrite(data.data(), 1, data.size(), out) != data.size()) {
        return "cannot write the work file";
    }
    std::fputs("\ngrestore showpage\n", out);
    return {};
}

} // namespace

InputKind DetectInputKind(const std::string& path) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        return InputKind::Unknown;
    }
    unsigned char head[8] = {};
    std::size_t n = std::fread(head, 1, sizeof head, f.get());
    auto starts = [&](const char* magic, std::size_t len) {
        return n >= len &&
               std::equal(head, head + len, reinterpret_cast<const unsigned char*>(magic));
    };
    if (starts("%PDF", 4)) {
        return InputKind::Pdf;
    }
    if (starts("%!", 2) || starts("\x04%!", 3) || starts("\xC5\xD0\xD3\xC6", 4)) {
        return InputKind::PostScript;
    }
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) {
        return InputKind::Tiff;
    }
    if (starts("\x89PNG\r\n\x1A\n", 8)) {
        return InputKind::Png;
    }
    if (starts("\xFF\xD8\xFF", 3)) {
        return InputKind::Jpeg;
    }
    return InputKind::Unknown;
}

std::string WriteImageAsPostScript(const std::string& imagePath, InputKind kind,
                                   const PaperSize& paper, const std::string& psPath) {
    FilePtr out(std::fopen(psPath.c_str(), "wb"));
    if (!out) {
        return "cannot create the work file " + psPath;
    }
    std::fputs("%!PS-Adobe-3.0\n", out.get());
    std::string error = kind == InputKind::Tiff   ? TiffPages(imagePath, paper, out.get())
                        : kind == InputKind::Png  ? PngPage(imagePath, paper, out.get())
                        : kind == InputKind::Jpeg ? JpegPage(imagePath, paper, out.get())
                                                  : std::string("is not an image");
    std::fputs("%%EOF\n", out.get());
    if (std::fflush(out.get()) != 0 && error.empty()) {
        error = "cannot write the work file " + psPath;
    }
    return error;
}
