// The Group 4 rewrite: every page copied through libtiff the way `tiffcp -c g4 in out` does
// it for a single input file, so the parts the service receives are regular files whatever
// the page code before it wrote.
#include "sending/FaxImage.h"

#include "platform/Files.h"

#include <tiffio.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Most a single libtiff allocation may take while reading a page (as tiffcp's default).
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{256} << 20;
// Longest row copied: far beyond any printed page (a 1-bit row of 128 million pixels), far
// below what a damaged header may claim.
constexpr tmsize_t kMaxScanlineBytes = tmsize_t{16} << 20;
// Largest strip decoded in one piece; longer ones go row by row.
constexpr tmsize_t kMaxStripBytes = tmsize_t{64} << 20;

enum class Kind { Long, Short, Short2, Ascii, Float, FloatArray, Double, ShortArray, Short4 };

struct TagCopy {
    ttag_t tag;
    Kind kind;
};

void CopyTag(TIFF* in, TIFF* out, ttag_t tag, Kind kind) {
    switch (kind) {
    case Kind::Long: {
        uint32_t v = 0;
        if (TIFFGetField(in, tag, &v)) {
            TIFFSetField(out, tag, v);
        }
        break;
    }
    case Kind::Short: {
        uint16_t v = 0;
        if (TIFFGetField(in, tag, &v)) {
            TIFFSetField(out, tag, v);
        }
        break;
    }
    case Kind::Short2: {
        uint16_t a = 0, b = 0;
        if (TIFFGetField(in, tag, &a, &b)) {
            TIFFSetField(out, tag, a, b);
        }
        break;
    }
    case Kind::Ascii: {
        char* s = nullptr;
        if (TIFFGetField(in, tag, &s)) {
            TIFFSetField(out, tag, s);
        }
        break;
    }
    case Kind::Float: {
        float v = 0;
        if (TIFFGetField(in, tag, &v)) {
            TIFFSetField(out, tag, v);
        }
        break;
    }
    case Kind::FloatArray: {
        float* v = nullptr;
        if (TIFFGetField(in, tag, &v)) {
            TIFFSetField(out, tag, v);
        }
        break;
    }
    case Kind::Double: {
        double v = 0;
        if (TIFFGetField(in, tag, &v)) {
            TIFFSetField(out, tag, v);
        }
        break;
    }
    case Kind::ShortArray: {
        uint16_t n = 0;
        uint16_t* v = nullptr;
        if (TIFFGetField(in, tag, &n, &v)) {
            TIFFSetField(out, tag, n, v);
        }
        break;
    }
    case Kind::Short4: {
        uint16_t *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
        if (TIFFGetField(in, tag, &a, &b, &c, &d)) {
            TIFFSetField(out, tag, a, b, c, d);
        }
        break;
    }
    }
}

// The descriptive tags carried over after the image layout.
constexpr TagCopy kDescriptiveTags[] = {
    {TIFFTAG_SUBFILETYPE, Kind::Long},
    {TIFFTAG_THRESHHOLDING, Kind::Short},
    {TIFFTAG_DOCUMENTNAME, Kind::Ascii},
    {TIFFTAG_IMAGEDESCRIPTION, Kind::Ascii},
    {TIFFTAG_MAKE, Kind::Ascii},
    {TIFFTAG_MODEL, Kind::Ascii},
    {TIFFTAG_MINSAMPLEVALUE, Kind::Short},
    {TIFFTAG_MAXSAMPLEVALUE, Kind::Short},
    {TIFFTAG_XRESOLUTION, Kind::Float},
    {TIFFTAG_YRESOLUTION, Kind::Float},
    {TIFFTAG_PAGENAME, Kind::Ascii},
    {TIFFTAG_XPOSITION, Kind::Float},
    {TIFFTAG_YPOSITION, Kind::Float},
    {TIFFTAG_RESOLUTIONUNIT, Kind::Short},
    {TIFFTAG_SOFTWARE, Kind::Ascii},
    {TIFFTAG_DATETIME, Kind::Ascii},
    {TIFFTAG_ARTIST, Kind::Ascii},
    {TIFFTAG_HOSTCOMPUTER, Kind::Ascii},
    {TIFFTAG_WHITEPOINT, Kind::FloatArray},
    {TIFFTAG_PRIMARYCHROMATICITIES, Kind::FloatArray},
    {TIFFTAG_HALFTONEHINTS, Kind::Short2},
    {TIFFTAG_INKSET, Kind::Short},
    {TIFFTAG_DOTRANGE, Kind::Short2},
    {TIFFTAG_TARGETPRINTER, Kind::Ascii},
    {TIFFTAG_SAMPLEFORMAT, Kind::Short},
    {TIFFTAG_EXTRASAMPLES, Kind::ShortArray},
    {TIFFTAG_SMINSAMPLEVALUE, Kind::Double},
    {TIFFTAG_SMAXSAMPLEVALUE, Kind::Double},
    {TIFFTAG_STONITS, Kind::Double},
};

