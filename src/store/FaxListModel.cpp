#include "store/FaxListModel.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "service/ReplyTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

int CDocSortState::Click(int clicked) {
    int old = -1;
    if (clicked == column) {
        direction = direction == kAscending ? kDescending : kAscending;
    } else {
        old = column;
        direction = kAscending;
    }
    column = clicked;
    return old;
}

int CompareDocuments(const CFaxDocument& a, const CFaxDocument& b, int column) {
    if (column == 0) {
        // std::string compares as unsigned char: byte order, no locale.
        int c = a.m_title.compare(b.m_title);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.m_time != b.m_time) {
        return a.m_time < b.m_time ? -1 : 1;
    }
    return 0;
}

void SortDocumentRows(std::vector<CFaxDocument*>& rows, const CDocSortState& sort) {
    if (sort.column < 0) {
        return;
    }
    const bool descending = sort.direction == CDocSortState::kDescending;
    std::stable_sort(rows.begin(), rows.end(), [&](const CFaxDocument* a, const CFaxDocument* b) {
        int c = CompareDocuments(*a, *b, sort.column);
        return descending ? c > 0 : c < 0;
    });
}

std::vector<CFaxDocument*> DocumentRows(const DocumentList& documents, const CDocSortState& sort) {
    std::vector<CFaxDocument*> rows;
    rows.reserve(documents.size());
    for (const auto& d : documents) {
        if (d) {
            rows.push_back(d.get());
        }
    }
    SortDocumentRows(rows, sort);
    return rows;
}

std::size_t MoveDocumentRow(std::vector<CFaxDocument*>& rows, std::size_t index, bool up) {
    if (index >= rows.size()) {
        return index;
    }
    if (up ? index == 0 : index + 1 >= rows.size()) {
        return index;
    }
    std::size_t other = up ? index - 1 : index + 1;
    std::swap(rows[index], rows[other]);
    return other;
}

bool IsPersonalList(const CFaxEntryBase& entry) {
    return entry.GetType() == kTypePersonal;
}

std::int32_t EntryState(const CFaxEntryBase& entry) {
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&entry)) {
        return single->m_status;
    }
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return list->m_status;
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        return personal->m_status;
    }
    return kJobStateNone;
}

namespace {

CSentRow RecipientRow(const CFaxEntry& r, int index) {
    CSentRow row;
    row.recipient = index;
    row.text = r.m_recipient;
    if (!r.m_recipientLabel.empty()) {
        row.text += "  " + r.m_recipientLabel;
    }
    row.stateText = JobStateText(r.m_status);
    row.time = r.m_lastAttempt;
    row.image = JobStateImage(false, r.m_status);
    return row;
}

} // namespace

std::vector<CSentRow> BuildSentRows(const SentList& sent, const CListFilter& filter,
                                    std::int64_t now) {
    std::vector<CSentRow> rows;
    for (const auto& e : sent) {
        if (!e || !filter.Passes(e->m_time, now)) {
            continue;
        }
        CSentRow row;
        row.entry = e.get();
        row.text = e->m_title;
        const std::int32_t state = EntryState(*e);
        if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(e.get())) {
            // The description of a single fax is the label of its recipient.
            if (!single->m_recipientLabel.empty()) {
                row.text += "  " + single->m_recipientLabel;
            }
        } else if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(e.get())) {
            for (std::size_t i = 0; i < list->m_recipients.size(); ++i) {
                row.children.push_back(RecipientRow(list->m_recipients[i], static_cast<int>(i)));
            }
        } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(e.get())) {
            for (std::size_t i = 0; i < personal->m_recipients.size(); ++i) {
                row.children.push_back(
                    RecipientRow(personal->m_recipients[i], static_cast<int>(i)));
            }
        }
        row.stateText = JobStateText(state);
        row.time = e->m_time;
        row.image = JobStateImage(e->GetType() == kTypeList, state);
        rows.push_back(std::move(row));
    }
    return rows;
}

