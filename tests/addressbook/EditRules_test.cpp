#include "BookFixture.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/BookCommands.h"
#include "addressbook/ContactEdit.h"
#include "addressbook/GroupEdit.h"

#include <algorithm>

namespace {

using abk_test::BookFixture;
using testing_support::FakePrompt;

class ContactEditTest : public BookFixture {};

TEST_F(ContactEditTest, NewContactComposesNumberFromParts) {
    Settings().LastAreaCode = "812";
    CContactEdit dlg;
    EXPECT_TRUE(dlg.IsNew());
    EXPECT_EQ(dlg.areaCode, "812");
    EXPECT_EQ(dlg.countryCode, 7);
    EXPECT_TRUE(dlg.domestic);
    EXPECT_FALSE(dlg.CountryCodeVisible());
    EXPECT_FALSE(dlg.CanOk());
    dlg.number = "352-08-09";
    dlg.company = "Firm";
    EXPECT_TRUE(dlg.CanOk());
    ASSERT_TRUE(dlg.Apply());
    EXPECT_EQ(dlg.Working().m_name, "88123520809");
    EXPECT_EQ(dlg.Working().m_domestic, 1);

    CContactEdit abroad;
    abroad.domestic = false;
    EXPECT_TRUE(abroad.CountryCodeVisible());
    abroad.countryCode = 49;
    abroad.areaCode = " (812) ";
    abroad.number = "352-08-09";
    ASSERT_TRUE(abroad.Apply());
    EXPECT_EQ(abroad.Working().m_name, "810498123520809");
    EXPECT_EQ(abroad.Working().m_domestic, 0);
    auto made = abroad.MakeContact();
    EXPECT_EQ(made->m_name, "810498123520809");
    EXPECT_EQ(made->m_owner, nullptr);
}

TEST_F(ContactEditTest, EnteredAreaCodeBecomesLastAreaCode) {
    CContactEdit dlg;
    dlg.areaCode = "4-95";
    dlg.number = "1234567";
    ASSERT_TRUE(dlg.Apply());
    EXPECT_EQ(Settings().LastAreaCode, "495");
    EXPECT_EQ(CContactEdit().areaCode, "495");
}

TEST_F(ContactEditTest, CountryCodeRange) {
    EXPECT_EQ(ParseCountryCode("0"), 0);
    EXPECT_EQ(ParseCountryCode(" 999 "), 999);
    EXPECT_EQ(ParseCountryCode("1000"), std::nullopt);
    EXPECT_EQ(ParseCountryCode("-1"), std::nullopt);
    EXPECT_EQ(ParseCountryCode("7a"), std::nullopt);
    EXPECT_EQ(ParseCountryCode(""), std::nullopt);
    EXPECT_EQ(ParseCountryCode("99999999999999999999"), std::nullopt);

    CContactEdit dlg;
    dlg.domestic = false;
    dlg.number = "123";
    dlg.countryCode = 1000;
    Settings().LastAreaCode = "812";
    dlg.areaCode = "999";
    EXPECT_FALSE(dlg.Apply());
    EXPECT_EQ(dlg.Working().m_name, "");
    EXPECT_EQ(Settings().LastAreaCode, "812");
}

TEST_F(ContactEditTest, ExistingContactKeepsItsNumberAndOnlyTheEditedFieldsGoBack) {
    CContactEntry* c = AddContact("88123520809", "Old", "Ivan");
    c->m_domestic = 0;
    AddGroup("G", {c});
    CContactEdit dlg(c);
    EXPECT_FALSE(dlg.IsNew());
    EXPECT_FALSE(dlg.AreaCodeVisible());
    EXPECT_FALSE(dlg.CountryCodeVisible());
    EXPECT_FALSE(dlg.LocationEnabled());
    EXPECT_EQ(dlg.number, "88123520809");
    dlg.number = "8 (495) 123-45-67";
    dlg.company = "New";
    ASSERT_TRUE(dlg.Apply());
    EXPECT_EQ(c->m_name, "88123520809") << "the contact changes only when copied back";
    dlg.CopyBackInto(*c);
    EXPECT_EQ(c->m_name, "84951234567");
    EXPECT_EQ(c->m_company, "New");
    EXPECT_EQ(c->m_person, "Ivan");
    EXPECT_EQ(c->m_domestic, 0);
    EXPECT_EQ(c->m_groups.size(), 1u);
    EXPECT_EQ(book->FindEntry(c->m_guid), c);
}

class GroupEditTest : public BookFixture {
protected:
    FakePrompt prompt;
    std::string Message2012(const std::string& name) {
        return "Невозможно добавить группу '" + name + "' в данную группу, т.к. группа '" + name +
               "' уже содержит эту группу.";
    }
};

TEST_F(GroupEditTest, SelectingTheGroupItselfIsRefused) {
    CContactEntry* c = AddContact("1");
    CGroupEntry* g = AddGroup("Clients", {c});
    CGroupEdit dlg(book, *g, prompt);
    EXPECT_FALSE(dlg.AddMembers({g->m_members[0], g->m_guid}));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, Message2012("Clients"));
    EXPECT_EQ(g->m_members.size(), 1u);
}

