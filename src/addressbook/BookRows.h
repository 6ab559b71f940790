#pragma once
// What the address-book views show, computed without any window: the rows of the entry list
// and the picker, the tree of books and groups, and the sort order of the lists. The view
// workers build these on their threads; the GUI thread only inserts them.
#include "addressbook/AddrBook.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr unsigned kIdsBuildingTree = 104; // "Построение списка фирм..."
constexpr unsigned kIdsBuildingList = 105; // "Построение списка номеров..."
constexpr unsigned kIdsSortingList = 107;  // "Сортировка списка номеров..."
constexpr unsigned kMsgTooManyEntries = 108; // %s = the book's name
constexpr unsigned kIdsConfirmDeleteItem = 175;
constexpr unsigned kIdsColumnName = 2009;
constexpr unsigned kIdsColumnCompany = 2010;
constexpr unsigned kIdsColumnPerson = 2011;
constexpr unsigned kIdsNewBookName = 2020;

// A book with more contacts than this is not listed whole.
constexpr std::size_t kMaxListedContacts = 10000;

// Tree images: a book, a group directly under its book, a group inside a group.
constexpr int kTreeImageBook = 0;
constexpr int kTreeImageGroup = 1;
constexpr int kTreeImageNestedGroup = 2;

// One row of the entry list or the picker, copied out of the book so the GUI thread can show
// it while the book changes.
struct CBookRow {
    Guid guid;
    int type = kEntryTypeBase;
    std::string name;
    std::string company; // contacts only
    std::string person;  // contacts only
    bool IsContact() const { return type == kEntryTypeContact; }
    bool IsGroup() const { return type == kEntryTypeGroup; }
};

CBookRow MakeBookRow(const CAddrBookEntry& entry);

enum class CFillResult { Done, Stopped, TooMany };

std::size_t CountContacts(const CAddrBook& book);

// The entry list of a book (its entries in book order; TooMany, with no rows, beyond 10000
// contacts) or of a group (its members resolved in all books, unresolved left out). `stop` is
// polled per entry.
CFillResult BuildEntryRows(const CAddrBookEntry& source, std::vector<CBookRow>& rows,
                           const std::function<bool()>& stop = {});

// The picker's rows of a book: contacts while `showNumbers`, groups while `showGroups`.
std::vector<CBookRow> BuildPickerRows(const CAddrBook& book, bool showNumbers, bool showGroups);

// A node of the book tree.
struct CTreeNode {
    std::string text;
    CAddrBook* book = nullptr; // the book the node belongs to (itself for a root)
    Guid guid;                 // the book's or the group's
    int image = kTreeImageBook;
    std::vector<CTreeNode> children;
    bool hasChildren = false; // a group with nested groups to show when it is expanded
    bool IsBook() const { return image == kTreeImageBook; }
};

// One root per book with its groups below it, every level sorted by text. The groups inside a
// group are not made here but by NestedGroupNodes when the group is opened: groups that share
// subgroups make a number of paths that grows exponentially with the depth, so a whole tree
// cannot be built for every book. Empty (and `stopped` set) when `stop` returned true.
std::vector<CTreeNode> BuildBookTree(const std::vector<CAddrBook*>& books,
                                     const std::function<bool()>& stop = {},
                                     bool* stopped = nullptr);
// The groups among `group`'s members, sorted by text, each knowing whether it has groups of
// its own to show. `above` holds the groups on the way down to `group` (itself included):
// they are not shown again, so a group that contains itself through others ends there.
std::vector<CTreeNode> NestedGroupNodes(const CGroupEntry& group, const std::vector<Guid>& above);
std::vector<CAddrBook*> BookPointers();

// Byte-wise comparison on unsigned bytes, no locale.
int CompareText(const std::string& a, const std::string& b);

// The sorted column and direction (1 ascending, 2 descending) of a list.
struct CSortState {
    int column = 0;
    int direction = 1;
    // A header click: the same column toggles, another one starts ascending.
    void Click(int newColumn);
};

// Column 0 compares names, 1 companies, 2 persons. In the entry list a pair with a side that
// is not a contact compares equal on columns 1 and 2; in the picker (`missingAsEmpty`) a
// missing value counts as empty text.
int CompareRows(const CBookRow& a, const CBookRow& b, int column, bool missingAsEmpty);
void SortRows(std::vector<CBookRow>& rows, const CSortState& state, bool missingAsEmpty);
