// The address-book page driven like a user: commands, dialogs answered by hooks, the workers'
// fills, and the books on disk afterwards.
#include "AbkGuiFixture.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/BookFixture.h"

#include "addressbook/BookRows.h"
#include "addressbook/Export.h"
#include "addressbook/Import.h"
#include "gui/addressbook/EditDialogs.h"
#include "gui/addressbook/ImportDlg.h"
#include "gui/sending/SendListDlg.h"
#include "gui/shell/Commands.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

using namespace abk_gui_test;

namespace {

template <class T> T* Child(QObject& parent, const char* name) {
    T* w = parent.findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QPushButton* OkButton(QDialog& d) {
    return Child<QDialogButtonBox>(d, "buttons")->button(QDialogButtonBox::Ok);
}

// Selects the rows of a widget list whose first column reads `text`.
void SelectRow(QTreeWidget* list, const QString& text) {
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == text) {
            list->setCurrentItem(list->topLevelItem(i));
            list->topLevelItem(i)->setSelected(true);
        }
    }
}

CAddrBook* BookNamed(const std::string& name) {
    for (const auto& b : AddressBooks()) {
        if (b->m_name == name) {
            return b.get();
        }
    }
    return nullptr;
}

template <class T> std::vector<T*> EntriesOf(const CAddrBook& book, int type) {
    std::vector<T*> out;
    book.ForEachEntry([&](CAddrBookEntry& e) {
        if (e.GetType() == type) {
            out.push_back(static_cast<T*>(&e));
        }
    });
    return out;
}

bool Contains(const std::vector<Guid>& v, const Guid& g) {
    return std::find(v.begin(), v.end(), g) != v.end();
}

// A click on an item of the tree, as the user makes it.
void ClickTreeItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

void ClickRow(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const QString& text) {
    for (int i = 0; parent != nullptr && i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == text) {
            return parent->child(i);
        }
    }
    return nullptr;
}

