// velquin-tool dump-abk FILE: an address book (.abk) as JSON.
#include "ToolCommand.h"

#include "addressbook/AddrBook.h"
#include "app/Archive.h"

#include <cstdio>
#include <string>

namespace {

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string GuidList(const std::vector<Guid>& guids) {
    std::string out = "[";
    for (std::size_t i = 0; i < guids.size(); ++i) {
        out += (i != 0 ? "," : "") + Quote(platform::GuidToText(guids[i]));
    }
    return out + "]";
}

std::string Dump(const CAddrBook& book) {
    std::string out = "{\"magic\":" + std::to_string(kAbkMagic) +
                      ",\"guid\":" + Quote(platform::GuidToText(book.m_guid)) +
                      ",\"name\":" + Quote(book.m_name) +
                      ",\"count\":" + std::to_string(book.Size()) + ",\"entries\":[";
    bool first = true;
    book.ForEachEntry([&](const CAddrBookEntry& e) {
        out += first ? "" : ",";
        first = false;
        out += "{\"guid\":" + Quote(platform::GuidToText(e.m_guid));
        if (const auto* c = dynamic_cast<const CContactEntry*>(&e)) {
            out += ",\"type\":\"contact\",\"number\":" + Quote(c->m_name) +
                   ",\"company\":" + Quote(c->m_company) + ",\"person\":" + Quote(c->m_person) +
                   ",\"domestic\":" + std::to_string(c->m_domestic) +
                   ",\"groups\":" + GuidList(c->m_groups);
        } else if (const auto* g = dynamic_cast<const CGroupEntry*>(&e)) {
            out += ",\"type\":\"group\",\"name\":" + Quote(g->m_name) +
                   ",\"members\":" + GuidList(g->m_members);
        }
        out += "}";
    });
    return out + "]}\n";
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("dump-abk");
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        return ToolUsageError(cmd, "expected one FILE");
    }
    const std::string& file = args[0];
    std::string error;
    try {
        std::string bytes = ReadArchiveFile(file);
        auto book = ReadBook(bytes);
        if (!book) {
            error = "not an address book (magic is not 10129)";
        } else {
            std::fputs(Dump(*book).c_str(), stdout);
            return 0;
        }
    } catch (const CArchiveException& e) {
        error = std::string("damaged address book (") + e.what() + ")";
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velquin-tool dump-abk: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "velquin-tool dump-abk: %s: %s\n", file.c_str(), error.c_str());
    return 1;
}

const ToolCommandRegistration reg{
    "dump-abk", "print an address book (.abk) as JSON",
    "usage: velquin-tool dump-abk FILE\n"
    "Prints the book's GUID and name and every contact and group as JSON (texts as UTF-8,\n"
    "GUIDs in the file-name form). Exits 1 on a damaged or foreign file.\n",
    Run};

} // namespace
