#include "addressbook/Export.h"
#include "addressbook/AddressBooks.h"

#include "app/Archive.h"
#include "app/Ports.h"
#include "platform/Encoding.h"
#include "resources/Strings.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::size_t kProgressSteps = 100;

using GroupSet = std::unordered_set<const CGroupEntry*>;

// The groups of all books that reach an entry other than a group, which writes a line. The
// export enters no other group: such a group writes nothing, and a long chain of them is
// passed once instead of once for each group above it.
GroupSet GroupsThatWrite() {
    std::unordered_map<const CGroupEntry*, std::vector<const CGroupEntry*>> listedIn;
    std::vector<const CGroupEntry*> todo;
    GroupSet writing;
    for (const auto& book : AddressBooks()) {
        if (book == nullptr) {
            continue;
        }
        book->ForEachEntry([&](const CAddrBookEntry& e) {
            const auto* group = dynamic_cast<const CGroupEntry*>(&e);
            if (group == nullptr) {
                return;
            }
            for (const Guid& g : group->m_members) {
                const CAddrBookEntry* member = FindEntryInAllBooks(g);
                if (const auto* sub = dynamic_cast<const CGroupEntry*>(member)) {
                    listedIn[sub].push_back(group);
                } else if (member != nullptr && writing.insert(group).second) {
                    todo.push_back(group);
                }
            }
        });
    }
    while (!todo.empty()) {
        const auto it = listedIn.find(todo.back());
        todo.pop_back();
        if (it != listedIn.end()) {
            for (const CGroupEntry* holder : it->second) {
                if (writing.insert(holder).second) {
                    todo.push_back(holder);
                }
            }
        }
    }
    return writing;
}

// The group's members behind the prefixes of the groups on the way, each group once per root.
void ExportGroup(const CGroupEntry& root, std::string& out, std::size_t maxBytes,
                 const GroupSet& writing) {
    std::string prefix;
    std::vector<std::size_t> prefixLengths; // before each entered group's own part
    CGroupWalk walk;
    walk.enter = [&](const CGroupEntry& g) {
        if (writing.count(&g) == 0) {
            return false;
        }
        prefixLengths.push_back(prefix.size());
        prefix += "@";
        prefix += g.m_name;
        prefix += "; ";
        return true;
    };
    walk.leave = [&](const CGroupEntry&) {
        prefix.resize(prefixLengths.back());
        prefixLengths.pop_back();
    };
    walk.member = [&](const CAddrBookEntry& member) {
        out += prefix;
        member.ExportText(out);
        return out.size() <= maxBytes;
    };
    if (out.size() <= maxBytes) {
        WalkGroup(root, walk);
    }
}

} // namespace

void CGroupEntry::ExportText(std::string& out) const {
    ExportGroup(*this, out, kMaxExportTextBytes, GroupsThatWrite());
}

void ExportEntryText(const CAddrBookEntry& entry, std::string& out) {
    entry.ExportText(out);
}

std::string ExportBookText(const CAddrBook& book, const std::function<bool()>& stop,
                           const std::function<void(std::size_t)>& step, std::size_t maxBytes,
                           bool* tooLarge) {
    std::string out;
    std::size_t done = 0;
    bool stopped = false;
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    const GroupSet writing = GroupsThatWrite();
    book.ForEachEntry([&](const CAddrBookEntry& e) {
        if (stopped || (stop && stop())) {
            stopped = true;
            return;
        }
        if (out.size() > maxBytes) {
            stopped = true;
            if (tooLarge != nullptr) {
                *tooLarge = true;
            }
            return;
        }
        const auto* c = dynamic_cast<const CContactEntry*>(&e);
        if (const auto* g = dynamic_cast<const CGroupEntry*>(&e)) {
            ExportGroup(*g, out, maxBytes, writing);
        } else if (c == nullptr || c->m_groups.empty()) {
            ExportEntryText(e, out);
        }
        ++done;
        if (step) {
            step(done);
        }
    });
    if (out.size() > maxBytes && tooLarge != nullptr) {
        *tooLarge = true;
    }
    return out;
}

bool ExportBook(const CAddrBook& book, const std::string& path, IPrompt& prompt, IFrame* frame,
                const std::function<bool()>& stop) {
    const std::size_t total = book.Size();
    const std::size_t stride = std::max<std::size_t>(1, total / kProgressSteps);
    if (frame != nullptr) {
        frame->ProgressStart(static_cast<int>(std::min<std::size_t>(total, 0x7FFFFFFF)));
        frame->SetStatusText(LoadString(kIdsExportingBook));
    }
    bool tooLarge = false;
    std::string text = ExportBookText(
        book, stop,
        [&](std::size_t done) {
            if (frame != nullptr && (done % stride == 0 || done == total)) {
                frame->ProgressStep(static_cast<int>(std::min<std::size_t>(done, 0x7FFFFFFF)));
            }
        },
        kMaxExportTextBytes, &tooLarge);
    bool ok = !tooLarge;
    if (tooLarge) {
        text.clear();
        text.shrink_to_fit();
        prompt.Message(FormatString(LoadString(kIdsExportTooLarge), path), MsgIcon::Warning,
                       MsgButtons::Ok);
    } else {
        try {
            WriteArchiveFile(path, platform::Utf8ToCp1251(text));
        } catch (const std::exception& e) {
            ok = false;
            prompt.FileError(DescribeFileError(e, path));
        }
    }
    if (frame != nullptr) {
        frame->ProgressEnd();
        frame->SetStatusText("");
    }
    return ok;
}

std::string ExportFileFilter() {
    std::string_view filter = LoadString(kIdsExportFilter);
    return std::string(filter.empty() ? kExportFilterFallback : filter) + "|";
}