std::vector<std::string> ListedNames(CAddrBookPage* page) {
    std::vector<std::string> names;
    for (const CBookRow& r : page->List()->Model()->Rows()) {
        names.push_back(r.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Enabled(CAddrBookPage* page, int id) {
    bool enabled = false, checked = false;
    page->CommandState(id, enabled, checked);
    return enabled;
}

} // namespace

TEST_F(AbkGuiTest, NewBookContactAndGroupAreFoundAfterSaveAndReload) {
    MakePage();
    // Before the first book exists the tree stays empty; the timer then fills it once.
    EXPECT_TRUE(m_page->Tree()->StartTimer().isActive());
    EXPECT_EQ(m_page->Tree()->topLevelItemCount(), 0);
    AddressBooks().ApplyDefaultRule();
    ASSERT_TRUE(WaitTree(1));
    EXPECT_FALSE(m_page->Tree()->StartTimer().isActive());
    ASSERT_EQ(m_page->Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(m_page->Tree()->currentItem()->text(0), QStringLiteral("Мои Контакты"));

    abk::PushDialogHook([](QDialog& d) {
        Child<QLineEdit>(d, "bookName")->setText(QStringLiteral("Клиенты"));
        d.accept();
    });
    m_page->OnCommand(cmd::kNewBook);
    ASSERT_EQ(AddressBooks().size(), 2u);
    ASSERT_NE(CurrentBook(), nullptr);
    EXPECT_EQ(CurrentBook()->m_name, "Клиенты");
    EXPECT_EQ(m_page->Tree()->currentItem()->text(0), QStringLiteral("Клиенты"));

    abk::PushDialogHook([](QDialog& d) {
        EXPECT_FALSE(OkButton(d)->isEnabled()); // no number yet
        EXPECT_TRUE(Child<QRadioButton>(d, "inRussia")->isChecked());
        EXPECT_FALSE(Child<QLineEdit>(d, "countryCode")->isVisibleTo(&d));
        Child<QRadioButton>(d, "abroad")->setChecked(true);
        EXPECT_TRUE(Child<QLineEdit>(d, "countryCode")->isVisibleTo(&d));
        Child<QRadioButton>(d, "inRussia")->setChecked(true);
        Child<QLineEdit>(d, "faxNumber")->setText(QStringLiteral("352-08-09"));
        Child<QLineEdit>(d, "areaCode")->setText(QStringLiteral("812"));
        Child<QLineEdit>(d, "company")->setText(QStringLiteral("ООО Ромашка"));
        EXPECT_TRUE(OkButton(d)->isEnabled());
        OkButton(d)->click();
    });
    m_page->OnCommand(cmd::kNewContact);
    ASSERT_TRUE(WaitTree(2));

    abk::PushDialogHook([](QDialog& d) {
        Child<QLineEdit>(d, "groupName")->setText(QStringLiteral("Партнёры"));
        Child<QPushButton>(d, "addToGroup")->click(); // the selection dialog: next hook
        EXPECT_EQ(Child<QLabel>(d, "memberCount")->text(), QStringLiteral("1"));
        d.accept();
    });
    abk::PushDialogHook([](QDialog& d) {
        auto* list = Child<QTreeWidget>(d, "bookList");
        EXPECT_FALSE(Child<QPushButton>(d, "choose")->isEnabled());
        SelectRow(list, QStringLiteral("88123520809"));
        EXPECT_TRUE(Child<QPushButton>(d, "choose")->isEnabled());
        Child<QPushButton>(d, "choose")->click();
        EXPECT_EQ(Child<QTreeWidget>(d, "selectionList")->topLevelItemCount(), 1);
        d.accept();
    });
    m_page->OnCommand(cmd::kNewGroup);
    EXPECT_EQ(abk::PendingDialogHooks(), 0u);
    ASSERT_TRUE(WaitTree(3));
    QTreeWidgetItem* groupItem = FindTreeItem("Партнёры");
    ASSERT_NE(groupItem, nullptr);
    EXPECT_EQ(groupItem->parent()->text(0), QStringLiteral("Клиенты"));
    // The remembered book is selected again and its entries listed, the group in bold.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_page->List()->Model()->rowCount() == 2; }, 20000));
    const auto& rows = m_page->List()->Model()->Rows();
    const auto group = std::find_if(rows.begin(), rows.end(), [](auto& r) { return r.IsGroup(); });
    ASSERT_NE(group, rows.end());
    const int groupRow = static_cast<int>(group - rows.begin());
    EXPECT_TRUE(m_page->List()
                    ->Model()
                    ->data(m_page->List()->Model()->index(groupRow, 0), Qt::FontRole)
                    .value<QFont>()
                    .bold());

    SaveAndReload();
    CAddrBook* book = BookNamed("Клиенты");
    ASSERT_NE(book, nullptr);
    ASSERT_NE(BookNamed("Мои Контакты"), nullptr);
    auto contacts = EntriesOf<CContactEntry>(*book, kEntryTypeContact);
    auto groups = EntriesOf<CGroupEntry>(*book, kEntryTypeGroup);
    ASSERT_EQ(contacts.size(), 1u);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(contacts[0]->m_name, "88123520809");
    EXPECT_EQ(contacts[0]->m_company, "ООО Ромашка");
    EXPECT_EQ(groups[0]->m_name, "Партнёры");
    ASSERT_EQ(groups[0]->m_members.size(), 1u);
    EXPECT_EQ(groups[0]->m_members[0], contacts[0]->m_guid);
    EXPECT_TRUE(Contains(contacts[0]->m_groups, groups[0]->m_guid));
}

TEST_F(AbkGuiTest, AddingAGroupThatContainsTheEditedOneIsRefusedWithMessage2012) {
    CAddrBook* book = AddBook("Книга");
    CGroupEntry* inner = AddGroup(book, "Внутренняя");
    CGroupEntry* outer = AddGroup(book, "Внешняя", {inner});
    AddressBooks().MakeCurrent(book);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    // The inner group shows under its book and again under its parent group once that one is
    // opened.
    ClickTreeItem(m_page->Tree(), FindTreeItem("Внешняя"));
    QTest::keyClick(m_page->Tree(), Qt::Key_Right);
    int innerItems = 0;
    for (QTreeWidgetItem* item : AllItems(m_page->Tree())) {
        innerItems += item->text(0) == QStringLiteral("Внутренняя") ? 1 : 0;
    }
    EXPECT_EQ(innerItems, 2);
    QTreeWidgetItem* root = m_page->Tree()->topLevelItem(0);
    QTreeWidgetItem* innerItem = nullptr;
    for (int i = 0; i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == QStringLiteral("Внутренняя")) {
            innerItem = root->child(i);
        }
    }
    ASSERT_NE(innerItem, nullptr);
    EXPECT_EQ(root->child(0)->text(0), QStringLiteral("Внешняя")); // sorted by bytes
    ClickTreeItem(m_page->Tree(), innerItem);

    m_prompt.SetNextAnswer(MsgAnswer::Ok);
    abk::PushDialogHook([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Свойства Внутренняя"));
        Child<QPushButton>(d, "addToGroup")->click();
        EXPECT_EQ(Child<QLabel>(d, "memberCount")->text(), QStringLiteral("0"));
        d.accept();
    });
    abk::PushDialogHook([](QDialog& d) {
        SelectRow(Child<QTreeWidget>(d, "bookList"), QStringLiteral("Внешняя"));
        Child<QPushButton>(d, "choose")->click();
        d.accept();
    });
    m_page->OnCommand(cmd::kProperties);
    EXPECT_TRUE(inner->m_members.empty());
    EXPECT_EQ(outer->m_members.size(), 1u);
    const auto asked = m_prompt.Asked();
    ASSERT_FALSE(asked.empty());
    // The group met twice is the edited one, reached through the chosen group.
    EXPECT_EQ(asked.back(),
              FormatString(LoadString(kMsgGroupRepeated), "Внутренняя", "Внутренняя"));
}

TEST_F(AbkGuiTest, CancelledGroupDialogRestoresNameMembersAndDropsNewContacts) {
    CAddrBook* book = AddBook("Книга");
    CContactEntry* c1 = AddContact(book, "88120000001");
    CContactEntry* c2 = AddContact(book, "88120000002");
    CGroupEntry* group = AddGroup(book, "Группа", {c1, c2});
    AddressBooks().MakeCurrent(book);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    m_page->Tree()->setCurrentItem(FindTreeItem("Группа"));
    ASSERT_TRUE(WaitList(1));
    EXPECT_EQ(m_page->List()->Model()->rowCount(), 2); // the group's members

    abk::PushDialogHook([](QDialog& d) {
        auto* members = Child<QTreeWidget>(d, "members");
        EXPECT_FALSE(Child<QPushButton>(d, "removeMember")->isEnabled());
        SelectRow(members, QStringLiteral("88120000001"));
        EXPECT_TRUE(Child<QPushButton>(d, "removeMember")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(d, "memberProperties")->isEnabled());
        QTest::keyClick(members, Qt::Key_Delete);
        EXPECT_EQ(Child<QLabel>(d, "memberCount")->text(), QStringLiteral("1"));
        Child<QPushButton>(d, "newContact")->click(); // next hook
        EXPECT_EQ(Child<QLabel>(d, "memberCount")->text(), QStringLiteral("2"));
        Child<QLineEdit>(d, "groupName")->setText(QString());
        EXPECT_FALSE(OkButton(d)->isEnabled());
        d.reject();
    });
    abk::PushDialogHook([](QDialog& d) {
        Child<QLineEdit>(d, "faxNumber")->setText(QStringLiteral("5551234"));
        d.accept();
    });
    m_page->OnCommand(cmd::kProperties);
    EXPECT_EQ(group->m_name, "Группа");
    EXPECT_EQ(group->m_members, (std::vector<Guid>{c1->m_guid, c2->m_guid}));
    EXPECT_TRUE(Contains(c1->m_groups, group->m_guid));
    EXPECT_EQ(book->Size(), 3u); // the contact made in the dialog is gone
}

TEST_F(AbkGuiTest, ImportReadsAFileDropsARowAndCommitsRowsThatSurviveARestart) {
    CAddrBook* book = AddBook("Импорт");
    AddressBooks().MakeCurrent(book);
    Settings().DefaultAreaCode = "8812";
    const std::string file = m_root / "contacts.txt";
    testing_support::WriteFile(file, "@Partners;88123520809;Firm;Иван\n"
                                     "+7 495 123 45 67;ООО Ромашка;Пётр\n"
                                     "3520809;Local;Anna\n"
                                     ";Empty;Nobody\n"
                                     "@Partners;8-812-111-22-33;Firm2;Olga\n");
    MakePage();
    ASSERT_TRUE(WaitTree(1));

    m_prompt.SetNextFileName(file);
    m_prompt.SetNextAnswer(MsgAnswer::Ok); // message 2044
    abk::PushDialogHook([&](QDialog& dlg) {
        auto& d = static_cast<CImportDlg&>(dlg);
        auto* available = Child<QListWidget>(d, "availableFields");
        auto* input = Child<QListWidget>(d, "inputFields");
        EXPECT_EQ(available->count(), 4);
        EXPECT_FALSE(Child<QPushButton>(d, "importButton")->isEnabled());
        for (int i = 0; i < 3; ++i) { // number, company, person in that order
            available->setCurrentRow(0);
            Child<QPushButton>(d, "toInput")->click();
        }
        ASSERT_EQ(input->count(), 3);
        EXPECT_EQ(available->count(), 1); // the skip entry stays
        EXPECT_EQ(d.Fields().Input(),
                  (std::vector<int>{kFieldNumber, kFieldCompany, kFieldPerson}));
        Child<QPushButton>(d, "loadFile")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !d.Reading(); }, 20000));
        auto* preview = Child<QTreeWidget>(d, "preview");
        ASSERT_EQ(preview->topLevelItemCount(), 4);
        EXPECT_EQ(Child<QLineEdit>(d, "recordsRead")->text(), QStringLiteral("4"));
        const auto& rows = d.Rows();
        EXPECT_EQ(rows[0].group, "Partners");
        EXPECT_EQ(rows[0].number, "88123520809");
        EXPECT_EQ(rows[0].company, "Firm");
        EXPECT_EQ(rows[0].person, "Иван");
        EXPECT_EQ(rows[1].group, "");
        EXPECT_EQ(rows[1].number, "81074951234567");
        EXPECT_EQ(rows[1].company, "ООО Ромашка");
        EXPECT_EQ(rows[2].number, "88123520809");
        EXPECT_EQ(rows[3].number, "88121112233");
        EXPECT_EQ(preview->topLevelItem(1)->text(2), QStringLiteral("ООО Ромашка"));
        EXPECT_TRUE(Child<QPushButton>(d, "importButton")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(d, "removeRows")->isEnabled());
        preview->topLevelItem(2)->setSelected(true); // "Local" goes
        EXPECT_TRUE(Child<QPushButton>(d, "removeRows")->isEnabled());
        Child<QPushButton>(d, "removeRows")->click();
        EXPECT_EQ(preview->topLevelItemCount(), 3);
        EXPECT_EQ(Child<QLineEdit>(d, "recordsRead")->text(), QStringLiteral("3"));
        Child<QPushButton>(d, "importButton")->click();
    });
    m_page->OnCommand(cmd::kImport);
    EXPECT_EQ(abk::PendingDialogHooks(), 0u);
    const auto asked = m_prompt.Asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), ImportPrefixedMessage());
    ASSERT_TRUE(WaitTree(2));
    EXPECT_NE(FindTreeItem("Partners"), nullptr);

    SaveAndReload();
    CAddrBook* reloaded = BookNamed("Импорт");
    ASSERT_NE(reloaded, nullptr);
    auto contacts = EntriesOf<CContactEntry>(*reloaded, kEntryTypeContact);
    auto groups = EntriesOf<CGroupEntry>(*reloaded, kEntryTypeGroup);
    ASSERT_EQ(contacts.size(), 3u);
    // The row without a group between the two "Partners" rows starts no other group: one
    // group with both contacts.
    ASSERT_EQ(groups.size(), 1u);
    std::vector<std::string> numbers;
    for (auto* c : contacts) {
        numbers.push_back(c->m_name + "|" + c->m_company + "|" + c->m_person);
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers,
              (std::vector<std::string>{"81074951234567|ООО Ромашка|Пётр", "88121112233|Firm2|Olga",
                                        "88123520809|Firm|Иван"}));
    EXPECT_EQ(groups[0]->m_name, "Partners");
    ASSERT_EQ(groups[0]->m_members.size(), 2u);
    for (const Guid& g : groups[0]->m_members) {
        auto* member = dynamic_cast<CContactEntry*>(reloaded->FindEntry(g));
        ASSERT_NE(member, nullptr);
        EXPECT_TRUE(Contains(member->m_groups, groups[0]->m_guid));
        EXPECT_NE(member->m_company, "ООО Ромашка");
    }
}

