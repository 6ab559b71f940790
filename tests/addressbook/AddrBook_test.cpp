#include "addressbook/AddrBook.h"
#include "addressbook/AddressBooks.h"

#include "app/Settings.h"
#include "platform/Files.h"
#include "store/ByteBuilder.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <random>

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

Guid G(std::uint32_t n) {
    Guid g;
    g.Data1 = n;
    g.Data2 = 0x0506;
    g.Data3 = 0x0708;
    g.Data4 = {9, 10, 11, 12, 13, 14, 15, static_cast<std::uint8_t>(n)};
    return g;
}

ByteBuilder& AddGuid(ByteBuilder& b, const Guid& g) {
    b.I32(static_cast<std::int32_t>(g.Data1)).U16(g.Data2).U16(g.Data3);
    for (auto x : g.Data4) {
        b.U8(x);
    }
    return b;
}

ByteBuilder& AddContact(ByteBuilder& b, const Guid& g, const std::string& number,
                        const std::string& person, const std::string& company,
                        std::uint8_t domestic) {
    b.I32(1).U8(domestic).Str(person).Str(company);
    return AddGuid(b, g).Str(number);
}

ByteBuilder& AddGroup(ByteBuilder& b, const Guid& g, const std::vector<Guid>& members,
                      const std::string& name) {
    b.I32(2).I32(static_cast<std::int32_t>(members.size()));
    for (const Guid& m : members) {
        AddGuid(b, m);
    }
    return AddGuid(b, g).Str(name);
}

// A book built field by field: two contacts, two groups sharing contact 1, one dangling member.
std::string HandBuiltBook() {
    ByteBuilder b;
    b.U16(10129);
    AddGuid(b, G(100)).Str("\xCA\xEB\xE8\xE5\xED\xF2\xFB").I32(4);     // "Клиенты"
    AddContact(b, G(1), "88123520809", "\xC8\xE2\xE0\xED", "ACME", 1); // "Иван"
    AddGroup(b, G(10), {G(1), G(99), G(2)}, "first");
    AddContact(b, G(2), "4951234567", "", "", 0);
    AddGroup(b, G(11), {G(1), G(10)}, "second");
    return b;
}

class AddrBookTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(root.Path());
        ResetSettingsForTest();
        Settings().DataDir = root / "data";
        AddressBooks().Clear();
        AddressBooks().MakeCurrent(nullptr);
    }
    void TearDown() override {
        AddressBooks().MakeCurrent(nullptr);
        AddressBooks().Clear();
    }
    TempDir root;
};

TEST_F(AddrBookTest, ReadsHandBuiltFileAndFixesGroupLists) {
    auto book = ReadBook(HandBuiltBook());
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->m_guid, G(100));
    EXPECT_EQ(book->m_name, "Клиенты");
    EXPECT_EQ(book->Size(), 4u);
    auto* c1 = dynamic_cast<CContactEntry*>(book->FindEntry(G(1)));
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->m_name, "88123520809");
    EXPECT_EQ(c1->m_person, "Иван");
    EXPECT_EQ(c1->m_company, "ACME");
    EXPECT_EQ(c1->m_domestic, 1);
    EXPECT_EQ(c1->m_owner, book.get());
    EXPECT_EQ(c1->m_groups, (std::vector<Guid>{G(10), G(11)}));
    auto* c2 = dynamic_cast<CContactEntry*>(book->FindEntry(G(2)));
    ASSERT_NE(c2, nullptr);
    EXPECT_EQ(c2->m_domestic, 0);
    EXPECT_EQ(c2->m_groups, std::vector<Guid>{G(10)});
    auto* g1 = dynamic_cast<CGroupEntry*>(book->FindEntry(G(10)));
    ASSERT_NE(g1, nullptr);
    EXPECT_EQ(g1->m_members, (std::vector<Guid>{G(1), G(99), G(2)})); // dangling kept
    int contacts = 0, groups = 0;
    CountEntries(*book, contacts, groups);
    EXPECT_EQ(contacts, 2);
    EXPECT_EQ(groups, 2);

    // Written back in the order read: the same bytes.
    EXPECT_EQ(WriteBook(*book), HandBuiltBook());
}

