#pragma once
// What the fax list pages show and in which order, free of any toolkit: the sort rule of the
// document lists, moving a row, the rows of the sent-fax tree, and saving a printed document.
#include "store/DocumentIntake.h"
#include "store/Documents.h"

#include <cstddef>
#include <cstdint>
#include <string>
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
