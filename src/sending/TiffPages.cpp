#include "sending/TiffPages.h"

#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;

constexpr std::uint16_t kKeptTags[] = {254, 256, 257, 258, 259, 262, 266, 273, 274,
                                       277, 278, 279, 282, 283, 292, 296, 297};

// Bytes of one value of a TIFF field type; 0 for types this code does not know.
unsigned TypeSize(std::uint16_t type) {
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4:  // LONG
    case 9:  // SLONG
    case 11: // FLOAT
    case 13: // IFD
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0;
    }
}

// Turns `size` bytes of values of `type` from big-endian into little-endian order.
void SwapValues(std::uint8_t* p, std::size_t size, std::uint16_t type) {
    unsigned unit = TypeSize(type);
    if (type == 5 || type == 10) {
        unit = 4; // a rational is two 32-bit values
    }
    if (unit < 2) {
        return;
    }
    for (std::size_t i = 0; i + unit <= size; i += unit) {
        std::reverse(p + i, p + i + unit);
    }
}

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint32_t GetLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool WriteAll(std::FILE* out, std::uint64_t& position, const void* data, std::size_t size) {
    if (size == 0) {
        return true;
    }
    if (std::fwrite(data, 1, size, out) != size) {
        return false;
    }
    position += size;
    return true;
}

} // namespace

bool IsKeptTag(std::uint16_t tag) {
    return std::binary_search(std::begin(kKeptTags), std::end(kKeptTags), tag);
}

CTiffPageReader::~CTiffPageReader() {
    Close();
}

void CTiffPageReader::Close() {
    m_window.clear();
    m_windowStart = 0;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CTiffPageReader::Open(const std::string& path, std::string& error) {
    Close();
    m_fd = platform::OpenRegularFile(path, platform::kImageFileCap);
    if (m_fd < 0) {
        const int err = errno;
        error = "cannot open " + path + ": " +
                (err == EINVAL ? std::string("not a regular file") : std::strerror(err));
        return false;
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        Close();
        return false;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t header[8];
    if (!ReadAt(0, header, sizeof header)) {
        error = path + " is too short for a TIFF file";
        Close();
        return false;
    }
    if (header[0] == 'I' && header[1] == 'I') {
        m_bigEndian = false;
    } else if (header[0] == 'M' && header[1] == 'M') {
        m_bigEndian = true;
    } else {
        error = path + " is not a TIFF file";
        Close();
        return false;
    }
    if (U16(header + 2) != 42) {
        error = path + " is not a classic TIFF file";
        Close();
        return false;
    }
    m_firstDirectory = U32(header + 4);
    if (m_firstDirectory == 0) {
        error = path + " holds no page";
        Close();
        return false;
    }
    return true;
}

bool CTiffPageReader::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
    if (m_fd < 0 || offset > m_size || size > m_size - offset) {
        return false;
    }
    if (size == 0) {
        return true; // an empty strip or value: `buffer` may be null
    }
    constexpr std::size_t kWindow = 64 * 1024;
    constexpr std::size_t kSmallRead = 4096;
    if (size <= kSmallRead) {
        if (offset < m_windowStart || offset + size > m_windowStart + m_window.size()) {
            std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - offset));
            m_window.resize(want);
            m_windowStart = offset;
            std::size_t got = 0;
            while (got < want) {
                ssize_t n = ::pread(m_fd, m_window.data() + got, want - got,
                                    static_cast<off_t>(offset + got));
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    m_window.clear();
                    return false;
                }
                got += static_cast<std::size_t>(n);
            }
        }
        std::memcpy(buffer, m_window.data() + (offset - m_windowStart), size);
        return true;
    }
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint16_t CTiffPageReader::U16(const std::uint8_t* p) const {
    return m_bigEndian ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                       : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

std::uint32_t CTiffPageReader::U32(const std::uint8_t* p) const {
    if (m_bigEndian) {
        return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
               static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
    }
    return GetLe32(p);
}

// The SHORT or LONG values of a strip entry, however many there are.
bool CTiffPageReader::ReadValues(const std::uint8_t* entry, std::vector<std::uint32_t>& values) {
    std::uint16_t type = U16(entry + 2);
    std::uint32_t count = U32(entry + 4);
    if ((type != kTypeShort && type != kTypeLong) || count == 0) {
        return false;
    }
    unsigned unit = TypeSize(type);
    std::uint64_t bytes = std::uint64_t{count} * unit;
    if (bytes > m_size) {
        return false; // more values than the file could hold
    }
    std::vector<std::uint8_t> raw;
    const std::uint8_t* p = entry + 8;
    if (bytes > 4) {
        raw.resize(static_cast<std::size_t>(bytes));
        if (!ReadAt(U32(entry + 8), raw.data(), raw.size())) {
            return false;
        }
        p = raw.data();
    }
    values.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        values[i] = unit == 2 ? U16(p + 2 * i) : U32(p + 4 * i);
    }
    return true;
}

