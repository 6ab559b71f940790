#pragma once
// What the fax list pages show and in which order, free of any toolkit: the sort rule of the
// document lists, moving a row, the rows of the sent-fax tree, and saving a printed document.
#include "store/DocumentIntake.h"
#include "store/Documents.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The sorted column of a document list and its direction (1 ascending, 2 descending).
struct CDocSortState {
    static constexpr int kAscending = 1;
    static constexpr int kDescending = 2;
    int column = -1; // none until the first header click
    int direction = kAscending;

    // A header click: the same column toggles, another starts ascending. Returns the column
    // whose arrow goes away (-1 when none).
    int Click(int clicked);
};

// Column 0 compares names byte by byte (unsigned, no locale), column 1 the times.
int CompareDocuments(const CFaxDocument& a, const CFaxDocument& b, int column);

// The rows of a document list: the collection in order (null entries skipped), then sorted
// by the remembered column (stable; unchanged without one).
std::vector<CFaxDocument*> DocumentRows(const DocumentList& documents, const CDocSortState& sort);
void SortDocumentRows(std::vector<CFaxDocument*>& rows, const CDocSortState& sort);

// Exchanges row `index` with its upper (`up`) or lower neighbour. The index of the row that
// now holds the moved document; `index` itself when there is no such neighbour.
std::size_t MoveDocumentRow(std::vector<CFaxDocument*>& rows, std::size_t index, bool up);

// One row of the sent-fax tree. Entries of lists carry one child row per recipient.
struct CSentRow {
    const CFaxEntryBase* entry = nullptr; // null for a recipient row
    int recipient = -1;                   // index of the recipient for a child row
    std::string text;
    std::string stateText;
    std::int64_t time = 0; // 0: no time to show
    int image = 0;
    std::vector<CSentRow> children;
};

// The row of one sent entry (with its recipients' rows).
CSentRow SentRowOf(const CFaxEntryBase& entry);
// The text of an entry's row: a single fax's title and contact, else its number.
std::string SentRowText(const CFaxEntryBase& entry);

// What a search over the sent faxes looks in, folded: the title, and the number, contact and
// job ids of the entry and of each recipient.
std::string SentSearchText(const CFaxEntryBase& entry);

// A search typed over the sent faxes. An entry matches when its search text holds the folded
// query, or when the query is part of the shown state of the entry or of one of its recipients.
class CSentSearch {
public:
    explicit CSentSearch(std::string_view typed = {});
    bool Empty() const { return m_folded.empty(); }
    // True when every entry this search matches is also matched by `before`: a longer query
    // looks only among the rows the shorter one left.
    bool Narrows(const CSentSearch& before) const;
    bool Matches(const CFaxEntryBase& entry, std::string_view searchText) const;

private:
    std::string m_folded;
    std::vector<std::int32_t> m_states; // the states whose text holds the query
};

// The order of `entries` by a column of the sent list (0 the row's text, folded; 1 the state's
// text; 2 the time), as positions into `entries`. Equal ones keep their order either way.
// The same order for two entries: negative, 0 or positive.
int CompareSentEntries(const CFaxEntryBase& a, const CFaxEntryBase& b, int column);
std::vector<std::size_t> SentOrder(const std::vector<const CFaxEntryBase*>& entries, int column,
                                   bool descending);
