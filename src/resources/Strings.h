#pragma once
// The string table: resource id -> UTF-8 text, shared by the core and the GUI.
#include <string>
#include <string_view>
#include <vector>

// Returns the text of string `id`, or "" when the table has none. With a translation installed,
// the translated text (the table's own where the translation has none).
std::string_view LoadString(unsigned id);

// The text of string `id` as the table holds it (the source of its translations).
std::string_view SourceString(unsigned id);

// Every id of the table, in table order.
std::vector<unsigned> StringIds();

// Turns a source text into the interface language's text; "" keeps the source.
using StringTranslator = std::string (*)(std::string_view source);

// Installs `translate` (nullptr: none) for every text of the table. The texts are translated
// here, once, so LoadString stays a lookup that any thread may make: call it at start, before
// other threads read the table.
void SetStringTranslator(StringTranslator translate);

// printf-style formatting of a string with %s / %d placeholders (the original's Format).
std::string FormatString(std::string_view format, std::string_view a);
std::string FormatString(std::string_view format, std::string_view a, std::string_view b);
std::string FormatString(std::string_view format, std::string_view a, std::string_view b,
                         std::string_view c);