TEST_F(AbkGuiTest, PickerReturnsTheChosenEntriesInListOrder) {
    CAddrBook* book = AddBook("Книга");
    AddContact(book, "300", "Третья");
    AddContact(book, "100", "Первая");
    AddContact(book, "200", "Вторая");
    AddGroup(book, "Группа");
    AddBook("Пустая");
    AddressBooks().MakeCurrent(book);

    abk::PushDialogHook([](QDialog& d) {
        auto* view = Child<QTableView>(d, "entries");
        auto* model = static_cast<CEntryListModel*>(view->model());
        ASSERT_EQ(model->rowCount(), 4);
        EXPECT_EQ(model->Row(0).name, "100"); // the remembered sort: names ascending
        EXPECT_EQ(model->Row(3).name, "Группа");
        auto* ok = Child<QPushButton>(d, "choose");
        EXPECT_FALSE(ok->isEnabled());
        view->selectionModel()->select(model->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view->selectionModel()->select(model->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
    });
    const auto picked = CAddrBookDlg::Pick(false, nullptr);
    ASSERT_EQ(picked.size(), 2u);
    EXPECT_EQ(picked[0]->m_name, "100");
    EXPECT_EQ(picked[1]->m_name, "300");

    // Single selection lists no groups; the check boxes refill; another book lists its own.
    abk::PushDialogHook([](QDialog& d) {
        auto& dlg = static_cast<CAddrBookDlg&>(d);
        auto* model = static_cast<CEntryListModel*>(Child<QTableView>(d, "entries")->model());
        EXPECT_EQ(model->rowCount(), 3);
        dlg.ShowNumbers()->setChecked(false);
        EXPECT_EQ(model->rowCount(), 0);
        dlg.ShowNumbers()->setChecked(true);
        Child<QComboBox>(d, "books")->setCurrentIndex(1);
        EXPECT_EQ(model->rowCount(), 0);
        d.reject();
    });
    EXPECT_TRUE(CAddrBookDlg::Pick(true, nullptr).empty());
}

TEST_F(AbkGuiTest, ABookOfMoreThan10000ContactsShowsMessage108AndAnEmptyList) {
    CAddrBook* big = AddBook("Большая");
    for (int i = 0; i < 10001; ++i) {
        AddContact(big, std::to_string(80000000000LL + i));
    }
    CAddrBook* full = AddBook("Полная");
    for (int i = 0; i < 10000; ++i) {
        AddContact(full, std::to_string(80000000000LL + i));
    }
    AddressBooks().MakeCurrent(big);
    m_prompt.SetNextAnswer(MsgAnswer::Ok);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    EXPECT_EQ(m_page->List()->Model()->rowCount(), 0);
    const auto asked = m_prompt.Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], FormatString(LoadString(kMsgTooManyEntries), "Большая"));

    m_page->Tree()->setCurrentItem(FindTreeItem("Полная"));
    ASSERT_TRUE(WaitList(2));
    EXPECT_EQ(m_page->List()->Model()->rowCount(), 10000);
    EXPECT_EQ(m_prompt.Asked().size(), 1u);
}