// Copies the image data row by row, for each sample plane in turn when they are separate.
bool CopyScanlines(TIFF* in, TIFF* out, uint32_t length, uint16_t planes) {
    tmsize_t size = TIFFScanlineSize(in);
    if (size <= 0) {
        return false;
    }
    if (size > kMaxScanlineBytes) {
        TIFFError(TIFFFileName(in), "Rows of %lld bytes are too long for a fax page",
                  static_cast<long long>(size));
        return false;
    }
    std::vector<unsigned char> row(static_cast<std::size_t>(size), 0);
    for (uint16_t s = 0; s < planes; ++s) {
        for (uint32_t r = 0; r < length; ++r) {
            if (TIFFReadScanline(in, row.data(), r, s) < 0) {
                TIFFError(TIFFFileName(in), "Error, can't read scanline %u", r);
                return false;
            }
            if (TIFFWriteScanline(out, row.data(), r, s) < 0) {
                TIFFError(TIFFFileName(out), "Error, can't write scanline %u", r);
                return false;
            }
        }
    }
    return true;
}

// The rows per strip of a 1-bit page whose strips `out` cuts alike, so each can be decoded
// and encoded in one call; 0 when it must go row by row. A call per row costs the decoders
// far more (LZW about twice as much) than a call per strip; the encoded rows are the same.
uint32_t StripRowsInCommon(TIFF* in, TIFF* out, uint32_t length, uint16_t planes) {
    uint16_t bits = 1, samples = 1;
    uint32_t inRows = 0, outRows = 0;
    TIFFGetFieldDefaulted(in, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(in, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(in, TIFFTAG_ROWSPERSTRIP, &inRows);
    if (bits != 1 || samples != 1 || planes != 1 || length == 0 ||
        !TIFFGetField(out, TIFFTAG_ROWSPERSTRIP, &outRows)) {
        return 0;
    }
    const uint32_t rows = std::min(inRows, length);
    const tmsize_t rowSize = TIFFScanlineSize(in);
    if (rows == 0 || rows != std::min(outRows, length) ||
        TIFFNumberOfStrips(in) != (length - 1) / rows + 1 || rowSize <= 0 ||
        rowSize > kMaxScanlineBytes || rows > kMaxStripBytes / rowSize) {
        return 0;
    }
    return rows;
}

bool CopyStrips(TIFF* in, TIFF* out, uint32_t length, uint32_t rowsPerStrip) {
    std::vector<unsigned char> strip(static_cast<std::size_t>(TIFFVStripSize(in, rowsPerStrip)));
    for (uint32_t s = 0; s * rowsPerStrip < length; ++s) {
        const tmsize_t size = TIFFVStripSize(in, std::min(rowsPerStrip, length - s * rowsPerStrip));
        if (TIFFReadEncodedStrip(in, s, strip.data(), size) != size) {
            TIFFError(TIFFFileName(in), "Error, can't read strip %u", s);
            return false;
        }
        if (TIFFWriteEncodedStrip(out, s, strip.data(), size) != size) {
            TIFFError(TIFFFileName(out), "Error, can't write strip %u", s);
            return false;
        }
    }
    return true;
}

// Sets the tags of the page `out` is writing from the current page of `in`, as tiffcp does.
// Gives the rows and the sample planes to copy; false for a layout that cannot be copied,
// named on stderr when `report`.
bool SetUpPage(TIFF* in, TIFF* out, bool report, uint32_t& length, uint16_t& planes) {
    uint32_t width = 0;
    length = 0;
    uint16_t bitsPerSample = 1, samplesPerPixel = 1;
    if (TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width)) {
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    }
    if (TIFFGetField(in, TIFFTAG_IMAGELENGTH, &length)) {
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, length);
    }
    if (TIFFGetField(in, TIFFTAG_BITSPERSAMPLE, &bitsPerSample)) {
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    }
    if (TIFFGetField(in, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel)) {
        TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, samplesPerPixel);
    }
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    uint16_t inCompression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(in, TIFFTAG_COMPRESSION, &inCompression);
    if (!TIFFIsCODECConfigured(inCompression)) {
        return false;
    }
    uint16_t inPhotometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetFieldDefaulted(in, TIFFTAG_PHOTOMETRIC, &inPhotometric);
    if (inCompression == COMPRESSION_JPEG) {
        TIFFSetField(in, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    } else if (inPhotometric == PHOTOMETRIC_YCBCR) {
        uint16_t h = 1, v = 1;
        TIFFGetFieldDefaulted(in, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
        if (h != 1 || v != 1) {
            if (report) {
                std::fprintf(stderr, "tiffcp: %s: Can't copy/convert subsampled image.\n",
                             TIFFFileName(in));
            }
            return false;
        }
    }
    if (inPhotometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    } else {
        CopyTag(in, out, TIFFTAG_PHOTOMETRIC, Kind::Short);
    }
    CopyTag(in, out, TIFFTAG_FILLORDER, Kind::Short);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(in, TIFFTAG_ORIENTATION, &orientation);
    TIFFSetField(out, TIFFTAG_ORIENTATION, orientation);

    // Rows per strip of the input page, so a one-strip page stays one strip.
    uint32_t rowsPerStrip = 0;
    if (!TIFFGetField(in, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip)) {
        rowsPerStrip = TIFFDefaultStripSize(out, 0);
    }
    if (rowsPerStrip > length && rowsPerStrip != static_cast<uint32_t>(-1)) {
        rowsPerStrip = length;
    }
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);

    uint16_t planar = 0; // 0: the input names none
    if (TIFFGetField(in, TIFFTAG_PLANARCONFIG, &planar)) {
        TIFFSetField(out, TIFFTAG_PLANARCONFIG, planar);
    }
    if (samplesPerPixel <= 4) {
        CopyTag(in, out, TIFFTAG_TRANSFERFUNCTION, Kind::Short4);
    }
    CopyTag(in, out, TIFFTAG_COLORMAP, Kind::Short4);
    if (inCompression == COMPRESSION_CCITTFAX4) {
        CopyTag(in, out, TIFFTAG_GROUP4OPTIONS, Kind::Long);
    }
    if (inCompression == COMPRESSION_CCITTFAX3 || inCompression == COMPRESSION_CCITTFAX4) {
        CopyTag(in, out, TIFFTAG_BADFAXLINES, Kind::Long);
        CopyTag(in, out, TIFFTAG_CLEANFAXDATA, Kind::Short);
        CopyTag(in, out, TIFFTAG_CONSECUTIVEBADFAXLINES, Kind::Long);
    }
    CopyTag(in, out, TIFFTAG_FAXRECVPARAMS, Kind::Long);
    CopyTag(in, out, TIFFTAG_FAXRECVTIME, Kind::Long);
    CopyTag(in, out, TIFFTAG_FAXSUBADDRESS, Kind::Ascii);
    {
        uint32_t size = 0;
        void* data = nullptr;
        if (TIFFGetField(in, TIFFTAG_ICCPROFILE, &size, &data)) {
            TIFFSetField(out, TIFFTAG_ICCPROFILE, size, data);
        }
    }
    CopyTag(in, out, TIFFTAG_PAGENUMBER, Kind::Short2);
    for (const TagCopy& t : kDescriptiveTags) {
        CopyTag(in, out, t.tag, t.kind);
    }

    uint16_t inPlanar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(in, TIFFTAG_PLANARCONFIG, &inPlanar);
    if (inPlanar != planar && bitsPerSample != 8 && samplesPerPixel > 1) {
        if (report) {
            std::fprintf(stderr,
                         "%s: Can not handle different planar configuration w/ bits/sample != 8\n",
                         TIFFFileName(in));
        }
        return false;
    }
    if (TIFFIsTiled(in) || (inPlanar != PLANARCONFIG_CONTIG && inPlanar != PLANARCONFIG_SEPARATE)) {
        if (report) {
            std::fprintf(stderr, "tiffcp: %s: Don't know how to copy/convert image.\n",
                         TIFFFileName(in));
        }
        return false;
    }
    planes = inPlanar == PLANARCONFIG_SEPARATE ? samplesPerPixel : 1;
    return true;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using UniqueTiff = std::unique_ptr<TIFF, TiffCloser>;

// Counts what libtiff reports about one input handle's data. A decoder that meets codes it
// cannot read only reports them and goes on, so this count is how a page whose data does not
// decode is told from a sound one.
struct CDecodeFaults {
    unsigned count = 0;
};

int CountError(TIFF*, void* user, const char*, const char*, va_list) {
    ++static_cast<CDecodeFaults*>(user)->count;
    return 0; // the message still goes where libtiff sends it
}

int CountFaxWarning(TIFF*, void* user, const char* module, const char*, va_list) {
    // The fax decoders warn of cut-short data and rows of the wrong length.
    if (module != nullptr && std::strncmp(module, "Fax", 3) == 0) {
        ++static_cast<CDecodeFaults*>(user)->count;
    }
    return 0;
}

UniqueTiff OpenInput(const std::string& path, CDecodeFaults& faults) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options, CountError, &faults);
    TIFFOpenOptionsSetWarningHandlerExtR(options, CountFaxWarning, &faults);
    // libtiff opens what it is given and waits on a FIFO: only a regular file reaches it.
    const int fd = platform::OpenRegularFile(path, platform::kImageFileCap);
    UniqueTiff in(fd >= 0 ? TIFFFdOpenExt(fd, path.c_str(), "r", options) : nullptr);
    TIFFOpenOptionsFree(options);
    if (!in && fd >= 0) {
        ::close(fd);
    }
    return in;
}

