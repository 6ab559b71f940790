#include "store/FaxListModel.h"

#include "filters/ListFilter.h"
#include "store/SentFaxes.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<CFaxDocument> Doc(const std::string& title, std::int64_t time) {
    return std::make_unique<CFaxDocument>("/x/" + title + ".tif", time, title);
}

std::vector<std::string> Titles(const std::vector<CFaxDocument*>& rows) {
    std::vector<std::string> out;
    for (const auto* d : rows) {
        out.push_back(d->m_title);
    }
    return out;
}

TEST(FaxListModelTest, SortStateTogglesAndRestartsAscending) {
    CDocSortState s;
    EXPECT_EQ(s.column, -1);
    EXPECT_EQ(s.Click(0), -1);
    EXPECT_EQ(s.direction, CDocSortState::kAscending);
    EXPECT_EQ(s.Click(0), -1);
    EXPECT_EQ(s.direction, CDocSortState::kDescending);
    EXPECT_EQ(s.Click(1), 0); // the old column loses its arrow
    EXPECT_EQ(s.direction, CDocSortState::kAscending);
    EXPECT_EQ(s.column, 1);
}

TEST(FaxListModelTest, RowsSortByBytesOrTimeAndKeepOrderWithoutAColumn) {
    DocumentList docs;
    docs.push_back(Doc("b", 30));
    docs.push_back(nullptr);             // skipped
    docs.push_back(Doc("\xD0\x91", 10)); // "Б" in UTF-8 sorts after every ASCII letter
    docs.push_back(Doc("A", 20));
    docs.push_back(Doc("a", 20));
    CDocSortState s;
    EXPECT_EQ(Titles(DocumentRows(docs, s)), (std::vector<std::string>{"b", "\xD0\x91", "A", "a"}));
    s.Click(0);
    EXPECT_EQ(Titles(DocumentRows(docs, s)), (std::vector<std::string>{"A", "a", "b", "\xD0\x91"}));
    s.Click(0);
    EXPECT_EQ(Titles(DocumentRows(docs, s)), (std::vector<std::string>{"\xD0\x91", "b", "a", "A"}));
    s.Click(1);
    // Equal times keep their collection order.
    EXPECT_EQ(Titles(DocumentRows(docs, s)), (std::vector<std::string>{"\xD0\x91", "A", "a", "b"}));
}

TEST(FaxListModelTest, MoveRowStopsAtTheEnds) {
    DocumentList docs;
    docs.push_back(Doc("one", 1));
    docs.push_back(Doc("two", 2));
    docs.push_back(Doc("three", 3));
    auto rows = DocumentRows(docs, CDocSortState{});
    EXPECT_EQ(MoveDocumentRow(rows, 0, true), 0u);
    EXPECT_EQ(MoveDocumentRow(rows, 2, false), 2u);
    EXPECT_EQ(MoveDocumentRow(rows, 7, false), 7u);
    EXPECT_EQ(Titles(rows), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(MoveDocumentRow(rows, 0, false), 1u);
    EXPECT_EQ(MoveDocumentRow(rows, 2, true), 1u);
    EXPECT_EQ(Titles(rows), (std::vector<std::string>{"two", "three", "one"}));
}

TEST(FaxListModelTest, SentRowsShowStatesImagesAndRecipients) {
    const std::int64_t now = 1700000000;
    SentList sent;
    auto single = std::make_unique<CSingleFaxEntry>("Письмо");
    single->m_time = now - 100;
    single->m_recipientLabel = "Отдел продаж";
    single->m_status = 2;
    sent.push_back(std::move(single));
    auto old = std::make_unique<CSingleFaxEntry>("Старое");
    old->m_time = now - 40 * 86400;
    sent.push_back(std::move(old));
    auto list = std::make_unique<CGroupFaxEntry>("Рассылка");
    list->m_time = now - 50;
    list->m_status = 4;
    CFaxEntry a;
    a.m_recipient = "88125550101";
    a.m_recipientLabel = "Склад";
    a.m_status = 6;
    list->m_recipients = {a};
    sent.push_back(std::move(list));

    std::vector<CSentRow> rows;
    for (const auto& e : sent) {
        rows.push_back(SentRowOf(*e));
    }
    EXPECT_EQ(rows[0].text, "Письмо  Отдел продаж");
    EXPECT_EQ(rows[0].stateText, "Доставлен успешно");
    EXPECT_EQ(rows[0].image, 6);
    EXPECT_EQ(rows[1].stateText, "");
    EXPECT_EQ(rows[1].image, 3);
    EXPECT_EQ(rows[2].text, "Рассылка");
    EXPECT_EQ(rows[2].image, 8); // a list in the queue
    ASSERT_EQ(rows[2].children.size(), 1u);
    EXPECT_EQ(rows[2].children[0].text, "88125550101  Склад");
    EXPECT_EQ(rows[2].children[0].stateText, "Недостаточно средств: пополните баланс");
    EXPECT_EQ(rows[2].children[0].recipient, 0);
    EXPECT_EQ(rows[2].children[0].entry, nullptr);
}

} // namespace