TEST_F(AbkGuiTest, ASecondFillStopsTheFirstAndRunsToItsEnd) {
    CAddrBook* big = AddBook("Большая");
    for (int i = 0; i < 100000; ++i) {
        AddContact(big, std::to_string(80000000000LL + i));
    }
    CAddrBook* small = AddBook("Малая");
    AddContact(small, "1");
    AddContact(small, "2");
    MakePage(); // no current book: nothing is listed at first
    ASSERT_TRUE(WaitTree(1));
    // A group of all 100,000 contacts: the list of a group has no size limit.
    auto group = std::make_unique<CGroupEntry>("Все");
    for (CAddrBookEntry* e : big->Entries()) {
        group->m_members.push_back(e->m_guid);
    }
    CGroupEntry* all = group.get();
    big->AddEntry(std::move(group));

    m_page->List()->Fill(all);
    (void)QTest::qWaitFor([] { return CThreadControl::Instance().busy.load() == 2; }, 2000);
    m_page->List()->Fill(small);
    ASSERT_TRUE(WaitList(1));
    EXPECT_EQ(m_page->List()->FillsDone(), 1); // the first fill never showed
    ASSERT_EQ(m_page->List()->Model()->rowCount(), 2);
    EXPECT_EQ(m_page->List()->Model()->Row(0).name, "1");
    ASSERT_TRUE(QTest::qWaitFor([] { return CThreadControl::Instance().busy.load() == 0; }, 20000));
    EXPECT_NE(std::find(m_frame.statusTexts.begin(), m_frame.statusTexts.end(),
                        std::string(LoadString(kIdsBuildingList))),
              m_frame.statusTexts.end());
}