// A growing file in memory, the target of a page encoded away from the output file.
struct CMemoryFile {
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
};

tmsize_t MemoryRead(thandle_t h, void* buffer, tmsize_t size) {
    auto* f = static_cast<CMemoryFile*>(h);
    if (f->position >= f->bytes.size()) {
        return 0;
    }
    std::size_t n = std::min(static_cast<std::size_t>(size), f->bytes.size() - f->position);
    std::memcpy(buffer, f->bytes.data() + f->position, n);
    f->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t MemoryWrite(thandle_t h, void* buffer, tmsize_t size) {
    auto* f = static_cast<CMemoryFile*>(h);
    const std::size_t n = static_cast<std::size_t>(size);
    if (f->bytes.size() < f->position + n) {
        f->bytes.resize(f->position + n);
    }
    std::memcpy(f->bytes.data() + f->position, buffer, n);
    f->position += n;
    return size;
}

toff_t MemorySeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<CMemoryFile*>(h);
    std::size_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->bytes.size() : 0;
    f->position = base + static_cast<std::size_t>(offset);
    return f->position;
}

int MemoryClose(thandle_t) {
    return 0;
}

toff_t MemorySize(thandle_t h) {
    return static_cast<CMemoryFile*>(h)->bytes.size();
}

int MemoryMap(thandle_t, void**, toff_t*) {
    return 0;
}

