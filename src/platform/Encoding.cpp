#include "platform/Encoding.h"

#include <array>
#include <unordered_map>

namespace platform {
namespace {

// Windows-1251 bytes 0x80..0xBF (0xC0..0xFF are U+0410..U+044F). 0 marks the unused 0x98.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t ByteToCode(unsigned char b) {
    if (b < 0x80) {
        return b;
    }
    if (b >= 0xC0) {
        return 0x0410 + (b - 0xC0);
    }
    char16_t c = kHigh[b - 0x80];
    return c ? c : 0xFFFD;
}

const std::unordered_map<char32_t, unsigned char>& ReverseTable() {
    static const auto table = [] {
        std::unordered_map<char32_t, unsigned char> t;
        for (int b = 0x80; b < 0x100; ++b) {
            char32_t c = ByteToCode(static_cast<unsigned char>(b));
            if (c != 0xFFFD) {
                t.emplace(c, static_cast<unsigned char>(b));
            }
        }
        return t;
    }();
    return table;
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns false for an invalid sequence
// (then i is advanced by one byte).
bool DecodeUtf8(std::string_view s, std::size_t& i, char32_t& out) {
    unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        out = b0;
        ++i;
        return true;
    }
    int len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        out = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        out = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        out = b0 & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k < len; ++k) {
        unsigned char b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        out = (out << 6) | (b & 0x3F);
    }
    if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += static_cast<std::size_t>(len);
    return true;
}

} // namespace

std::string Utf8ToCp1251(std::string_view utf8, bool* lossless) {
    std::string out;
    out.reserve(utf8.size());
    bool ok = true;
    const auto& rev = ReverseTable();
    std::size_t i = 0;
    while (i < utf8.size()) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        char32_t c;
        if (!DecodeUtf8(utf8, i, c)) {
            out += '?';
            ok = false;
            continue;
        }
        if (c >= 0x0410 && c <= 0x044F) {
            out += static_cast<char>(0xC0 + (c - 0x0410));
            continue;
        }
        auto it = rev.find(c);
        if (it == rev.end()) {
            out += '?';
            ok = false;
        } else {
            out += static_cast<char>(it->second);
        }
    }
    if (lossless) {
        *lossless = ok;
    }
    return out;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char ch : cp1251) {
        AppendUtf8(out, ByteToCode(static_cast<unsigned char>(ch)));
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    char32_t c;
    while (i < bytes.size()) {
        if (!DecodeUtf8(bytes, i, c)) {
            return false;
        }
    }
    return true;
}

bool HasNonAscii(std::string_view bytes) {
    for (char ch : bytes) {
        if (static_cast<unsigned char>(ch) >= 0x80) {
            return true;
        }
    }
    return false;
}

std::string DecodeUserText(std::string_view bytes) {
    if (!HasNonAscii(bytes)) {
        return std::string(bytes);
    }
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return Cp1251ToUtf8(bytes);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t c;
        if (!DecodeUtf8(utf8, i, c)) {
            out += u'\uFFFD';
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 2);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool StartsWithUtf16Mark(std::string_view bytes) {
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

std::optional<std::string> Utf16MarkedText(std::string_view bytes) {
    if (!StartsWithUtf16Mark(bytes)) {
        return std::nullopt;
    }
    const bool little = bytes[0] == '\xFF';
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
        const auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
        units.push_back(static_cast<char16_t>(hi << 8 | lo));
    }
    return Utf16ToUtf8(units);
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

void AppendFolded(std::string& out, std::string_view utf8) {
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 'A' && c <= 'Z') {
            out.push_back(static_cast<char>(c - 'A' + 'a'));
            continue;
        }
        if ((c == 0xD0 || c == 0xD1) && i + 1 < n) {
            const auto d = static_cast<unsigned char>(utf8[i + 1]);
            unsigned code = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
            if ((d & 0xC0u) == 0x80u) {
                if (code >= 0x410 && code <= 0x42F) {
                    code += 0x20; // А-Я
                } else if (code == 0x401 || code == 0x451) {
                    code = 0x435; // Ё, ё
                }
                out.push_back(static_cast<char>(0xC0u | (code >> 6)));
                out.push_back(static_cast<char>(0x80u | (code & 0x3Fu)));
                ++i;
                continue;
            }
        }
        out.push_back(static_cast<char>(c));
    }
}

std::string FoldForSearch(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendFolded(out, utf8);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string HtmlText(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace platform