TEST_F(AbkGuiTest, HeaderClicksSortTheListAndDeleteRemovesRowsOfTheCurrentBookOnly) {
    CAddrBook* book = AddBook("Книга");
    AddContact(book, "2", "b");
    AddContact(book, "1", "c");
    AddContact(book, "3", "a");
    AddressBooks().MakeCurrent(book);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    auto names = [&] {
        std::string s;
        for (const auto& r : m_page->List()->Model()->Rows()) {
            s += r.name;
        }
        return s;
    };
    EXPECT_EQ(names(), "213"); // book order
    m_page->List()->SortBy(0); // starts as column 0 ascending: this click descends
    EXPECT_EQ(names(), "321");
    m_page->List()->SortBy(1);
    EXPECT_EQ(names(), "321"); // companies a, b, c
    m_page->List()->SortBy(1);
    EXPECT_EQ(names(), "123");
    EXPECT_NE(std::find(m_frame.statusTexts.begin(), m_frame.statusTexts.end(),
                        std::string(LoadString(kIdsSortingList))),
              m_frame.statusTexts.end());

    m_page->List()->setFocus();
    m_page->SetListActive(true);
    m_page->List()->selectRow(0);
    bool enabled = false, checked = false;
    ASSERT_TRUE(m_page->CommandState(cmd::kProperties, enabled, checked));
    EXPECT_TRUE(enabled);
    Settings().ConfirmDeleteItem = true;
    m_prompt.SetNextAnswer(MsgAnswer::No);
    m_page->OnCommand(cmd::kDelete);
    EXPECT_EQ(book->Size(), 3u);
    m_prompt.SetNextAnswer(MsgAnswer::Yes);
    m_page->OnCommand(cmd::kDelete);
    EXPECT_EQ(book->Size(), 2u);
    EXPECT_EQ(names(), "23");
}

TEST_F(AbkGuiTest, ExportWritesTheSelectedBookThroughTheSaveDialog) {
    CAddrBook* book = AddBook("Книга");
    CContactEntry* a = AddContact(book, "88123520809", "Фирма", "Лицо");
    AddContact(book, "84950000000", "Один", "");
    AddGroup(book, "Группа", {a});
    AddressBooks().MakeCurrent(book);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    bool enabled = false, checked = false;
    ASSERT_TRUE(m_page->CommandState(cmd::kExport, enabled, checked));
    EXPECT_TRUE(enabled); // the book is selected
    const std::string path = m_root / "out.txt";
    m_prompt.SetNextFileName(path);
    m_page->OnCommand(cmd::kExport);
    EXPECT_EQ(m_prompt.LastFilters(), ExportFileFilter());
    // Windows-1251 on disk; the grouped contact only inside its group.
    EXPECT_EQ(platform::Cp1251ToUtf8(testing_support::ReadFileOrDie(path)),
              "84950000000; Один; \r\n@Группа; 88123520809; Фирма; Лицо\r\n");

    m_page->Tree()->setCurrentItem(FindTreeItem("Группа"));
    ASSERT_TRUE(m_page->CommandState(cmd::kExport, enabled, checked));
    EXPECT_FALSE(enabled); // a group is no book
}

TEST_F(AbkGuiTest, TheLoadersNoticeBuildsTheTreeOnceAndTheStartTimerAddsNoSecondFill) {
    CAddrBook* book = AddBook("Книга");
    AddContact(book, "88125550101");
    AddContact(book, "88125550102");
    AddressBooks().MakeCurrent(book);
    MakePage();
    AddressBooks().StartLoader(); // its hand-over comes before the start timer's first tick
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    EXPECT_FALSE(m_page->Tree()->StartTimer().isActive());
    QTest::qWait(CAddrBookTreeView::kTimerMs + 300);
    EXPECT_EQ(m_page->Tree()->RebuildsDone(), 1);
    EXPECT_EQ(m_page->List()->FillsDone(), 1);
    EXPECT_EQ(m_page->List()->Model()->rowCount(), 2);
}

TEST_F(AbkGuiTest, AMouseClickOnABookOrGroupListsItAndMakesItsBookTheTargetOfNewEntries) {
    CAddrBook* first = AddBook("Первая");
    AddContact(first, "100");
    CAddrBook* second = AddBook("Вторая");
    CContactEntry* client = AddContact(second, "200");
    AddGroup(second, "Клиенты", {client});
    AddressBooks().MakeCurrent(first);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    EXPECT_EQ(ListedNames(m_page), std::vector<std::string>{"100"});

    QTreeWidget* tree = m_page->Tree();
    ClickTreeItem(tree, FindTreeItem("Вторая"));
    ASSERT_TRUE(WaitList(2));
    EXPECT_EQ(CurrentBook(), second);
    EXPECT_EQ(ListedNames(m_page), (std::vector<std::string>{"200", "Клиенты"}));
    EXPECT_TRUE(Enabled(m_page, cmd::kDelete));
    EXPECT_TRUE(Enabled(m_page, cmd::kProperties));
    EXPECT_TRUE(Enabled(m_page, cmd::kExport));

    // The next contact goes into the book clicked, not the one listed before.
    abk::PushDialogHook([](QDialog& d) {
        Child<QLineEdit>(d, "faxNumber")->setText(QStringLiteral("300-00-00"));
        Child<QLineEdit>(d, "areaCode")->setText(QStringLiteral("812"));
        OkButton(d)->click();
    });
    m_page->OnCommand(cmd::kNewContact);
    EXPECT_EQ(EntriesOf<CContactEntry>(*first, kEntryTypeContact).size(), 1u);
    EXPECT_EQ(EntriesOf<CContactEntry>(*second, kEntryTypeContact).size(), 2u);
    ASSERT_TRUE(WaitTree(2));

    // A group lists its members; it cannot be exported, but can be edited and deleted, and
    // its book stays the target.
    const int fills = m_page->List()->FillsDone();
    ClickTreeItem(tree, FindTreeItem("Клиенты"));
    ASSERT_TRUE(WaitList(fills + 1));
    EXPECT_EQ(ListedNames(m_page), std::vector<std::string>{"200"});
    EXPECT_EQ(CurrentBook(), second);
    EXPECT_TRUE(Enabled(m_page, cmd::kDelete));
    EXPECT_TRUE(Enabled(m_page, cmd::kProperties));
    EXPECT_FALSE(Enabled(m_page, cmd::kExport));
}