void MemoryUnmap(thandle_t, void*, toff_t) {}

// The strips of one output page, ready to be written as they are.
struct CPageStrips {
    bool ok = false;
    bool damaged = false; // the page's data does not decode
    std::vector<unsigned char> bytes;
    std::vector<tmsize_t> sizes; // of each strip, in order
};

// Whether a Group 4 strip ends as the encoder ends one: the end-of-block code (two EOLs) and
// zero bits up to the byte.
bool EndsWithEndOfBlock(const unsigned char* strip, std::size_t size, bool reversedBits) {
    std::uint32_t tail = 0;
    for (std::size_t i = size >= 4 ? size - 4 : 0; i < size; ++i) {
        unsigned char b = strip[i];
        if (reversedBits) {
            TIFFReverseBits(&b, 1);
        }
        tail = tail << 8 | b;
    }
    if (tail == 0) {
        return false;
    }
    unsigned pad = 0;
    while ((tail >> pad & 1) == 0) {
        ++pad;
    }
    return pad < 8 && (tail >> pad & 0xFFFFFF) == 0x001001;
}

// The fax decoders' hook that turns each row's runs into pixels.
using FaxFill = void (*)(unsigned char* row, uint32_t* runs, uint32_t* runsEnd, uint32_t width);

// Checking that a page decodes needs the decoder's reading of the codes and its row-length
// checks, not the pixels: leaving them unwritten saves a good part of the decoding.
void SkipFill(unsigned char*, uint32_t*, uint32_t*, uint32_t) {}

