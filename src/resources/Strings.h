#pragma once
// The string table: resource id -> UTF-8 text, shared by the core and the GUI.
#include <string>
#include <string_view>

// Returns the text of string `id`, or "" when the table has none.
std::string_view LoadString(unsigned id);

// printf-style formatting of a string with %s / %d placeholders (the original's Format).
std::string FormatString(std::string_view format, std::string_view a);
std::string FormatString(std::string_view format, std::string_view a, std::string_view b);
