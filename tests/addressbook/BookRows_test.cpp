// What the address-book views show: list rows, the 10,000-contact limit, the tree of books and
// nested groups, and the sort rules of the lists.
#include "BookFixture.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/BookRows.h"

#include <algorithm>

namespace {

using abk_test::BookFixture;

class BookRowsTest : public BookFixture {
protected:
    static std::string Names(const std::vector<CBookRow>& rows) {
        std::string s;
        for (const auto& r : rows) {
            s += r.name + ",";
        }
        return s;
    }
    // The tree as a user sees it with every group opened: below the first level the nodes
    // come from NestedGroupNodes, as when a group is expanded.
    static std::string Shape(const std::vector<CTreeNode>& nodes, std::vector<Guid> above = {}) {
        std::string s;
        for (const auto& n : nodes) {
            s += n.text + std::to_string(n.image);
            std::vector<CTreeNode> children = n.children;
            if (!n.IsBook()) {
                EXPECT_TRUE(n.children.empty()) << n.text; // made only when opened
                const auto* group = static_cast<const CGroupEntry*>(FindEntryInAllBooks(n.guid));
                children = NestedGroupNodes(*group, above);
                EXPECT_EQ(n.hasChildren, !children.empty()) << n.text;
            }
            if (!children.empty()) {
                std::vector<Guid> below = above;
                if (!n.IsBook()) {
                    below.push_back(n.guid);
                }
                s += "(" + Shape(children, below) + ")";
            }
            s += " ";
        }
        return s;
    }
};

TEST_F(BookRowsTest, BookRowsFollowBookOrderAndGroupRowsSkipUnresolvedMembers) {
    AddContact("2", "Firm", "Person");
    CGroupEntry* g = AddGroup("G");
    AddContact("1");
    std::vector<CBookRow> rows;
    EXPECT_EQ(BuildEntryRows(*book, rows), CFillResult::Done);
    EXPECT_EQ(Names(rows), "2,G,1,");
    EXPECT_EQ(rows[0].company, "Firm");
    EXPECT_EQ(rows[0].person, "Person");
    EXPECT_TRUE(rows[1].IsGroup());

    // Members may live in other books; a deleted one is skipped.
    AddressBooks().Add(std::make_unique<CAddrBook>("Other"));
    CContactEntry* far = AddContact("9", {}, {}, AddressBooks().back());
    g->m_members = {far->m_guid, platform::NewGuid(), rows[0].guid};
    EXPECT_EQ(BuildEntryRows(*g, rows), CFillResult::Done);
    EXPECT_EQ(Names(rows), "9,2,");
}

TEST_F(BookRowsTest, ABookListsUpTo10000ContactsGroupsNotCounted) {
    for (int i = 0; i < 10000; ++i) {
        AddContact(std::to_string(i));
    }
    AddGroup("G");
    std::vector<CBookRow> rows;
    EXPECT_EQ(BuildEntryRows(*book, rows), CFillResult::Done);
    EXPECT_EQ(rows.size(), 10001u);
    AddContact("one more");
    EXPECT_EQ(BuildEntryRows(*book, rows), CFillResult::TooMany);
    EXPECT_TRUE(rows.empty());
}

TEST_F(BookRowsTest, AStopRequestEndsTheFill) {
    for (int i = 0; i < 100; ++i) {
        AddContact(std::to_string(i));
    }
    int polls = 0;
    std::vector<CBookRow> rows;
    EXPECT_EQ(BuildEntryRows(*book, rows, [&] { return ++polls > 10; }), CFillResult::Stopped);
    EXPECT_EQ(rows.size(), 10u);
    bool stopped = false;
    EXPECT_TRUE(BuildBookTree(
                    BookPointers(), [] { return true; }, &stopped)
                    .empty());
    EXPECT_TRUE(stopped);
}

TEST_F(BookRowsTest, TreeShowsGroupsUnderTheirBookAndAgainUnderTheirParentSorted) {
    CGroupEntry* b = AddGroup("b");
    CGroupEntry* a = AddGroup("a");
    CGroupEntry* c = AddGroup("c");
    AddContact("111"); // contacts are not in the tree
    a->m_members = {c->m_guid, b->m_guid};
    b->m_members = {c->m_guid};
    AddressBooks().Add(std::make_unique<CAddrBook>("Alpha"));
    const auto tree = BuildBookTree(BookPointers());
    EXPECT_EQ(Shape(tree), "Alpha0 Book0(a1(b2(c2 ) c2 ) b1(c2 ) c1 ) ");
    EXPECT_EQ(tree[1].book, book);
    EXPECT_EQ(tree[1].children[0].guid, a->m_guid);
}

TEST_F(BookRowsTest, GroupsThatContainEachOtherAreNotFollowedForEver) {
    CGroupEntry* a = AddGroup("a");
    CGroupEntry* b = AddGroup("b");
    a->m_members = {b->m_guid, a->m_guid};
    b->m_members = {a->m_guid};
    EXPECT_EQ(Shape(BuildBookTree(BookPointers())), "Book0(a1(b2 ) b1(a2 ) ) ");
}

TEST_F(BookRowsTest, HeaderClicksToggleOrRestartTheDirection) {
    CSortState s;
    s.Click(0);
    EXPECT_EQ(s.direction, 2); // the first click on column 0 sorts descending
    s.Click(1);
    EXPECT_EQ(s.column, 1);
    EXPECT_EQ(s.direction, 1);
    s.Click(1);
    EXPECT_EQ(s.direction, 2);
    s.Click(1);
    EXPECT_EQ(s.direction, 1);
}

TEST_F(BookRowsTest, SortComparesUnsignedBytesAndTreatsGroupsByListKind) {
    AddContact("b", "Я"); // Cyrillic: lead bytes above 0x7F
    AddContact("a", "z");
    AddContact("B", "");
    AddGroup("Ж");
    std::vector<CBookRow> rows;
    BuildEntryRows(*book, rows);
    SortRows(rows, {0, 1}, false);
    EXPECT_EQ(Names(rows), "B,a,b,Ж,");
    SortRows(rows, {0, 2}, false);
    EXPECT_EQ(Names(rows), "Ж,b,a,B,");

    // Entry list: a group compares equal with anything on company and person.
    EXPECT_EQ(CompareRows(rows[0], rows[3], 1, false), 0);
    EXPECT_EQ(CompareRows(rows[1], rows[3], 2, false), 0);
    EXPECT_GT(CompareRows(rows[1], rows[2], 1, false), 0); // "Я" after "z"
    // Picker: the group's missing company is empty text and comes first.
    std::vector<CBookRow> picker = BuildPickerRows(*book, true, true);
    SortRows(picker, {1, 1}, true);
    EXPECT_EQ(Names(picker), "B,Ж,a,b,");
    EXPECT_LT(CompareText("z", "Я"), 0);
}

TEST_F(BookRowsTest, PickerRowsFollowTheCheckBoxes) {
    AddContact("1");
    AddGroup("G");
    EXPECT_EQ(Names(BuildPickerRows(*book, true, true)), "1,G,");
    EXPECT_EQ(Names(BuildPickerRows(*book, false, true)), "G,");
    EXPECT_EQ(Names(BuildPickerRows(*book, true, false)), "1,");
}

} // namespace
