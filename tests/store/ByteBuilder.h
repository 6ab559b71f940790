#pragma once
// Builds archive bytes by hand, field by field, for layout tests.
#include <cstdint>
#include <string>

class ByteBuilder {
public:
    ByteBuilder& U8(std::uint8_t v) {
        m_bytes.push_back(static_cast<char>(v));
        return *this;
    }
    ByteBuilder& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    ByteBuilder& I32(std::int32_t v) {
        auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) {
            U8(static_cast<std::uint8_t>(u >> (8 * i)));
        }
        return *this;
    }
    ByteBuilder& I64(std::int64_t v) {
        auto u = static_cast<std::uint64_t>(v);
        for (int i = 0; i < 8; ++i) {
            U8(static_cast<std::uint8_t>(u >> (8 * i)));
        }
        return *this;
    }
    // A code-page text with the one-byte prefix (callers keep it under 255 bytes).
    ByteBuilder& Str(const std::string& cp1251) {
        U8(static_cast<std::uint8_t>(cp1251.size()));
        m_bytes += cp1251;
        return *this;
    }
    ByteBuilder& Raw(const std::string& bytes) {
        m_bytes += bytes;
        return *this;
    }
    const std::string& Bytes() const { return m_bytes; }
    operator std::string() const { return m_bytes; }

private:
    std::string m_bytes;
};