TEST_F(AbkGuiTest, DeletesWithTheKeyKeepTreeAndListInStep) {
    CAddrBook* book = AddBook("Книга");
    CContactEntry* a = AddContact(book, "1");
    CContactEntry* b = AddContact(book, "2");
    CGroupEntry* inner = AddGroup(book, "Бета", {b});
    const Guid innerGuid = inner->m_guid; // the group itself goes with the delete
    AddGroup(book, "Альфа", {a, inner});
    AddGroup(book, "Гамма", {a, b});
    AddressBooks().MakeCurrent(book);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    QTreeWidget* tree = m_page->Tree();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    // "Бета" shows under its book and, once "Альфа" is opened, under "Альфа".
    ClickTreeItem(tree, ChildNamed(root, QStringLiteral("Альфа")));
    ASSERT_TRUE(WaitList(2));
    QTest::keyClick(tree, Qt::Key_Right);
    ASSERT_NE(ChildNamed(ChildNamed(root, QStringLiteral("Альфа")), QStringLiteral("Бета")),
              nullptr);

    // "Бета" deleted in the list of "Альфа" leaves the tree everywhere at once.
    QTableView* list = m_page->List();
    const auto& rows = m_page->List()->Model()->Rows();
    const auto beta = std::find_if(rows.begin(), rows.end(), [](auto& r) { return r.IsGroup(); });
    ASSERT_NE(beta, rows.end());
    const QModelIndex betaIndex = list->model()->index(static_cast<int>(beta - rows.begin()), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(betaIndex).center());
    m_page->SetListActive(true);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(book->FindEntry(innerGuid), nullptr);
    EXPECT_EQ(FindTreeItem("Бета"), nullptr);
    EXPECT_EQ(ListedNames(m_page), std::vector<std::string>{"1"});
    EXPECT_EQ(tree->selectedItems().value(0), ChildNamed(root, QStringLiteral("Альфа")));

    // "Альфа" deleted in the tree: the next group is chosen and its members listed.
    const int fills = m_page->List()->FillsDone();
    ClickTreeItem(tree, ChildNamed(root, QStringLiteral("Альфа")));
    m_page->SetListActive(false);
    QTest::keyClick(tree, Qt::Key_Delete);
    EXPECT_EQ(FindTreeItem("Альфа"), nullptr);
    ASSERT_EQ(tree->selectedItems().size(), 1);
    EXPECT_EQ(tree->selectedItems().front()->text(0), QStringLiteral("Гамма"));
    ASSERT_TRUE(WaitList(fills + 1));
    EXPECT_EQ(ListedNames(m_page), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(Enabled(m_page, cmd::kDelete));
}

TEST_F(AbkGuiTest, BooksWhoseGroupsShareSubgroupsOrFormALongChainOpenALevelAtATime) {
    // 40 levels of two groups, each holding both groups of the next level: 2^40 paths.
    CAddrBook* shared = AddBook("Общие");
    std::vector<CAddrBookEntry*> next;
    for (int level = 39; level >= 0; --level) {
        std::vector<CAddrBookEntry*> here;
        for (const char* side : {"a", "b"}) {
            char name[16];
            std::snprintf(name, sizeof name, "L%02d%s", level, side);
            here.push_back(AddGroup(shared, name, next));
        }
        next = here;
    }
    // A chain of 2,000 groups, each inside the one before.
    CAddrBook* chain = AddBook("Цепь");
    CAddrBookEntry* below = nullptr;
    for (int i = 1999; i >= 0; --i) {
        below = AddGroup(chain, "C" + std::to_string(i),
                         below != nullptr ? std::vector<CAddrBookEntry*>{below}
                                          : std::vector<CAddrBookEntry*>{});
    }
    SaveAndReload();
    ASSERT_EQ(AddressBooks().size(), 2u);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    QTreeWidget* tree = m_page->Tree();
    EXPECT_EQ(AllItems(tree).size(), 2 + 80 + 2000);

    // Right opens the chosen group, Down goes to its first subgroup: five levels down.
    QTreeWidgetItem* item = FindTreeItem("L00a");
    ClickTreeItem(tree, item);
    for (int level = 1; level <= 5; ++level) {
        QTest::keyClick(tree, Qt::Key_Right);
        ASSERT_EQ(item->childCount(), 2) << level;
        QTest::keyClick(tree, Qt::Key_Down);
        item = tree->currentItem();
        ASSERT_EQ(item->parent()->text(0), QString::asprintf("L%02da", level - 1));
        EXPECT_EQ(item->text(0), QString::asprintf("L%02da", level));
    }
    // '*' opens one level too, not all 2^35 paths below.
    QTest::keyClick(tree, Qt::Key_Asterisk);
    EXPECT_EQ(item->childCount(), 2);
    EXPECT_EQ(item->child(0)->childCount(), 0);
    EXPECT_EQ(AllItems(tree).size(), 2 + 80 + 2000 + 6 * 2);

    // A click on the expander of the chain's first group opens one level.
    QTreeWidgetItem* c0 = FindTreeItem("C0");
    tree->scrollToItem(c0);
    const QRect r = tree->visualItemRect(c0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(r.left() - tree->indentation() / 2, r.center().y()));
    EXPECT_TRUE(c0->isExpanded());
    ASSERT_EQ(c0->childCount(), 1);
    EXPECT_EQ(c0->child(0)->text(0), QStringLiteral("C1"));
    EXPECT_EQ(c0->child(0)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

// The mailing list's "Адресная книга": choosing the top of a chain of 100,000 groups, deeper
// than a recursive walk's stack, adds the contacts at its top and at its bottom.
TEST_F(AbkGuiTest, MailingListTakesTheContactsOfAVeryDeepChainOfGroups) {
    AddressBooks().MakeCurrent(AddBook("Цепь"));
    abk_test::AddGroupChain(*CurrentBook(), 100'000, "88123520809", "84951234567");
    std::vector<std::string> lines;
    CEditListDlg edit(lines, m_prompt);
    abk::PushDialogHook([](QDialog& d) {
        auto* view = Child<QTableView>(d, "entries");
        auto* model = static_cast<CEntryListModel*>(view->model());
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->Row(row).name == "G0") {
                view->selectRow(row);
            }
        }
        Child<QPushButton>(d, "choose")->click();
    });
    Child<QPushButton>(edit, "1006")->click();
    ASSERT_EQ(edit.List()->count(), 2);
    EXPECT_TRUE(edit.List()->item(0)->text().startsWith(QStringLiteral("88123520809")));
    EXPECT_TRUE(edit.List()->item(1)->text().startsWith(QStringLiteral("84951234567")));
}

// A UTF-8 file with one stray byte: read as Windows-1251 as before, the user is told, and
// choosing UTF-8 in the dialog reads the same file again, right.
TEST_F(AbkGuiTest, ImportOfDamagedUtf8OffersTheEncodingAndRereads) {
    AddressBooks().MakeCurrent(AddBook("Импорт"));
    Settings().DefaultAreaCode = "8812";
    const std::string file = m_root / "contacts.txt";
    testing_support::WriteFile(file, "88121111111;Фирма;Иван\xE9\r\n88122222222;Лютик;Пётр\r\n");
    MakePage();
    ASSERT_TRUE(WaitTree(1));

    m_prompt.SetNextFileName(file);
    m_prompt.SetNextAnswer(MsgAnswer::Ok);
    bool checked = false;
    abk::PushDialogHook([&](QDialog& dlg) {
        auto& d = static_cast<CImportDlg&>(dlg);
        auto* available = Child<QListWidget>(d, "availableFields");
        for (int i = 0; i < 3; ++i) { // number, company, person
            ClickRow(available, 0);
            QTest::mouseClick(Child<QPushButton>(d, "toInput"), Qt::LeftButton);
        }
        QTest::mouseClick(Child<QPushButton>(d, "loadFile"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !d.Reading(); }, 20000));
        const auto asked = m_prompt.Asked();
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back(), LoadString(kMsgImportEncodingUncertain));
        ASSERT_EQ(d.Rows().size(), 2u);
        EXPECT_NE(d.Rows()[1].company, "Лютик");

        auto* encoding = Child<QComboBox>(d, "encoding");
        encoding->setFocus();
        QTest::keyClick(encoding, Qt::Key_Down);
        EXPECT_EQ(encoding->currentText(), QStringLiteral("UTF-8"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !d.Reading(); }, 20000));
        ASSERT_EQ(d.Rows().size(), 2u);
        EXPECT_EQ(d.Rows()[1].company, "Лютик");
        EXPECT_EQ(Child<QTreeWidget>(d, "preview")->topLevelItem(1)->text(2),
                  QStringLiteral("Лютик"));
        EXPECT_EQ(m_prompt.Asked().size(), asked.size()); // no second warning
        QTest::mouseClick(Child<QPushButton>(d, "closeButton"), Qt::LeftButton);
        checked = true;
    });
    m_page->OnCommand(cmd::kImport);
    EXPECT_TRUE(checked);
    EXPECT_EQ(abk::PendingDialogHooks(), 0u);
}

