#include "sending/DroppedFile.h"

#include "platform/Files.h"
#include "store/DocumentIntake.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <tiffio.h>

namespace {

bool IsBilevelTiff(const std::string& path) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        return false;
    }
    std::uint16_t bits = 0, samples = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFClose(tif);
    return bits == 1 && samples == 1;
}

} // namespace

DroppedKind ClassifyDroppedFile(const std::string& path) {
    if (!platform::IsRegularFile(path)) {
        return DroppedKind::Unsupported;
    }
    unsigned char head[8] = {};
    std::size_t n = 0;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    auto starts = [&](const char* magic, std::size_t len) {
        return n >= len &&
               std::equal(head, head + len, reinterpret_cast<const unsigned char*>(magic));
    };
    if (starts("II*\0", 4) || starts("MM\0*", 4)) {
        return IsBilevelTiff(path) ? DroppedKind::FaxImage : DroppedKind::Printable;
    }
    if (starts("%PDF", 4) || starts("%!", 2) || starts("\x89PNG\r\n\x1A\n", 8) ||
        starts("\xFF\xD8\xFF", 3)) {
        return DroppedKind::Printable;
    }
    std::string ext = platform::Extension(path);
    return ext.size() > 1 && IsDocumentExtension(std::string_view(ext).substr(1))
               ? DroppedKind::Document
               : DroppedKind::Unsupported;
}