// Restores the fax decoder's own fill when it goes.
class CFillSkipped {
public:
    explicit CFillSkipped(TIFF* tif) : m_tif(tif) {
        m_set = TIFFGetField(tif, TIFFTAG_FAXFILLFUNC, &m_fill) &&
                TIFFSetField(tif, TIFFTAG_FAXFILLFUNC, SkipFill);
    }
    ~CFillSkipped() {
        if (m_set) {
            TIFFSetField(m_tif, TIFFTAG_FAXFILLFUNC, m_fill);
        }
    }
    CFillSkipped(const CFillSkipped&) = delete;
    CFillSkipped& operator=(const CFillSkipped&) = delete;

private:
    TIFF* m_tif;
    FaxFill m_fill = nullptr;
    bool m_set = false;
};

// A page already in the form the rewrite writes (1-bit Group 4, strips as the rewrite cuts
// them, same options and fill order) keeps its strips: the rewrite's encoder would produce the
// same bytes. Each strip is still decoded, so a page that does not decode is refused all the
// same. False when the page must be encoded after all.
bool KeepStrips(TIFF* in, uint32_t length, CDecodeFaults& faults, CPageStrips& page) {
    uint16_t compression = 0, bits = 1, samples = 1, fillOrder = FILLORDER_MSB2LSB;
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(in, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(in, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(in, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(in, TIFFTAG_FILLORDER, &fillOrder);
    // The rewrite keeps the rows per strip of a page that names them; else it chooses its own.
    if (compression != COMPRESSION_CCITTFAX4 || bits != 1 || samples != 1 || length == 0 ||
        TIFFIsTiled(in) || !TIFFGetField(in, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) ||
        rowsPerStrip == 0) {
        return false;
    }
    const uint32_t strips = TIFFNumberOfStrips(in);
    const uint32_t rows = std::min(rowsPerStrip, length);
    if (strips != (length - 1) / rows + 1) {
        return false;
    }
    std::vector<unsigned char> decoded;
    std::vector<unsigned char> raw;
    const CFillSkipped fillSkipped(in);
    for (uint32_t s = 0; s < strips; ++s) {
        const uint64_t size = TIFFGetStrileByteCount(in, s);
        if (size == 0 || size > static_cast<uint64_t>(kMaxSingleAlloc)) {
            return false;
        }
        raw.resize(static_cast<std::size_t>(size));
        if (TIFFReadRawStrip(in, s, raw.data(), static_cast<tmsize_t>(size)) !=
            static_cast<tmsize_t>(size)) {
            return false;
        }
        const bool reversed = fillOrder == FILLORDER_LSB2MSB;
        if (!EndsWithEndOfBlock(raw.data(), raw.size(), reversed)) {
            return false; // another encoder's ending: encode the page as the rewrite would
        }
        const uint32_t stripRows = std::min(rows, length - s * rows);
        const tmsize_t decodedSize = TIFFVStripSize(in, stripRows);
        if (decodedSize <= 0) {
            return false;
        }
        // Kept before decoding: libtiff may turn the bits of the buffer it decodes around.
        page.bytes.insert(page.bytes.end(), raw.begin(), raw.end());
        page.sizes.push_back(static_cast<tmsize_t>(size));
        decoded.resize(static_cast<std::size_t>(decodedSize));
        const unsigned before = faults.count;
        if (!TIFFReadFromUserBuffer(in, s, raw.data(), static_cast<tmsize_t>(size), decoded.data(),
                                    decodedSize) ||
            faults.count != before) {
            page.damaged = true;
            return true;
        }
    }
    page.ok = true;
    return true;
}

// Decodes the page and encodes it into a file in memory, set up as the output page is; takes
// the strips from there.
void EncodeStrips(TIFF* in, CDecodeFaults& faults, CPageStrips& page) {
    CMemoryFile file;
    UniqueTiff mem(TIFFClientOpen("page", "w", &file, MemoryRead, MemoryWrite, MemorySeek,
                                  MemoryClose, MemorySize, MemoryMap, MemoryUnmap));
    uint32_t length = 0;
    uint16_t planes = 1;
    if (!mem || !SetUpPage(in, mem.get(), false, length, planes)) {
        return;
    }
    const unsigned before = faults.count;
    const uint32_t stripRows = StripRowsInCommon(in, mem.get(), length, planes);
    const bool copied = stripRows != 0 ? CopyStrips(in, mem.get(), length, stripRows)
                                       : CopyScanlines(in, mem.get(), length, planes);
    if (faults.count != before) {
        page.damaged = true;
        return;
    }
    if (!copied || !TIFFFlushData(mem.get())) {
        return;
    }
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    if (!TIFFGetField(mem.get(), TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(mem.get(), TIFFTAG_STRIPBYTECOUNTS, &counts)) {
        return;
    }
    const uint32_t strips = TIFFNumberOfStrips(mem.get());
    for (uint32_t s = 0; s < strips; ++s) {
        if (offsets[s] + counts[s] > file.bytes.size()) {
            return;
        }
        page.bytes.insert(page.bytes.end(), file.bytes.begin() + static_cast<long>(offsets[s]),
                          file.bytes.begin() + static_cast<long>(offsets[s] + counts[s]));
        page.sizes.push_back(static_cast<tmsize_t>(counts[s]));
    }
    page.ok = true;
}

// The strips of the current page of `in`.
CPageStrips PreparePage(TIFF* in, CDecodeFaults& faults) {
    CPageStrips page;
    uint32_t length = 0;
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &length);
    if (KeepStrips(in, length, faults, page)) {
        if (page.ok || page.damaged) {
            return page;
        }
    }
    page = CPageStrips{};
    EncodeStrips(in, faults, page);
    return page;
}

// Prepares the pages of one input file on up to one thread per processor, each with its own
// handle of the input, a bounded number of pages ahead of the writer, which takes them in
// order.
class CPagePool {
public:
    CPagePool(const std::string& path, std::vector<uint64_t> offsets)
        : m_path(path), m_offsets(std::move(offsets)), m_pages(m_offsets.size()) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const std::size_t threads = std::min<std::size_t>(cores, m_offsets.size());
        m_window = 2 * threads + 2;
        for (std::size_t t = 0; t < threads; ++t) {
            m_threads.emplace_back([this] { Work(); });
        }
    }
    ~CPagePool() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& t : m_threads) {
            t.join();
        }
    }
    CPagePool(const CPagePool&) = delete;
    CPagePool& operator=(const CPagePool&) = delete;

    // Waits for page `i` (taken in order from 0) and hands it over.
    CPageStrips Take(std::size_t i) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_pages[i].has_value(); });
        CPageStrips page = std::move(*m_pages[i]);
        m_pages[i].reset();
        m_taken = i + 1;
        m_changed.notify_all();
        return page;
    }