bool CTiffPageReader::ReadNextOffset(std::uint32_t offset, std::uint32_t& next) {
    std::uint8_t countBytes[2];
    if (!ReadAt(offset, countBytes, 2)) {
        return false;
    }
    std::uint8_t nextBytes[4];
    if (!ReadAt(std::uint64_t{offset} + 2 + 12ull * U16(countBytes), nextBytes, 4)) {
        return false;
    }
    next = U32(nextBytes);
    return true;
}

bool CTiffPageReader::ReadPage(std::uint32_t offset, CTiffPage& page, std::uint32_t& next,
                               std::string& error) {
    page.entries.clear();
    page.stripLengths.clear();
    page.strips.clear();
    page.xResolution[0] = page.xResolution[1] = 0;
    page.yResolution[0] = page.yResolution[1] = 0;
    m_unsupported = false;

    std::uint8_t countBytes[2];
    if (offset < 8 || !ReadAt(offset, countBytes, 2)) {
        error = "page directory offset " + std::to_string(offset) + " is outside the file";
        return false;
    }
    std::size_t count = U16(countBytes);
    if (count > kMaxDirectoryEntries) {
        error = "page directory has " + std::to_string(count) + " entries (at most " +
                std::to_string(kMaxDirectoryEntries) + ")";
        return false;
    }
    std::vector<std::uint8_t> dir(12 * count + 4);
    if (!ReadAt(std::uint64_t{offset} + 2, dir.data(), dir.size())) {
        error = "page directory at " + std::to_string(offset) + " is cut short";
        return false;
    }

    std::vector<std::uint32_t> stripOffsets;
    std::uint64_t outOfLineBytes = 0;
    bool haveOffsets = false, haveCounts = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = dir.data() + 12 * i;
        std::uint16_t tag = U16(e);
        if (tag == kTagTileWidth || tag == kTagTileOffsets) {
            // A sound file the strip copy cannot cut: say so rather than call it damaged.
            m_unsupported = true;
            error = "the pages are stored in tiles; only pages stored in strips can be cut";
            return false;
        }
        if (!IsKeptTag(tag)) {
            continue;
        }
        if (tag == kTagStripOffsets || tag == kTagStripByteCounts) {
            std::vector<std::uint32_t>& values =
                tag == kTagStripOffsets ? stripOffsets : page.stripLengths;
            if (!ReadValues(e, values)) {
                error = "unreadable strip entry " + std::to_string(tag);
                return false;
            }
            (tag == kTagStripOffsets ? haveOffsets : haveCounts) = true;
        }
        CTiffEntry entry;
        entry.tag = tag;
        entry.type = U16(e + 2);
        entry.count = U32(e + 4);
        unsigned unit = TypeSize(entry.type);
        if (unit == 0) {
            continue; // a type nobody can interpret: drop the entry
        }
        std::uint64_t bytes = std::uint64_t{entry.count} * unit;
        if (tag == kTagStripOffsets || tag == kTagStripByteCounts) {
            // rewritten as LONG values when the page is written
        } else if (bytes <= 4) {
            std::memcpy(entry.value.data(), e + 8, 4);
            if (m_bigEndian) {
                SwapValues(entry.value.data(), static_cast<std::size_t>(bytes), entry.type);
            }
        } else {
            outOfLineBytes += bytes;
            if (outOfLineBytes > m_size) {
                error = "entry " + std::to_string(tag) + " claims more data than the file holds";
                return false;
            }
            entry.data.resize(static_cast<std::size_t>(bytes));
            if (!ReadAt(U32(e + 8), entry.data.data(), entry.data.size())) {
                error = "data of entry " + std::to_string(tag) + " lies outside the file";
                return false;
            }
            if (m_bigEndian) {
                SwapValues(entry.data.data(), entry.data.size(), entry.type);
            }
            if ((tag == kTagXResolution || tag == kTagYResolution) && entry.type == kTypeRational &&
                entry.count == 1) {
                std::uint32_t* res = tag == kTagXResolution ? page.xResolution : page.yResolution;
                res[0] = GetLe32(entry.data.data());
                res[1] = GetLe32(entry.data.data() + 4);
                entry.data.clear(); // written at its fixed place after the directory
            }
        }
        page.entries.push_back(std::move(entry));
    }
    next = U32(dir.data() + 12 * count);

    if (!haveOffsets || !haveCounts || stripOffsets.size() != page.stripLengths.size()) {
        error = "page has no usable strip entries";
        return false;
    }
    std::uint64_t total = 0;
    for (std::size_t s = 0; s < stripOffsets.size(); ++s) {
        std::uint64_t end = std::uint64_t{stripOffsets[s]} + page.stripLengths[s];
        total += page.stripLengths[s];
        if (end > m_size || total > m_size) {
            error = "strip data lies outside the file";
            return false;
        }
    }
    page.strips.resize(static_cast<std::size_t>(total));
    std::size_t at = 0;
    for (std::size_t s = 0; s < stripOffsets.size(); ++s) {
        if (!ReadAt(stripOffsets[s], page.strips.data() + at, page.stripLengths[s])) {
            error = "strip data cannot be read";
            return false;
        }
        at += page.stripLengths[s];
    }
    return true;
}

