#include "resources/Strings.h"

#include <iterator>

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

constexpr std::size_t kCount = std::size(kTable);

// A row added under an id already taken would silently hide one of the two texts.
constexpr bool IdsAreUnique() {
    for (std::size_t i = 0; i < kCount; ++i) {
        for (std::size_t j = i + 1; j < kCount; ++j) {
            if (kTable[i].id == kTable[j].id) {
                return false;
            }
        }
    }
    return true;
}
static_assert(IdsAreUnique(), "two rows of the string table share an id");

// The installed translation, index by index with kTable; empty while none is installed.
std::vector<std::string>& Translated() {
    static auto& translated = *new std::vector<std::string>; // still read by exit handlers
    return translated;
}

const Entry* Find(unsigned id) {
    for (const Entry& e : kTable) {
        if (e.id == id) {
            return &e;
        }
    }
    return nullptr;
}

} // namespace

std::string_view LoadString(unsigned id) {
    const Entry* e = Find(id);
    if (e == nullptr) {
        return {};
    }
    const std::vector<std::string>& translated = Translated();
    const auto i = static_cast<std::size_t>(e - kTable);
    if (i < translated.size() && !translated[i].empty()) {
        return translated[i];
    }
    return e->text;
}

std::string_view SourceString(unsigned id) {
    const Entry* e = Find(id);
    return e != nullptr ? std::string_view(e->text) : std::string_view();
}

std::vector<unsigned> StringIds() {
    std::vector<unsigned> ids;
    ids.reserve(kCount);
    for (const Entry& e : kTable) {
        ids.push_back(e.id);
    }
    return ids;
}

void SetStringTranslator(StringTranslator translate) {
    std::vector<std::string>& translated = Translated();
    translated.clear();
    if (translate == nullptr) {
        return;
    }
    translated.reserve(kCount);
    for (const Entry& e : kTable) {
        translated.push_back(translate(e.text));
    }
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

std::string FormatString(std::string_view format, std::string_view a, std::string_view b,
                         std::string_view c) {
    const std::string_view args[] = {a, b, c};
    return FormatN(format, args, 3);
}
