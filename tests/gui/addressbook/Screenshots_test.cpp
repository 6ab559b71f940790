// Renders the address-book page, the group dialog and the import dialog into PNG files when
// VELQUIN_SCREENSHOT_DIR names a directory (for the documentation); skipped otherwise.
#include "AbkGuiFixture.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/Import.h"
#include "gui/addressbook/EditDialogs.h"
#include "gui/addressbook/ImportDlg.h"
#include "gui/shell/Commands.h"

#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdlib>

using namespace abk_gui_test;

TEST_F(AbkGuiTest, Screenshots) {
    const char* dir = std::getenv("VELQUIN_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == 0) {
        GTEST_SKIP() << "VELQUIN_SCREENSHOT_DIR not set";
    }
    const QString out = QString::fromUtf8(dir);
    InitGuiResources();
    CAddrBook* book = AddBook("Мои Контакты");
    AddBook("Поставщики");
    CContactEntry* a = AddContact(book, "88123520809", "ООО Ромашка", "Иванов Иван");
    CContactEntry* b = AddContact(book, "84951234567", "ЗАО Вектор", "Петрова Анна");
    CContactEntry* c = AddContact(book, "81049301234567", "Berlin GmbH", "Hans Müller");
    AddContact(book, "88129998877", "ИП Сидоров", "Сидоров Пётр");
    CGroupEntry* moscow = AddGroup(book, "Москва", {b});
    CGroupEntry* clients = AddGroup(book, "Клиенты", {a, moscow, c});
    AddGroup(book, "Партнёры", {c});
    AddressBooks().MakeCurrent(book);
    MakePage();
    ASSERT_TRUE(WaitTree(1));
    ASSERT_TRUE(WaitList(1));
    m_page->resize(760, 320);
    m_page->setSizes({220, 540});
    QTest::qWait(50);
    EXPECT_TRUE(m_page->grab().save(out + QStringLiteral("/addressbook-page.png")));

    CGroupDlg group(book, *clients, m_prompt);
    group.show();
    QTest::qWait(50);
    EXPECT_TRUE(group.grab().save(out + QStringLiteral("/group-dialog.png")));
    group.reject();

    const std::string file = m_root / "import.txt";
    testing_support::WriteFile(file, "@Partners;88123520809;Firm;Иван\n"
                                     "+7 495 123 45 67;ООО Ромашка;Пётр\n"
                                     "88121112233;Вектор;Анна\n");
    CImportDlg import(m_prompt, m_frame, {}, {});
    import.show();
    for (int i = 0; i < 3; ++i) {
        import.findChild<QListWidget*>(QStringLiteral("availableFields"))->setCurrentRow(0);
        import.OnToInput();
    }
    m_prompt.SetNextFileName(file);
    import.OnLoadFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !import.Reading(); }, 20000));
    QTest::qWait(50);
    EXPECT_TRUE(import.grab().save(out + QStringLiteral("/import-dialog.png")));
    import.reject();
}
