#include "app/Ports.h"

#include "resources/Strings.h"

MsgAnswer IPrompt::MessageId(unsigned id, MsgIcon icon, MsgButtons buttons) {
    return Message(LoadString(id), icon, buttons);
}

std::string ShownText(std::string_view utf8) {
    std::size_t chars = 0, lines = 1, end = 0;
    for (; end < utf8.size(); ++end) {
        const auto c = static_cast<unsigned char>(utf8[end]);
        if ((c & 0xC0) == 0x80) {
            continue; // a continuation byte belongs to the character before it
        }
        if (chars == kMaxShownChars || (c == '\n' && lines == kMaxShownLines)) {
            return std::string(utf8.substr(0, end)) + "…";
        }
        ++chars;
        lines += c == '\n' ? 1 : 0;
    }
    return std::string(utf8);
}