TEST_F(AddrBookTest, EmptyBookAndLongNameRoundTrip) {
    CAddrBook empty("Пусто");
    std::string bytes = WriteBook(empty);
    ByteBuilder expected;
    expected.U16(10129);
    AddGuid(expected, empty.m_guid).Str("\xCF\xF3\xF1\xF2\xEE").I32(0);
    EXPECT_EQ(bytes, expected.Bytes());

    CAddrBook book(std::string(300, 'b'));
    auto contact = std::make_unique<CContactEntry>("123");
    contact->m_company = std::string(255, 'c');
    Guid cg = contact->m_guid;
    book.AddEntry(std::move(contact));
    auto back = ReadBook(WriteBook(book));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->m_name, std::string(300, 'b'));
    auto* c = dynamic_cast<CContactEntry*>(back->FindEntry(cg));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_company, std::string(255, 'c'));
}

TEST_F(AddrBookTest, ForeignDamagedAndHostileFiles) {
    EXPECT_EQ(ReadBook(ByteBuilder().U16(10128).Bytes()), nullptr);

    std::string good = HandBuiltBook();
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        if (cut == 0) {
            EXPECT_THROW(ReadBook(good.substr(0, cut)), CArchiveException);
            continue;
        }
        EXPECT_THROW(ReadBook(good.substr(0, cut)), CArchiveException) << cut;
    }

    // An unknown tag ends the book; what came before it stays.
    ByteBuilder tag;
    tag.U16(10129);
    AddGuid(tag, G(5)).Str("b").I32(3);
    AddContact(tag, G(1), "1", "", "", 1);
    tag.I32(7).Raw("garbage that is never read");
    auto book = ReadBook(tag.Bytes());
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->Size(), 1u);

    // Counts that claim far more than the file holds.
    ByteBuilder members;
    members.U16(10129);
    AddGuid(members, G(5)).Str("b").I32(1).I32(2).I32(0x7FFFFFFF);
    EXPECT_THROW(ReadBook(members.Bytes()), CArchiveException);
    ByteBuilder entries;
    entries.U16(10129);
    AddGuid(entries, G(5)).Str("b").I32(0x7FFFFFFF);
    EXPECT_THROW(ReadBook(entries.Bytes()), CArchiveException);
}

TEST_F(AddrBookTest, CorruptedBooksFailCleanly) {
    const std::string good = HandBuiltBook();
    std::mt19937 rng(777);
    for (int round = 0; round < 2000; ++round) {
        std::string bad = good;
        for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips) {
            bad[2 + rng() % (bad.size() - 2)] = static_cast<char>(rng());
        }
        try {
            ReadBook(bad);
        } catch (const CArchiveException&) {
        }
    }
}

