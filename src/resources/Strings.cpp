#include "resources/Strings.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// Each subsystem keeps its rows in its own file so that they can grow independently.
constexpr Entry kTable[] = {
#include "resources/StringsAddressBook.inc"
#include "resources/StringsApp.inc"
#include "resources/StringsSending.inc"
#include "resources/StringsService.inc"
#include "resources/StringsShell.inc"
#include "resources/StringsStore.inc"
};

} // namespace

std::string_view LoadString(unsigned id) {
    for (const Entry& e : kTable) {
        if (e.id == id) {
            return e.text;
        }
    }
    return {};
}

namespace {
std::string FormatN(std::string_view format, const std::string_view* args, std::size_t n) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        char k = format[i + 1];
        if (k == '%') {
            out += '%';
            ++i;
        } else if (k == 's' || k == 'd') {
            if (next < n) {
                out.append(args[next]);
            }
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

std::string FormatString(std::string_view format, std::string_view a) {
    return FormatN(format, &a, 1);
}

std::string FormatString(std::string_view format, std::string_view a, std::string_view b) {
    const std::string_view args[] = {a, b};
    return FormatN(format, args, 2);
}
