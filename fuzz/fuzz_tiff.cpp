// Fax images: page counting, the page reader and writer, and the split with its Group 4
// rewrite, on whatever a print run file may hold.
#include "FuzzSupport.h"
#include "sending/FaxImage.h"
#include "sending/TiffPages.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <tiffio.h>

namespace {

// Walks every page through the reader and writes it again; what was written must read back
// with the same number of pages.
void RoundTripPages(const std::string& path) {
    CTiffPageReader reader;
    std::string error;
    if (!reader.Open(path, error)) {
        return;
    }
    std::vector<CTiffPage> pages;
    std::uint32_t offset = reader.FirstDirectory();
    while (offset != 0 && pages.size() < 64) {
        CTiffPage page;
        std::uint32_t next = 0;
        if (!reader.ReadPage(offset, page, next, error)) {
            return;
        }
        pages.push_back(std::move(page));
        offset = next;
    }
    if (offset != 0) {
        return;
    }
    const std::string outPath = fuzz_support::ScratchDir() + "/pages.tif";
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    if (out == nullptr) {
        std::abort();
    }
    std::uint64_t position = 0;
    bool ok = WriteTiffHeader(out, position);
    for (std::size_t i = 0; ok && i < pages.size(); ++i) {
        pages[i].index = static_cast<std::int32_t>(i);
        ok = WriteTiffPage(out, position, pages[i], i + 1 < pages.size(),
                           static_cast<std::uint16_t>(pages.size()));
    }
    std::fclose(out);
    if (ok && !pages.empty() && CountPages(outPath) != static_cast<int>(pages.size())) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // libtiff's warnings and errors would flood the run; failures show in the return values.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::WriteScratch("run.tif", data, size);
    const int pages = CountPages(path);
    RoundTripPages(path);
    if (pages > 0 && pages <= 16) {
        SplitPerRecipient(path, static_cast<int>(size % 3) + 1,
                          fuzz_support::ScratchDir() + "/Merge", 0x12345678);
    }
    return 0;
}