TEST_F(GroupEditTest, TwoGroupsSharingAThirdAreRefusedWithoutACycle) {
    CContactEntry* c = AddContact("1");
    CGroupEntry* third = AddGroup("Third", {c});
    CGroupEntry* a = AddGroup("A", {third});
    CGroupEntry* b = AddGroup("B", {third});
    CGroupEntry* edited = AddGroup("Edited");
    CGroupEdit dlg(book, *edited, prompt);
    EXPECT_FALSE(dlg.AddMembers({a->m_guid, b->m_guid}));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, Message2012("Third"));
    EXPECT_TRUE(edited->m_members.empty());

    // Either one alone is fine.
    EXPECT_TRUE(dlg.AddMembers({a->m_guid}));
    EXPECT_EQ(edited->m_members, std::vector<Guid>{a->m_guid});
}

TEST_F(GroupEditTest, GroupContainingTheEditedGroupDeepDownIsRefused) {
    CGroupEntry* edited = AddGroup("Edited");
    CGroupEntry* level = edited;
    for (int i = 0; i < 100'000; ++i) { // deeper than any recursive walk's stack
        level = AddGroup("L" + std::to_string(i), {level});
    }
    CGroupEdit dlg(book, *edited, prompt);
    EXPECT_FALSE(dlg.AddMembers({level->m_guid}));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, Message2012("Edited"));
}

TEST_F(GroupEditTest, ACycleAlreadyInTheBookEndsTheCheck) {
    CGroupEntry* a = AddGroup("A");
    CGroupEntry* b = AddGroup("B", {a});
    a->m_members.push_back(b->m_guid); // damaged book: A and B contain each other
    CGroupEntry* edited = AddGroup("Edited");
    CGroupEdit dlg(book, *edited, prompt);
    EXPECT_FALSE(dlg.AddMembers({a->m_guid}));
    EXPECT_EQ(prompt.messages.at(0).text, Message2012("A"));
}

TEST_F(GroupEditTest, MembersAddAndRemoveKeepContactGroupListsInStep) {
    CContactEntry* c1 = AddContact("1");
    CContactEntry* c2 = AddContact("2");
    CGroupEntry* g = AddGroup("G", {c1});
    CGroupEdit dlg(book, *g, prompt);
    // The selection starts from the present members; present ones and the group are skipped.
    EXPECT_TRUE(dlg.AddMembers({c1->m_guid, c2->m_guid, c2->m_guid}));
    EXPECT_EQ(g->m_members, (std::vector<Guid>{c1->m_guid, c2->m_guid}));
    EXPECT_EQ(c1->m_groups, std::vector<Guid>{g->m_guid});
    EXPECT_EQ(c2->m_groups, std::vector<Guid>{g->m_guid});
    EXPECT_TRUE(prompt.messages.empty());

    dlg.RemoveMembers({c1->m_guid});
    EXPECT_EQ(g->m_members, std::vector<Guid>{c2->m_guid});
    EXPECT_TRUE(c1->m_groups.empty());
}

TEST_F(GroupEditTest, CancelRestoresMembersNameAndGroupLists) {
    CContactEntry* c1 = AddContact("1");
    CContactEntry* c2 = AddContact("2");
    CGroupEntry* g = AddGroup("G", {c1});
    const std::size_t before = book->Size();
    {
        CGroupEdit dlg(book, *g, prompt);
        dlg.name = "Renamed";
        dlg.StoreName();
        dlg.AddMembers({c2->m_guid});
        dlg.RemoveMembers({c1->m_guid});
        auto fresh = std::make_unique<CContactEntry>("3");
        CContactEntry* pending = dlg.AddNewContact(std::move(fresh));
        EXPECT_EQ(dlg.Members().size(), 2u) << "a pending contact is listed as a member";
        EXPECT_EQ(pending->m_groups, std::vector<Guid>{g->m_guid});
        dlg.Cancel();
    }
    EXPECT_EQ(g->m_name, "G");
    EXPECT_EQ(g->m_members, std::vector<Guid>{c1->m_guid});
    EXPECT_EQ(c1->m_groups, std::vector<Guid>{g->m_guid});
    EXPECT_TRUE(c2->m_groups.empty()) << "otherwise the export would leave c2 out";
    EXPECT_EQ(book->Size(), before);
}

TEST_F(GroupEditTest, OkFilesPendingContactsAndNeedsAName) {
    CGroupEntry* g = AddGroup("");
    CGroupEdit dlg(book, *g, prompt);
    dlg.Open();
    EXPECT_EQ(dlg.name, "<Новая группа>");
    EXPECT_EQ(dlg.Title(), "Свойства <Новая группа>");
    CContactEntry* pending = dlg.AddNewContact(std::make_unique<CContactEntry>("88120000000"));
    dlg.name.clear();
    EXPECT_FALSE(dlg.CanOk());
    EXPECT_FALSE(dlg.Ok());
    EXPECT_EQ(book->FindEntry(pending->m_guid), nullptr);
    dlg.name = "Friends";
    ASSERT_TRUE(dlg.Ok());
    EXPECT_EQ(g->m_name, "Friends");
    EXPECT_EQ(book->FindEntry(pending->m_guid), pending);
    EXPECT_EQ(pending->m_owner, book);
    EXPECT_EQ(dlg.PendingCount(), 0u);
}