bool WriteTiffHeader(std::FILE* out, std::uint64_t& position) {
    const std::uint8_t header[8] = {'I', 'I', 42, 0, 8, 0, 0, 0};
    return WriteAll(out, position, header, sizeof header);
}

bool WriteTiffPage(std::FILE* out, std::uint64_t& position, const CTiffPage& page, bool morePages,
                   std::uint16_t totalPages) {
    std::vector<CTiffEntry> entries = page.entries;
    bool havePageNumber = std::any_of(entries.begin(), entries.end(),
                                      [](const CTiffEntry& e) { return e.tag == kTagPageNumber; });
    if (!havePageNumber) {
        // Every part carries its page numbers, also when the printer wrote none.
        CTiffEntry pn;
        pn.tag = kTagPageNumber;
        auto at = std::find_if(entries.begin(), entries.end(),
                               [](const CTiffEntry& e) { return e.tag > kTagPageNumber; });
        entries.insert(at, pn);
    }
    const std::size_t strips = page.stripLengths.size();
    const std::uint64_t dirStart = position;
    const std::uint64_t base = dirStart + 2 + 12 * entries.size() + 4;
    const std::uint64_t stripStart = base + 16;
    const std::uint64_t arraysStart = stripStart + page.strips.size();
    std::uint64_t cursor = arraysStart + (strips > 1 ? 8 * strips : 0);

    std::vector<std::uint8_t> dir(2 + 12 * entries.size() + 4);
    PutU16(dir.data(), static_cast<std::uint16_t>(entries.size()));
    std::vector<const CTiffEntry*> outOfLine;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CTiffEntry& e = entries[i];
        std::uint8_t* d = dir.data() + 2 + 12 * i;
        std::uint16_t type = e.type;
        std::uint32_t count = e.count;
        std::uint8_t value[4];
        std::memcpy(value, e.value.data(), 4);
        if (e.tag == kTagStripOffsets || e.tag == kTagStripByteCounts) {
            type = kTypeLong;
            count = static_cast<std::uint32_t>(strips);
            if (strips == 1) {
                PutU32(value, static_cast<std::uint32_t>(
                                  e.tag == kTagStripOffsets ? stripStart : page.stripLengths[0]));
            } else {
                PutU32(value, static_cast<std::uint32_t>(e.tag == kTagStripOffsets
                                                             ? arraysStart
                                                             : arraysStart + 4 * strips));
            }
        } else if ((e.tag == kTagXResolution || e.tag == kTagYResolution) && e.data.empty() &&
                   e.type == kTypeRational && e.count == 1) {
            PutU32(value, static_cast<std::uint32_t>(e.tag == kTagXResolution ? base : base + 8));
        } else if (e.tag == kTagPageNumber) {
            type = kTypeShort;
            count = 2;
            PutU16(value, static_cast<std::uint16_t>(page.index));
            PutU16(value + 2, totalPages);
        } else if (!e.data.empty()) {
            PutU32(value, static_cast<std::uint32_t>(cursor));
            cursor += e.data.size();
            outOfLine.push_back(&e);
        }
        PutU16(d, e.tag);
        PutU16(d + 2, type);
        PutU32(d + 4, count);
        std::memcpy(d + 8, value, 4);
    }
    if (cursor > 0xFFFFFFFFull) {
        return false; // beyond what 32-bit offsets can address
    }
    PutU32(dir.data() + dir.size() - 4, morePages ? static_cast<std::uint32_t>(cursor) : 0);

    std::uint8_t res[16];
    PutU32(res, page.xResolution[0]);
    PutU32(res + 4, page.xResolution[1]);
    PutU32(res + 8, page.yResolution[0]);
    PutU32(res + 12, page.yResolution[1]);
    if (!WriteAll(out, position, dir.data(), dir.size()) ||
        !WriteAll(out, position, res, sizeof res) ||
        !WriteAll(out, position, page.strips.data(), page.strips.size())) {
        return false;
    }
    if (strips > 1) {
        std::vector<std::uint8_t> arrays(8 * strips);
        std::uint64_t at = stripStart;
        for (std::size_t s = 0; s < strips; ++s) {
            PutU32(arrays.data() + 4 * s, static_cast<std::uint32_t>(at));
            PutU32(arrays.data() + 4 * (strips + s), page.stripLengths[s]);
            at += page.stripLengths[s];
        }
        if (!WriteAll(out, position, arrays.data(), arrays.size())) {
            return false;
        }
    }
    for (const CTiffEntry* e : outOfLine) {
        if (!WriteAll(out, position, e->data.data(), e->data.size())) {
            return false;
        }
    }
    return position == cursor;
}
