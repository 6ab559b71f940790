#pragma once
// Text encodings. Inside the program every std::string is UTF-8; on disk and on the wire
// the original's code page (Windows-1251) is used.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 -> Windows-1251. Characters the code page cannot hold become '?'; when `lossless`
// is given it is set to false if that happened. Invalid UTF-8 bytes also become '?'.
std::string Utf8ToCp1251(std::string_view utf8, bool* lossless = nullptr);

// Windows-1251 -> UTF-8 (every byte has a meaning except 0x98, which becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view cp1251);

// True when the whole text is well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// True when any byte is >= 0x80.
bool HasNonAscii(std::string_view bytes);

// Files people write (phone lists, import files, .tag files): UTF-8 when the bytes are valid
// UTF-8 and hold a non-ASCII byte, otherwise Windows-1251. Returns UTF-8.
std::string DecodeUserText(std::string_view bytes);

// UTF-16 (little-endian code units) <-> UTF-8. Unpaired surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Windows programs save "Unicode text" as UTF-16 after a byte-order mark, in either order.
bool StartsWithUtf16Mark(std::string_view bytes);
// Such text after its mark, as UTF-8 (an odd last byte is dropped); nullopt without a mark.
std::optional<std::string> Utf16MarkedText(std::string_view bytes);

// Appends code point `c` as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The value of a hexadecimal digit (either case); -1 for any other character.
int HexDigitValue(char c);

// Lower-cases ASCII letters only.
std::string AsciiLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// UTF-8 folded for searching: Latin and Cyrillic capitals lower-cased, "ё" read as "е", every
// other byte kept. A search that folds both sides finds "Петров" by "петр" and "Ёлкин" by "ел".
std::string FoldForSearch(std::string_view utf8);
void AppendFolded(std::string& out, std::string_view utf8);

// Text made safe for an HTML or XML element or attribute value (& < > " ' escaped).
std::string HtmlText(std::string_view text);

} // namespace platform
