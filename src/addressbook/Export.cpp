#include "addressbook/Export.h"

#include "app/Archive.h"
#include "app/Ports.h"
#include "platform/Encoding.h"
#include "resources/Strings.h"

#include <algorithm>
#include <unordered_set>

namespace {

constexpr std::size_t kProgressSteps = 100;

// Depth-first over the group's members with the prefixes of the groups on the way. Each
// group is entered once per root: that bounds the walk by the book's size.
void ExportGroup(const CGroupEntry& root, std::string& out, std::size_t maxBytes) {
    struct Frame {
        const CGroupEntry* group;
        std::size_t next;
        std::size_t prefixLength; // of `prefix` before this group's own part
    };
    std::string prefix;
    std::vector<Frame> stack;
    std::unordered_set<const CGroupEntry*> entered;
    auto enter = [&](const CGroupEntry& g) {
        entered.insert(&g);
        stack.push_back({&g, 0, prefix.size()});
        prefix += "@";
        prefix += g.m_name;
        prefix += "; ";
    };
    enter(root);
    while (!stack.empty() && out.size() <= maxBytes) {
        Frame& f = stack.back();
        if (f.next >= f.group->m_members.size()) {
            prefix.resize(f.prefixLength);
            stack.pop_back();
            continue;
        }
        const CAddrBookEntry* member = FindEntryInAllBooks(f.group->m_members[f.next++]);
        if (member == nullptr) {
            continue;
        }
        if (const auto* sub = dynamic_cast<const CGroupEntry*>(member)) {
            if (entered.count(sub) == 0) {
                enter(*sub);
            }
            continue;
        }
        out += prefix;
        member->ExportText(out);
    }
}

} // namespace

void CGroupEntry::ExportText(std::string& out) const {
    ExportGroup(*this, out, kMaxExportTextBytes);
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
            ExportGroup(*g, out, maxBytes);
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