private:
    void Work() {
        CDecodeFaults faults;
        UniqueTiff in = OpenInput(m_path, faults);
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] {
                    return m_stop || m_next >= m_offsets.size() || m_next < m_taken + m_window;
                });
                if (m_stop || m_next >= m_offsets.size()) {
                    return;
                }
                i = m_next++;
            }
            CPageStrips page;
            if (in && TIFFSetSubDirectory(in.get(), m_offsets[i])) {
                page = PreparePage(in.get(), faults);
            }
            {
                std::lock_guard lock(m_mutex);
                m_pages[i] = std::move(page);
            }
            m_changed.notify_all();
        }
    }

    const std::string m_path;
    const std::vector<uint64_t> m_offsets;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<CPageStrips>> m_pages;
    std::size_t m_next = 0;  // the next page a thread takes up
    std::size_t m_taken = 0; // pages handed to the writer
    std::size_t m_window = 1;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

bool WriteStrips(TIFF* out, CPageStrips& page) {
    std::size_t at = 0;
    for (std::size_t s = 0; s < page.sizes.size(); ++s) {
        const tmsize_t size = page.sizes[s];
        if (size > 0 && TIFFWriteRawStrip(out, static_cast<uint32_t>(s), page.bytes.data() + at,
                                          size) != size) {
            return false;
        }
        at += static_cast<std::size_t>(size);
    }
    return true;
}

} // namespace

