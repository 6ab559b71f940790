#include "AbkGuiFixture.h"
#include "addressbook/AddressBooks.h"

#include <filesystem>

namespace abk_gui_test {

void AbkGuiTest::SetUp() {
    testing_support::IsolateEnvironment(m_root.Path());
    ResetSettingsForTest();
    Settings() = CSettings{};
    Settings().DataDir = m_root / "data";
    Settings().FaxDir = m_root / "fax";
    Settings().ProgDir = m_root.Path();
    std::filesystem::create_directories(Settings().DataDir);
    platform::SetTelephoneCountryCodeForTest(7);
    CThreadControl::Instance().stopRequest = 0;
    CThreadControl::Instance().busy = 0;
    abk::ClearDialogHooks();
    AddressBooks().Clear();
    AddressBooks().MakeCurrent(nullptr);
    m_doc = std::make_unique<CVelquinDoc>(m_prompt, m_frame);
}

void AbkGuiTest::TearDown() {
    delete m_page;
    m_page = nullptr;
    // Every view worker ends before the books go.
    ASSERT_TRUE(QTest::qWaitFor([] { return CThreadControl::Instance().busy.load() == 0; }, 20000));
    m_frame.StopGuiCalls();
    m_doc.reset();
    abk::ClearDialogHooks();
    platform::SetTelephoneCountryCodeForTest(std::nullopt);
    Settings() = CSettings{};
}

void AbkGuiTest::MakePage() {
    m_page = CreateAddressBookPage(*m_doc, m_frame, m_prompt, nullptr);
    m_prompt.SetParent(m_page);
    m_page->resize(900, 500);
    m_page->show();
}

CAddrBook* AbkGuiTest::AddBook(const std::string& name) {
    AddressBooks().Add(std::make_unique<CAddrBook>(name));
    return AddressBooks().back();
}

CContactEntry* AbkGuiTest::AddContact(CAddrBook* book, const std::string& number,
                                      const std::string& company, const std::string& person) {
    auto c = std::make_unique<CContactEntry>(number);
    c->m_company = company;
    c->m_person = person;
    CContactEntry* raw = c.get();
    book->AddEntry(std::move(c));
    return raw;
}

CGroupEntry* AbkGuiTest::AddGroup(CAddrBook* book, const std::string& name,
                                  const std::vector<CAddrBookEntry*>& members) {
    auto g = std::make_unique<CGroupEntry>(name);
    for (CAddrBookEntry* m : members) {
        g->m_members.push_back(m->m_guid);
        if (auto* c = dynamic_cast<CContactEntry*>(m)) {
            c->m_groups.push_back(g->m_guid);
        }
    }
    CGroupEntry* raw = g.get();
    book->AddEntry(std::move(g));
    return raw;
}

bool AbkGuiTest::WaitTree(int count) {
    return QTest::qWaitFor([&] { return m_page->Tree()->RebuildsDone() >= count; }, 20000);
}

bool AbkGuiTest::WaitList(int count) {
    return QTest::qWaitFor(
        [&] { return m_page->List()->FillsDone() >= count && !m_page->List()->Filling(); }, 20000);
}

QTreeWidgetItem* AbkGuiTest::FindTreeItem(const std::string& text) {
    for (QTreeWidgetItem* item : AllItems(m_page->Tree())) {
        if (item->text(0) == QString::fromStdString(text)) {
            return item;
        }
    }
    return nullptr;
}

void AbkGuiTest::SaveAndReload() {
    delete m_page;
    m_page = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([] { return CThreadControl::Instance().busy.load() == 0; }, 20000));
    AddressBooks().SaveAll([this](const std::string& e) { m_prompt.FileError(e); });
    m_frame.StopGuiCalls();
    m_doc.reset(); // forgets every book
    m_frame.ResumeGuiCalls();
    ASSERT_TRUE(AddressBooks().empty());
    m_doc = std::make_unique<CVelquinDoc>(m_prompt, m_frame);
    AddressBooks().StartLoader();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !AddressBooks().LoaderBusy(); }, 20000));
    AddressBooks().WaitForLoader();
}

QList<QTreeWidgetItem*> AllItems(QTreeWidget* tree) {
    QList<QTreeWidgetItem*> out;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
        out.push_back(item);
        for (int i = 0; i < item->childCount(); ++i) {
            walk(item->child(i));
        }
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        walk(tree->topLevelItem(i));
    }
    return out;
}

} // namespace abk_gui_test