TEST_F(GroupEditTest, MemberRowsSkipUnresolvedAndResolveAcrossBooks) {
    AddressBooks().Add(std::make_unique<CAddrBook>("Other"));
    CAddrBook* other = AddressBooks().back();
    CContactEntry* far = AddContact("1", {}, {}, other);
    CGroupEntry* sub = AddGroup("Sub");
    CGroupEntry* g = AddGroup("G", {far, sub});
    g->m_members.insert(g->m_members.begin(), platform::NewGuid()); // a deleted contact
    CGroupEdit dlg(book, *g, prompt);
    auto rows = dlg.Members();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].entry, far);
    EXPECT_FALSE(rows[0].isGroup);
    EXPECT_TRUE(rows[1].isGroup);
}

TEST_F(GroupEditTest, SelectionDialog) {
    CContactEntry* alpha = AddContact("88121111111", "Alpha");
    CGroupEntry* team = AddGroup("Team");
    CContactEntry* beta = AddContact("84952222222", "Beta");
    CSelectEdit sel(book, {alpha->m_guid});
    EXPECT_EQ(sel.BookRows().size(), 3u);
    sel.showNumbers = false;
    ASSERT_EQ(sel.BookRows().size(), 1u);
    EXPECT_EQ(sel.BookRows()[0].entry, team);
    sel.showNumbers = true;

    auto rows = sel.BookRows();
    EXPECT_EQ(CSelectEdit::FindRow(rows, "495"), 2);
    EXPECT_EQ(CSelectEdit::FindRow(rows, "Team"), 1);
    EXPECT_EQ(CSelectEdit::FindRow(rows, "team"), -1) << "the search is case-sensitive";

    sel.Choose({team->m_guid, alpha->m_guid, beta->m_guid});
    EXPECT_EQ(sel.Selection(), (std::vector<Guid>{alpha->m_guid, team->m_guid, beta->m_guid}));
    sel.Unselect({team->m_guid});
    CContactEntry* fresh = sel.AddNewContact(std::make_unique<CContactEntry>("5"));
    EXPECT_EQ(sel.SelectionRows().size(), 3u);
    const auto result = sel.Ok();
    EXPECT_EQ(result.back(), fresh->m_guid);
    EXPECT_EQ(book->FindEntry(fresh->m_guid), fresh);

    CSelectEdit cancelled(book, {});
    CContactEntry* gone = cancelled.AddNewContact(std::make_unique<CContactEntry>("6"));
    const Guid goneGuid = gone->m_guid;
    cancelled.Cancel();
    EXPECT_EQ(book->FindEntry(goneGuid), nullptr);
}

TEST_F(GroupEditTest, BookProperties) {
    AddContact("1");
    AddContact("2");
    AddGroup("G");
    CBookProps props(*book);
    EXPECT_EQ(props.name, "Book");
    EXPECT_EQ(props.ContactsText(), "2");
    EXPECT_EQ(props.GroupsText(), "1");
    props.name.clear();
    props.ApplyTo(*book);
    EXPECT_EQ(book->m_name, "");
}

TEST_F(GroupEditTest, NewEntryCommandsNeedACurrentBook) {
    int changed = 0;
    auto notify = [&] { ++changed; };
    AddressBooks().MakeCurrent(nullptr);
    EXPECT_FALSE(CanRunNewEntryCommand());
    bool ran = false;
    EXPECT_EQ(RunNewContactCommand([&](CContactEdit&) { return ran = true; }, notify), nullptr);
    EXPECT_FALSE(ran);

    AddressBooks().MakeCurrent(book);
    CContactEntry* c = RunNewContactCommand(
        [](CContactEdit& d) {
            d.number = "3520809";
            return d.Apply();
        },
        notify);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_name, "88123520809");
    EXPECT_EQ(book->FindEntry(c->m_guid), c);
    EXPECT_EQ(changed, 1);

    // A cancelled new group is gone, and so is the contact created in it.
    const std::size_t before = book->Size();
    EXPECT_EQ(RunNewGroupCommand(
                  prompt,
                  [](CGroupEdit& d) {
                      d.AddNewContact(std::make_unique<CContactEntry>("7"));
                      return false;
                  },
                  notify),
              nullptr);
    EXPECT_EQ(book->Size(), before);
    EXPECT_EQ(changed, 1);

    CGroupEntry* g = RunNewGroupCommand(
        prompt,
        [&](CGroupEdit& d) {
            d.Open();
            d.AddMembers({c->m_guid});
            return d.Ok();
        },
        notify);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->m_name, "<Новая группа>");
    EXPECT_EQ(book->FindEntry(g->m_guid), g);
    EXPECT_EQ(c->m_groups, std::vector<Guid>{g->m_guid});
    EXPECT_EQ(changed, 2);
}

} // namespace