bool CopyPages(const std::string& inputPath, const std::string& outputPath, bool deleteInput,
               bool* damaged) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { TIFFSetWarningHandler(nullptr); });
    if (damaged != nullptr) {
        *damaged = false;
    }

    const int outFd = platform::OpenForWriting(outputPath);
    UniqueTiff out(outFd >= 0 ? TIFFFdOpen(outFd, outputPath.c_str(), "w") : nullptr);
    if (!out) {
        if (outFd >= 0) {
            ::close(outFd);
        }
        return false;
    }
    CDecodeFaults faults;
    UniqueTiff in = OpenInput(inputPath, faults);
    bool ok = in != nullptr;
    // The pages libtiff reaches, by the offsets of their directories.
    std::vector<uint64_t> offsets;
    while (ok) {
        offsets.push_back(TIFFCurrentDirOffset(in.get()));
        if (!TIFFReadDirectory(in.get())) {
            break;
        }
    }
    if (ok) {
        CPagePool pool(inputPath, offsets);
        for (std::size_t i = 0; ok && i < offsets.size(); ++i) {
            uint32_t length = 0;
            uint16_t planes = 1;
            CPageStrips page = pool.Take(i);
            ok = TIFFSetSubDirectory(in.get(), offsets[i]) &&
                 SetUpPage(in.get(), out.get(), true, length, planes) && page.ok &&
                 WriteStrips(out.get(), page) && TIFFWriteDirectory(out.get());
            if (page.damaged && damaged != nullptr) {
                *damaged = true;
            }
        }
    }
    in.reset();
    if (ok) {
        ok = TIFFFlush(out.get()) == 1;
    }
    out.reset();
    if (!ok) {
        // A half-written image must not be taken for a finished one.
        ::unlink(outputPath.c_str());
        return false;
    }
    if (deleteInput) {
        ::unlink(inputPath.c_str());
    }
    return true;
}
