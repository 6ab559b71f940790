#include "store/FaxListModel.h"

#include "platform/Encoding.h"
#include "service/JobState.h"

#include <algorithm>
#include <array>
#include <charconv>

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

std::string SentRowText(const CFaxEntryBase& e) {
    std::string text = e.m_title;
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&e)) {
        // The description of a single fax is the label of its recipient; a fax to a typed
        // number has neither title nor label and shows the number.
        if (!single->m_recipientLabel.empty()) {
            text += "  " + single->m_recipientLabel;
        }
        if (text.empty()) {
            text = single->m_recipient;
        }
    }
    return text;
}

CSentRow SentRowOf(const CFaxEntryBase& e) {
    CSentRow row;
    row.entry = &e;
    row.text = SentRowText(e);
    const std::int32_t state = EntryState(e);
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&e)) {
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

namespace {

// The states that have a text: what a search by state can find.
constexpr std::array<std::int32_t, 4> kShownStates = {kJobStateDelivered, kJobStateNotDelivered,
                                                      kJobStateQueued, kJobStateNoFunds};

void AppendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
    out.push_back('\n');
}

void AppendRecipient(std::string& out, const CFaxEntry& r) {
    platform::AppendFolded(out, r.m_recipient);
    out.push_back('\n');
    platform::AppendFolded(out, r.m_recipientLabel);
    out.push_back('\n');
    platform::AppendFolded(out, r.m_serverId);
    out.push_back('\n');
    AppendNumber(out, r.m_faxId);
}

template <typename List>
bool AnyRecipientIn(const List& list, const std::vector<std::int32_t>& states) {
    return std::any_of(list.m_recipients.begin(), list.m_recipients.end(), [&](const auto& r) {
        return std::find(states.begin(), states.end(), r.m_status) != states.end();
    });
}

} // namespace

std::string SentSearchText(const CFaxEntryBase& e) {
    std::string out;
    platform::AppendFolded(out, e.m_title);
    out.push_back('\n');
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&e)) {
        AppendRecipient(out, *single);
    } else if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&e)) {
        AppendNumber(out, list->m_listId);
        for (const CFaxEntry& r : list->m_recipients) {
            AppendRecipient(out, r);
        }
    } else if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&e)) {
        AppendNumber(out, personal->m_listId);
        for (const CAttachFaxEntry& r : personal->m_recipients) {
            AppendRecipient(out, r);
        }
    }
    return out;
}

CSentSearch::CSentSearch(std::string_view typed) : m_folded(platform::FoldForSearch(typed)) {
    if (m_folded.empty()) {
        return;
    }
    for (std::int32_t state : kShownStates) {
        if (platform::FoldForSearch(JobStateText(state)).find(m_folded) != std::string::npos) {
            m_states.push_back(state);
        }
    }
}

bool CSentSearch::Narrows(const CSentSearch& before) const {
    return m_folded.find(before.m_folded) != std::string::npos;
}

bool CSentSearch::Matches(const CFaxEntryBase& e, std::string_view searchText) const {
    if (m_folded.empty() || searchText.find(m_folded) != std::string_view::npos) {
        return true;
    }
    if (m_states.empty()) {
        return false;
    }
    if (std::find(m_states.begin(), m_states.end(), EntryState(e)) != m_states.end()) {
        return true;
    }
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&e)) {
        return AnyRecipientIn(*list, m_states);
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&e)) {
        return AnyRecipientIn(*personal, m_states);
    }
    return false;
}

namespace {

std::string SortText(const CFaxEntryBase& e, int column) {
    return column == 1 ? JobStateText(EntryState(e)) : platform::FoldForSearch(SentRowText(e));
}

} // namespace

int CompareSentEntries(const CFaxEntryBase& a, const CFaxEntryBase& b, int column) {
    if (column == 2) {
        return a.m_time < b.m_time ? -1 : (a.m_time > b.m_time ? 1 : 0);
    }
    const int c = SortText(a, column).compare(SortText(b, column));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::vector<std::size_t> SentOrder(const std::vector<const CFaxEntryBase*>& entries, int column,
                                   bool descending) {
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    auto sortBy = [&](const auto& keys) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return descending ? keys[b] < keys[a] : keys[a] < keys[b];
        });
    };
    if (column == 2) {
        std::vector<std::int64_t> times(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            times[i] = entries[i]->m_time;
        }
        sortBy(times);
        return order;
    }
    // The keys are made once: folding in the comparison would fold each text log n times.
    std::vector<std::string> texts(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        texts[i] = SortText(*entries[i], column);
    }
    sortBy(texts);
    return order;
}
