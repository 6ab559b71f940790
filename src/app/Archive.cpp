#include "app/Archive.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr std::uint8_t kLongPrefix = 0xFF;
constexpr std::uint16_t kUnicodeMarker = 0xFFFE;
constexpr std::uint16_t kLength32 = 0xFFFF;

[[noreturn]] void ThrowEof() {
    throw CArchiveException(CArchiveException::kEndOfFile, "unexpected end of archive");
}

} // namespace

CArchive::CArchive() : m_storing(true) {}

CArchive::CArchive(std::string_view bytes) : m_storing(false), m_in(bytes) {}

void CArchive::WriteBytes(const void* data, std::size_t n) {
    m_out.append(static_cast<const char*>(data), n);
}

void CArchive::WriteU8(std::uint8_t v) {
    m_out.push_back(static_cast<char>(v));
}

void CArchive::WriteU16(std::uint16_t v) {
    WriteU8(static_cast<std::uint8_t>(v & 0xFF));
    WriteU8(static_cast<std::uint8_t>(v >> 8));
}

void CArchive::WriteU32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        WriteU8(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
    }
}

void CArchive::WriteI32(std::int32_t v) {
    WriteU32(static_cast<std::uint32_t>(v));
}

void CArchive::WriteI64(std::int64_t v) {
    auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) {
        WriteU8(static_cast<std::uint8_t>((u >> (8 * i)) & 0xFF));
    }
}

void CArchive::WriteLength(std::uint64_t n) {
    if (n < kLongPrefix) {
        WriteU8(static_cast<std::uint8_t>(n));
    } else if (n < kUnicodeMarker) {
        WriteU8(kLongPrefix);
        WriteU16(static_cast<std::uint16_t>(n));
    } else {
        WriteU8(kLongPrefix);
        WriteU16(kLength32);
        WriteU32(static_cast<std::uint32_t>(n));
    }
}

void CArchive::WriteRawString(std::string_view bytes) {
    WriteLength(bytes.size());
    WriteBytes(bytes.data(), bytes.size());
}

void CArchive::WriteString(std::string_view utf8) {
    bool lossless = true;
    std::string cp = platform::Utf8ToCp1251(utf8, &lossless);
    if (lossless) {
        WriteRawString(cp);
        return;
    }
    std::u16string wide = platform::Utf8ToUtf16(utf8);
    WriteU8(kLongPrefix);
    WriteU16(kUnicodeMarker);
    WriteLength(wide.size());
    for (char16_t c : wide) {
        WriteU16(static_cast<std::uint16_t>(c));
    }
}

void CArchive::Require(std::size_t n) const {
    if (n > Remaining()) {
        ThrowEof();
    }
}

void CArchive::ReadBytes(void* data, std::size_t n) {
    Require(n);
    std::memcpy(data, m_in.data() + m_pos, n);
    m_pos += n;
}

std::uint8_t CArchive::ReadU8() {
    Require(1);
    return static_cast<std::uint8_t>(m_in[m_pos++]);
}

std::uint16_t CArchive::ReadU16() {
    std::uint16_t lo = ReadU8();
    std::uint16_t hi = ReadU8();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t CArchive::ReadU32() {
    Require(4);
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(m_in[m_pos++])) << (8 * i);
    }
    return v;
}

std::int32_t CArchive::ReadI32() {
    return static_cast<std::int32_t>(ReadU32());
}

std::int64_t CArchive::ReadI64() {
    Require(8);
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(m_in[m_pos++])) << (8 * i);
    }
    return static_cast<std::int64_t>(v);
}

std::uint64_t CArchive::ReadLength(bool& unicode) {
    unicode = false;
    std::uint8_t b = ReadU8();
    if (b < kLongPrefix) {
        return b;
    }
    std::uint16_t w = ReadU16();
    if (w == kUnicodeMarker) {
        unicode = true;
        // The length in units follows in the ordinary form; a second marker is malformed.
        b = ReadU8();
        if (b < kLongPrefix) {
            return b;
        }
        w = ReadU16();
        if (w == kUnicodeMarker) {
            throw CArchiveException(CArchiveException::kBadFormat, "malformed text length");
        }
    }
    if (w < kUnicodeMarker) {
        return w;
    }
    return ReadU32();
}

std::string CArchive::ReadString() {
    bool unicode = false;
    std::uint64_t n = ReadLength(unicode);
    if (!unicode) {
        Require(n);
        std::string_view raw = m_in.substr(m_pos, n);
        m_pos += n;
        // Most texts (numbers, paths) are plain ASCII, which needs no conversion.
        if (!platform::HasNonAscii(raw)) {
            return std::string(raw);
        }
        return platform::Cp1251ToUtf8(raw);
    }
    if (n > Remaining() / 2) {
        ThrowEof();
    }
    std::u16string wide(n, u'\0');
    for (auto& c : wide) {
        c = static_cast<char16_t>(ReadU16());
    }
    return platform::Utf16ToUtf8(wide);
}

std::string ReadArchiveFile(const std::string& path) {
    std::string bytes;
    int err = platform::ReadStoreFile(path, bytes, platform::kArchiveFileCap);
    if (err != 0) {
        throw CFileException(err, path, "cannot read " + path + ": " + std::strerror(err));
    }
    return bytes;
}

void WriteArchiveFile(const std::string& path, std::string_view bytes) {
    int err = platform::AtomicWriteFile(path, bytes);
    if (err != 0) {
        throw CFileException(err, path, "cannot write " + path + ": " + std::strerror(err));
    }
}

std::string DescribeFileError(const std::exception& e, const std::string& path) {
    // The texts' ids in the string table.
    constexpr unsigned kNotFound = 9431, kNoAccess = 9432, kNoSpace = 9433, kFileError = 9434,
                       kEndOfFile = 9435, kBadFormat = 9436, kNoMemory = 9437, kReadError = 9438,
                       kNotRegular = 9446;
    unsigned id = kReadError;
    std::string reason;
    if (const auto* fe = dynamic_cast<const CFileException*>(&e)) {
        switch (fe->GetError()) {
        case ENOENT:
            id = kNotFound;
            break;
        case EACCES:
        case EPERM:
            id = kNoAccess;
            break;
        case ENOSPC:
            id = kNoSpace;
            break;
        case EINVAL: // how the store's readers refuse a FIFO, device or folder, among others
            if (platform::PathExists(path) && !platform::IsRegularFile(path)) {
                id = kNotRegular;
            } else {
                id = kFileError;
                reason = std::strerror(fe->GetError());
            }
            break;
        default:
            id = kFileError;
            reason = std::strerror(fe->GetError());
        }
    } else if (const auto* ae = dynamic_cast<const CArchiveException*>(&e)) {
        id = ae->GetCause() == CArchiveException::kEndOfFile ? kEndOfFile : kBadFormat;
    } else if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
        id = kNoMemory;
    }
    return FormatString(LoadString(id), path, reason);
}
