#pragma once
// The program's own page-level TIFF code: reads one page directory with its strip data and
// writes it again into a new file, keeping only the tags a fax page needs. It is used to cut a
// print run into parts without decoding it; the Group 4 rewrite that follows (CopyPages)
// turns each part into a regular file.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A page directory holding more entries than this is refused.
constexpr std::size_t kMaxDirectoryEntries = 50;

// TIFF tags the page code knows by number.
constexpr std::uint16_t kTagStripOffsets = 273;
constexpr std::uint16_t kTagStripByteCounts = 279;
constexpr std::uint16_t kTagXResolution = 282;
constexpr std::uint16_t kTagYResolution = 283;
constexpr std::uint16_t kTagPageNumber = 297;
constexpr std::uint16_t kTagTileWidth = 322;
constexpr std::uint16_t kTagTileOffsets = 324;

// Whether `tag` is one of the tags kept in a page written by the page code.
bool IsKeptTag(std::uint16_t tag);

// One directory entry, its value in little-endian order.
struct CTiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::array<std::uint8_t, 4> value{}; // the value field when the data fits in it
    std::vector<std::uint8_t> data;      // the data when it does not (written after the page)
};

// One page as read from a file: the kept entries and the strips as stored (compressed).
struct CTiffPage {
    std::int32_t index = 0;          // position of the page in the output being written
    std::vector<CTiffEntry> entries; // kept entries, in input order
    std::uint32_t xResolution[2]{};  // numerator, denominator
    std::uint32_t yResolution[2]{};
    std::vector<std::uint32_t> stripLengths;
    std::vector<std::uint8_t> strips; // every strip's bytes, one after another
};

// Reads page directories from a classic TIFF file ("II" or "MM", 42). Every offset and count
// is checked against the file's size before anything is read or allocated.
class CTiffPageReader {
public:
    CTiffPageReader() = default;
    ~CTiffPageReader();
    CTiffPageReader(const CTiffPageReader&) = delete;
    CTiffPageReader& operator=(const CTiffPageReader&) = delete;

    // Opens `path` and reads the header. False with `error` set when it cannot be opened, is
    // not a classic TIFF file or holds no page.
    bool Open(const std::string& path, std::string& error);
    void Close();

    std::uint32_t FirstDirectory() const { return m_firstDirectory; }
    bool BigEndian() const { return m_bigEndian; }
    std::uint64_t Size() const { return m_size; }

    // Reads the page whose directory is at `offset`; `next` gets the next directory offset
    // (0 after the last page). False with `error` set when the page is damaged, or stored in a
    // way the page code does not read (then Unsupported() is true).
    bool ReadPage(std::uint32_t offset, CTiffPage& page, std::uint32_t& next, std::string& error);
    // Whether the last ReadPage failed on a layout it does not read (tiles), not on damage.
    bool Unsupported() const { return m_unsupported; }

    // Reads only the entry count at `offset` and the next directory offset after the entries.
    bool ReadNextOffset(std::uint32_t offset, std::uint32_t& next);

private:
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size);
    std::uint16_t U16(const std::uint8_t* p) const;
    std::uint32_t U32(const std::uint8_t* p) const;
    bool ReadValues(const std::uint8_t* entry, std::vector<std::uint32_t>& values);

    // Directories and their values are small reads close together: they are served from a
    // window of the file instead of one system call each.
    std::vector<std::uint8_t> m_window;
    std::uint64_t m_windowStart = 0;

    int m_fd = -1;
    std::uint64_t m_size = 0;
    bool m_bigEndian = false;
    bool m_unsupported = false;
    std::uint32_t m_firstDirectory = 0;
};

// Writes the 8-byte little-endian header whose first directory follows it.
bool WriteTiffHeader(std::FILE* out, std::uint64_t& position);

// Writes `page` at `position`, the current end of `out`, and advances `position`. The strip
// and resolution entries are pointed at the data written after the directory, and PageNumber
// becomes (page.index, totalPages). The next directory offset points just after this page
// when `morePages`, else it is 0. False on a short write or an output past 4 GiB.
bool WriteTiffPage(std::FILE* out, std::uint64_t& position, const CTiffPage& page, bool morePages,
                   std::uint16_t totalPages);