// --- book files -------------------------------------------------------------------------

namespace {

std::string BookFile(const std::string& name) {
    return platform::JoinPath(AddressBookDir(), name);
}

// A book file as another program leaves it: "Офис" with one contact.
CAddrBook& PutOfficeBook(const std::string& name, std::unique_ptr<CAddrBook>& keep) {
    keep = std::make_unique<CAddrBook>("Офис");
    keep->AddEntry(std::make_unique<CContactEntry>("88121110000"));
    testing_support::WriteFile(BookFile(name), WriteBook(*keep));
    return *keep;
}

// The contact dialog of "Новая запись", filled and confirmed with a click.
void NewContactByHand(CAddrBookPage* page, const char* number) {
    abk::PushDialogHook([number](QDialog& d) {
        Child<QLineEdit>(d, "faxNumber")->setText(QString::fromLatin1(number));
        Child<QLineEdit>(d, "areaCode")->setText(QStringLiteral("812"));
        OkButton(d)->click();
    });
    page->OnCommand(cmd::kNewContact);
}

std::size_t ContactsOnDisk(const std::string& path) {
    std::string error;
    auto book = ReadBookFile(path, error);
    return book ? EntriesOf<CContactEntry>(*book, kEntryTypeContact).size() : 0;
}

bool WasAsked(CQtPrompt& prompt, const std::string& part) {
    const auto asked = prompt.Asked();
    return std::any_of(asked.begin(), asked.end(),
                       [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

} // namespace

// A background save that meets a full disk leaves the book unsaved: it is written once the
// disk has room, at the latest at exit.
TEST_F(AbkGuiTest, ABookWhoseSaveFailedIsWrittenOnceTheDiskHasRoom) {
    std::unique_ptr<CAddrBook> office;
    PutOfficeBook("Office.abk", office);
    AddressBooks().SetSaveDelay(std::chrono::milliseconds(20));
    AddressBooks().StartLoader();
    MakePage();
    ASSERT_TRUE(WaitTree(1));

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit full = {8, old.rlim_max};
    for (int i = 0; i < 5; ++i) {
        m_prompt.SetNextAnswer(MsgAnswer::Ok);
    }
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    NewContactByHand(m_page, "3520809");
    const bool told = QTest::qWaitFor([&] { return WasAsked(m_prompt, "File too large"); }, 20000);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    ASSERT_TRUE(told);
    EXPECT_EQ(ContactsOnDisk(BookFile("Office.abk")), 1u);

    delete m_page;
    m_page = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([] { return CThreadControl::Instance().busy.load() == 0; }, 20000));
    m_frame.StopGuiCalls();
    m_doc->OnCloseDocument();
    EXPECT_EQ(ContactsOnDisk(BookFile("Office.abk")), 2u);
}

// A book that could be read only in part takes no edit: the commands are off, and a key or a
// command that would change it says why.
TEST_F(AbkGuiTest, AReadOnlyBookRefusesEditsAndSaysWhy) {
    CAddrBook book("Клиенты");
    book.AddEntry(std::make_unique<CContactEntry>("88123520809"));
    const std::size_t secondRecord = WriteBook(book).size();
    book.AddEntry(std::make_unique<CContactEntry>("84951234567"));
    std::string bytes = WriteBook(book);
    bytes[secondRecord] = 9; // a record of a kind the reader does not know
    testing_support::WriteFile(BookFile("part.abk"), bytes);
    m_prompt.SetNextAnswer(MsgAnswer::Ok); // the loader's note
    AddressBooks().StartLoader();
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    ASSERT_TRUE(CurrentBook()->IsReadOnly());
    EXPECT_FALSE(Enabled(m_page, cmd::kNewContact));
    EXPECT_FALSE(Enabled(m_page, cmd::kNewGroup));
    EXPECT_FALSE(Enabled(m_page, cmd::kImport));

    const std::string why = CAddressBooks::WhyReadOnly(*CurrentBook());
    m_prompt.SetNextAnswer(MsgAnswer::Ok);
    m_page->OnCommand(cmd::kNewContact); // a menu item enabled a moment before
    EXPECT_EQ(abk::PendingDialogHooks(), 0u);
    QTableView* list = m_page->List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    m_page->SetListActive(true);
    m_prompt.SetNextAnswer(MsgAnswer::Ok);
    QTest::keyClick(list, Qt::Key_Delete);
    const auto asked = m_prompt.Asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), why), 2);
    EXPECT_EQ(CurrentBook()->Size(), 1u);
    EXPECT_EQ(m_page->List()->Model()->rowCount(), 1);
}

