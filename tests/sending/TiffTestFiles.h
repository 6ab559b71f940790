#pragma once
// Test images: multi-page bilevel files written with libtiff, and hand-built files whose
// every byte the test chooses (byte order, entry counts, offsets).
#include <cstdint>
#include <string>
#include <vector>

namespace sending_test {

struct BilevelSpec {
    int pages = 1;
    std::uint32_t width = 64;
    std::uint32_t height = 40;
    std::uint16_t compression = 4;  // CCITT Group 4
    std::uint32_t rowsPerStrip = 0; // 0: one strip per page
    bool pageNumbers = true;
    bool tiled = false;
};

// Pixels of page `page` (one byte per 8 pixels, rows one after another).
std::vector<std::uint8_t> PagePixels(int page, std::uint32_t width, std::uint32_t height);

// Writes a multi-page min-is-white bilevel file at 204x196 dpi.
void WriteBilevelTiff(const std::string& path, const BilevelSpec& spec);

// The pixels of directory `dir` of `path` as read by libtiff.
std::vector<std::uint8_t> ReadPixels(const std::string& path, int dir);

// Builds a classic TIFF byte by byte.
class CTiffBuilder {
public:
    explicit CTiffBuilder(bool bigEndian) : m_big(bigEndian) {}

    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count;
        std::uint32_t value;           // inline value (SHORT in the first half) or offset
        std::vector<std::uint8_t> raw; // out-of-line bytes, already in file order; offset set
    };
    struct Page {
        std::vector<Entry> entries;
        std::vector<std::uint8_t> strip;
    };

    // A page of uncompressed bilevel pixels with the usual fax tags; `extraEntries` private
    // tags (65000 + i) are added to reach a directory size.
    static Page BilevelPage(const std::vector<std::uint8_t>& pixels, std::uint32_t width,
                            std::uint32_t height, int extraEntries = 0);

    // Lays the pages out: header, then for each page its strip, resolutions and directory.
    // StripOffsets/StripByteCounts/X-YResolution values are filled in.
    std::vector<std::uint8_t> Build(std::vector<Page> pages);

    void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) const;
    void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) const;

private:
    bool m_big;
};

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

} // namespace sending_test
