#include "store/FaxListModel.h"

#include "service/JobState.h"

#include <algorithm>

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

CSentRow SentRowOf(const CFaxEntryBase& e) {
    CSentRow row;
    row.entry = &e;
    row.text = e.m_title;
    const std::int32_t state = EntryState(e);
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&e)) {
        // The description of a single fax is the label of its recipient; a fax to a typed
        // number has neither title nor label and shows the number.
        if (!single->m_recipientLabel.empty()) {
            row.text += "  " + single->m_recipientLabel;
        }
        if (row.text.empty()) {
            row.text = single->m_recipient;
        }
    } else if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&e)) {
        for (std::size_t i = 0; i < list->m_recipients.size(); ++i) {
            row.children.push_back(RecipientRow(list->m_recipients[i], static_cast<int>(i)));
        }
    } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&e)) {
        for (std::size_t i = 0; i < personal->m_recipients.size(); ++i) {
            row.children.push_back(RecipientRow(personal->m_recipients[i], static_cast<int>(i)));
        }
    }
    row.stateText = JobStateText(state);
    row.time = e.m_time;
    row.image = JobStateImage(e.GetType() == kTypeList, state);
    return row;
}