// A book is written to the file it was read from, over what velquin-tool added to that file
// meanwhile; a copy of it opened by hand is said to be one; a deleted book stays deleted.
TEST_F(AbkGuiTest, ABookIsWrittenWhereItWasReadKeepingWhatAToolAddedAndStaysDeleted) {
    std::unique_ptr<CAddrBook> office;
    const Guid guid = PutOfficeBook("Office.abk", office).m_guid;
    AddressBooks().StartLoader();
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    NewContactByHand(m_page, "3520809");
    ASSERT_EQ(CurrentBook()->Size(), 2u);

    const std::string text = m_root / "more.txt";
    testing_support::WriteFile(text, "84957770000;ООО Лютик\n");
    std::string out;
    ASSERT_EQ(testing_support::RunVelquinTool(
                  "import-abk --fields number,company " + text + " " + BookFile("Office.abk"), out),
              0)
        << out;
    ASSERT_EQ(ContactsOnDisk(BookFile("Office.abk")), 2u);
    SaveAndReload();
    EXPECT_EQ(ContactsOnDisk(BookFile("Office.abk")), 3u);
    EXPECT_FALSE(platform::PathExists(BookFile(office->FileName())));
    ASSERT_NE(FindBook(guid), nullptr);
    EXPECT_EQ(FindBook(guid)->Size(), 3u);

    MakePage();
    ASSERT_TRUE(WaitTree(1));
    const std::string copy = m_root / "Office-copy.abk";
    testing_support::WriteFile(copy, testing_support::ReadFileOrDie(BookFile("Office.abk")));
    m_prompt.SetNextFileName(copy);
    m_prompt.SetNextAnswer(MsgAnswer::Ok);
    m_page->OnCommand(cmd::kOpenBook);
    EXPECT_TRUE(WasAsked(m_prompt, copy));
    EXPECT_EQ(AddressBooks().size(), 1u);

    ClickTreeItem(m_page->Tree(), FindTreeItem("Офис"));
    m_page->SetListActive(false);
    m_prompt.SetNextAnswer(MsgAnswer::Yes);
    QTest::keyClick(m_page->Tree(), Qt::Key_Delete);
    EXPECT_EQ(FindBook(guid), nullptr);
    SaveAndReload();
    EXPECT_EQ(FindBook(guid), nullptr);
    EXPECT_FALSE(platform::PathExists(BookFile("Office.abk")));
}