TEST_F(AddrBookTest, FilePathUsesGuidText) {
    CAddrBook book("x");
    book.m_guid.Data1 = 0x1A2B3C4D;
    book.m_guid.Data2 = 0x0506;
    book.m_guid.Data3 = 0x0708;
    book.m_guid.Data4 = {9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(book.GetFilePath(), root / "data/AddressBook/{1a2b3c4d506708090a0b0c0d0e0f10}.abk");
}

TEST_F(AddrBookTest, AddEntryReplacesWithoutDestroying) {
    CAddrBook book("b");
    auto first = std::make_unique<CContactEntry>("1");
    CAddrBookEntry* firstRaw = first.get();
    Guid g = first->m_guid;
    book.AddEntry(std::move(first));
    auto second = std::make_unique<CContactEntry>("2");
    second->m_guid = g;
    book.AddEntry(std::move(second));
    book.AddEntry(nullptr);
    EXPECT_EQ(book.Size(), 1u);
    EXPECT_EQ(book.FindEntry(g)->m_name, "2");
    EXPECT_EQ(firstRaw->m_name, "1"); // still alive
    EXPECT_EQ(book.Entries().size(), 1u);
}

TEST_F(AddrBookTest, SaveLoadAndDeleteThroughTheStore) {
    std::vector<std::string> errors;
    auto onError = [&](const std::string& e) { errors.push_back(e); };
    std::vector<CBookChange> told;
    auto subscription = AddressBooks().Subscribe([&](const CBookChange& c) { told.push_back(c); });
    auto kinds = [&] {
        std::vector<CBookChange::Kind> out;
        for (const CBookChange& c : told) {
            out.push_back(c.kind);
        }
        told.clear();
        return out;
    };
    using K = CBookChange::Kind;

    AddressBooks().Add(ReadBook(HandBuiltBook()));
    AddressBooks().Add(std::make_unique<CAddrBook>("second"));
    AddressBooks().MakeCurrent(AddressBooks()[1]);
    AddressBooks().SaveAll(onError);
    EXPECT_TRUE(errors.empty());
    std::string path0 = AddressBooks()[0]->GetFilePath();
    EXPECT_EQ(testing_support::ReadFileOrDie(path0), HandBuiltBook());

    // Entries are removed from every book; the GUID stays in groups that list it.
    EXPECT_EQ(FindEntryInAllBooks(G(2))->m_name, "4951234567");
    told.clear();
    EXPECT_TRUE(AddressBooks().Delete(G(2)));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].kind, K::EntryRemoved);
    EXPECT_EQ(told[0].key, G(100)); // keyed by the book
    told.clear();
    EXPECT_EQ(FindEntryInAllBooks(G(2)), nullptr);
    EXPECT_EQ(static_cast<CGroupEntry*>(FindEntryInAllBooks(G(10)))->m_members.size(), 3u);

    // A book whose file cannot be deleted is told and stays, or the next start brings it back.
    const std::string path1 = AddressBooks()[1]->GetFilePath();
    std::filesystem::remove(path1);
    std::filesystem::create_directories(path1 + "/in the way");
    EXPECT_FALSE(AddressBooks().Delete(AddressBooks()[1]->m_guid, onError));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(path1), std::string::npos) << errors[0];
    EXPECT_EQ(AddressBooks().size(), 2u);
    EXPECT_TRUE(kinds().empty());
    std::filesystem::remove_all(path1);
    errors.clear();

    // Deleting a book removes its file and moves the current book to the first remaining.
    EXPECT_TRUE(AddressBooks().Delete(G(100)));
    EXPECT_EQ(kinds(), (std::vector{K::Removed, K::Current}));
    EXPECT_FALSE(platform::PathExists(path0));
    ASSERT_EQ(AddressBooks().size(), 1u);
    EXPECT_EQ(CurrentBook(), AddressBooks()[0]);

    // Deleting the last one leaves the default book.
    AddressBooks().Delete(AddressBooks()[0]->m_guid);
    EXPECT_EQ(kinds(), (std::vector{K::Removed, K::Added, K::Current}));
    ASSERT_EQ(AddressBooks().size(), 1u);
    EXPECT_EQ(AddressBooks()[0]->m_name, "Мои Контакты");
    EXPECT_EQ(CurrentBook(), AddressBooks()[0]);

    // Open: a damaged file is reported and not added; a good one is appended.
    WriteFile(root / "bad.abk", HandBuiltBook().substr(0, 40));
    EXPECT_EQ(AddressBooks().Open(root / "bad.abk", onError), nullptr);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("bad.abk"), std::string::npos);
    WriteFile(root / "good.abk", HandBuiltBook());
    EXPECT_NE(AddressBooks().Open(root / "good.abk", onError), nullptr);
    EXPECT_EQ(AddressBooks().size(), 2u);
    EXPECT_EQ(AddressBooks().Open("", onError), nullptr);
}

TEST_F(AddrBookTest, ManyContactsStayIndexed) {
    CAddrBook book("big");
    std::vector<Guid> ids;
    for (int i = 0; i < 5000; ++i) {
        auto c = std::make_unique<CContactEntry>(std::to_string(i));
        ids.push_back(c->m_guid);
        book.AddEntry(std::move(c));
    }
    for (int i = 0; i < 5000; i += 2) {
        EXPECT_TRUE(book.RemoveEntry(ids[i]));
    }
    EXPECT_FALSE(book.RemoveEntry(ids[0]));
    EXPECT_EQ(book.Size(), 2500u);
    auto entries = book.Entries();
    ASSERT_EQ(entries.size(), 2500u);
    EXPECT_EQ(entries.front()->m_name, "1");
    EXPECT_EQ(entries.back()->m_name, "4999");
    auto back = ReadBook(WriteBook(book));
    EXPECT_EQ(back->Size(), 2500u);
}

} // namespace