int SaveDocumentCopy(const CFaxDocument& document, const std::string& savedDir) {
    if (document.m_path.empty()) {
        return ENOENT;
    }
    const std::string stem = platform::Stem(document.m_path);
    const std::string ext = platform::Extension(document.m_path);
    std::string target = platform::JoinPath(savedDir, stem + ext);
    for (int n = 1; platform::FindNoCase(target).has_value(); ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%d", n);
        target = platform::JoinPath(savedDir, stem + suffix + ext);
    }
    int rc = platform::CopyFile(document.m_path, target, true);
    if (rc != 0) {
        return rc;
    }
    // The name file carries the title; without it the copy would be listed by file name.
    return platform::AtomicWriteFile(platform::ReplaceExtension(target, ".tag"),
                                     platform::Utf8ToCp1251(document.m_title));
}

std::vector<std::int32_t> StatusQueryIds(const CFaxEntryBase& entry) {
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&entry)) {
        return {single->m_faxId};
    }
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return {list->m_listId};
    }
    std::vector<std::int32_t> ids;
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        for (const auto& r : personal->m_recipients) {
            ids.push_back(r.m_faxId);
        }
    }
    return ids;
}

std::int32_t CombinedRecipientState(const CPersonalFaxEntry& mailing) {
    if (mailing.m_recipients.empty()) {
        return mailing.m_status;
    }
    bool waiting = false, queued = false, allDelivered = true;
    std::int32_t failure = kJobStateNone;
    for (const auto& r : mailing.m_recipients) {
        if (r.m_status == kJobStateQueued) {
            queued = true;
        } else if (r.m_status != kJobStateDelivered && r.m_status != kJobStateNotDelivered &&
                   r.m_status != kJobStateNoFunds) {
            waiting = true;
        }
        if (r.m_status != kJobStateDelivered) {
            allDelivered = false;
            if (failure == kJobStateNone &&
                (r.m_status == kJobStateNotDelivered || r.m_status == kJobStateNoFunds)) {
                failure = r.m_status;
            }
        }
    }
    if (queued || waiting) {
        return queued ? kJobStateQueued : kJobStateNone;
    }
    return allDelivered ? kJobStateDelivered : failure;
}

int ApplyStatusReply(CVelquinDoc& doc, const Dictionary* reply) {
    const Dictionary* item = FindReplyPath(reply, {"response", "data", "item"});
    if (item == nullptr) {
        return 0;
    }
    const std::int32_t id = item->valueForKey("id", EmptyValue()).intValue();
    const std::int32_t state = item->valueForKey("jobstatus", EmptyValue()).intValue();
    // The entries are collected first: ApplyEntryUpdate redraws the views, which must not
    // happen while the walk is under way.
    std::vector<CFaxEntryBase*> updated;
    for (auto& e : doc.SentRecords()) {
        if (auto* single = dynamic_cast<CSingleFaxEntry*>(e.get())) {
            if (single->m_faxId == id) {
                single->m_status = state;
                updated.push_back(single);
            }
        } else if (auto* list = dynamic_cast<CGroupFaxEntry*>(e.get())) {
            if (list->m_listId == id) {
                list->m_status = state;
                updated.push_back(list);
            }
        } else if (auto* personal = dynamic_cast<CPersonalFaxEntry*>(e.get())) {
            for (auto& r : personal->m_recipients) {
                if (r.m_faxId == id) {
                    r.m_status = state;
                    personal->m_status = CombinedRecipientState(*personal);
                    updated.push_back(personal);
                    break;
                }
            }
        }
    }
    for (CFaxEntryBase* e : updated) {
        // ApplyEntryUpdate takes a record from outside the list; a copy keeps its walk
        // from reading the record it is writing.
        std::unique_ptr<CFaxEntryBase> copy = e->Clone();
        doc.ApplyEntryUpdate(*copy);
    }
    return static_cast<int>(updated.size());
}

CVelquinDoc::CStatusSteps ServiceStatusSteps(IFrame& frame) {
    CVelquinDoc::CStatusSteps steps;
    steps.query = [](std::int32_t id) -> CVelquinDoc::StatusReply {
        ReplyTree tree = RequestFaxStatus(id);
        if (!tree) {
            return nullptr;
        }
        return std::make_shared<ReplyTree>(std::move(tree));
    };
    steps.apply = [&frame](CVelquinDoc& doc, CVelquinDoc::StatusReply reply) {
        const auto* tree = static_cast<const ReplyTree*>(reply.get());
        frame.RunOnGuiThread([&] { ApplyStatusReply(doc, tree->get()); });
    };
    return steps;
}
