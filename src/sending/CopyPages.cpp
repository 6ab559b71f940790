// The Group 4 rewrite: every page copied through libtiff the way `tiffcp -c g4 in out` does
// it for a single input file, so the parts the service receives are regular files whatever
// the page code before it wrote.
#include "sending/FaxImage.h"

#include <tiffio.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

// Most a single libtiff allocation may take while reading a page (as tiffcp's default).
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{256} << 20;
// Longest row copied: far beyond any printed page (a 1-bit row of 128 million pixels), far
// below what a damaged header may claim.
constexpr tmsize_t kMaxScanlineBytes = tmsize_t{16} << 20;

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

bool CopyPage(TIFF* in, TIFF* out) {
    uint32_t width = 0, length = 0;
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
            std::fprintf(stderr, "tiffcp: %s: Can't copy/convert subsampled image.\n",
                         TIFFFileName(in));
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
        std::fprintf(stderr,
                     "%s: Can not handle different planar configuration w/ bits/sample != 8\n",
                     TIFFFileName(in));
        return false;
    }
    if (TIFFIsTiled(in) || (inPlanar != PLANARCONFIG_CONTIG && inPlanar != PLANARCONFIG_SEPARATE)) {
        std::fprintf(stderr, "tiffcp: %s: Don't know how to copy/convert image.\n",
                     TIFFFileName(in));
        return false;
    }
    uint16_t planes = inPlanar == PLANARCONFIG_SEPARATE ? samplesPerPixel : 1;
    return CopyScanlines(in, out, length, planes);
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using UniqueTiff = std::unique_ptr<TIFF, TiffCloser>;

} // namespace

bool CopyPages(const std::string& inputPath, const std::string& outputPath, bool deleteInput) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { TIFFSetWarningHandler(nullptr); });

    UniqueTiff out(TIFFOpen(outputPath.c_str(), "w"));
    if (!out) {
        return false;
    }
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAlloc);
    UniqueTiff in(TIFFOpenExt(inputPath.c_str(), "r", options));
    TIFFOpenOptionsFree(options);
    bool ok = in != nullptr;
    while (ok) {
        ok = CopyPage(in.get(), out.get()) && TIFFWriteDirectory(out.get());
        if (!ok || !TIFFReadDirectory(in.get())) {
            break;
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
