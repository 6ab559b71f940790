#pragma once
// The persistence encoding of job files and address books: little-endian integers, 16-bit
// version numbers and length-prefixed texts. Texts are UTF-8 inside the program and
// Windows-1251 on disk; a text the code page cannot hold is stored in the UTF-16 form
// (prefix 255, 65534), which every reader of the format accepts.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// A read or format error in an archive (truncated data, impossible length, bad value).
class CArchiveException : public std::runtime_error {
public:
    enum Cause { kEndOfFile, kBadFormat };
    CArchiveException(Cause cause, const std::string& what)
        : std::runtime_error(what), m_cause(cause) {}
    Cause GetCause() const { return m_cause; }

private:
    Cause m_cause;
};

// A file that could not be opened, read or written; `error` is the errno value.
class CFileException : public std::runtime_error {
public:
    CFileException(int error, const std::string& path, const std::string& what)
        : std::runtime_error(what), m_error(error), m_path(path) {}
    int GetError() const { return m_error; }
    const std::string& GetPath() const { return m_path; }

private:
    int m_error;
    std::string m_path;
};

class CArchive {
public:
    // A storing archive that collects bytes in memory.
    CArchive();
    // A loading archive over `bytes` (kept by reference: they must outlive the archive).
    explicit CArchive(std::string_view bytes);

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }

    // Storing.
    void WriteU8(std::uint8_t v);
    void WriteU16(std::uint16_t v);
    void WriteI32(std::int32_t v);
    void WriteU32(std::uint32_t v);
    void WriteI64(std::int64_t v);
    void WriteBytes(const void* data, std::size_t n);
    // Writes a UTF-8 text in Windows-1251, or in the UTF-16 form when it cannot be held.
    void WriteString(std::string_view utf8);
    // Writes raw code-page bytes with the length prefix (no conversion).
    void WriteRawString(std::string_view bytes);

    // Loading; every read past the end throws CArchiveException.
    std::uint8_t ReadU8();
    std::uint16_t ReadU16();
    std::int32_t ReadI32();
    std::uint32_t ReadU32();
    std::int64_t ReadI64();
    // A 32-bit time of the older versions, widened.
    std::int64_t ReadTime32() { return ReadI32(); }
    void ReadBytes(void* data, std::size_t n);
    // Reads a text in either form and returns it as UTF-8.
    std::string ReadString();

    // Bytes not yet read.
    std::size_t Remaining() const { return m_in.size() - m_pos; }
    std::size_t Position() const { return m_pos; }
    // Throws when fewer than `n` bytes are left: called before allocating for a claimed count.
    void Require(std::size_t n) const;

    // The bytes written so far.
    const std::string& Buffer() const { return m_out; }
    void Reserve(std::size_t n) { m_out.reserve(n); }
    std::string TakeBuffer() { return std::move(m_out); }

private:
    // Reads a length prefix; `unicode` is set when the UTF-16 marker came first.
    std::uint64_t ReadLength(bool& unicode);
    void WriteLength(std::uint64_t n);

    bool m_storing;
    std::string_view m_in;
    std::size_t m_pos = 0;
    std::string m_out;
};

// Whole-file helpers for the archive's users; both throw CFileException.
std::string ReadArchiveFile(const std::string& path);
// Atomic: a temporary file renamed over `path`.
void WriteArchiveFile(const std::string& path, std::string_view bytes);

// The text for the standard error box of a file or archive error.
std::string DescribeFileError(const std::exception& e, const std::string& path);
