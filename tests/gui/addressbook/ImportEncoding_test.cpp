// The import dialog on a UTF-8 file with one stray byte: read as Windows-1251 as before, the
// user is told, and choosing UTF-8 in the dialog reads the same file again, right.
#include "AbkGuiFixture.h"

#include "addressbook/Import.h"
#include "gui/addressbook/ImportDlg.h"
#include "gui/shell/Commands.h"
#include "resources/Strings.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

using namespace abk_gui_test;

namespace {

template <class T> T* Child(QObject& parent, const char* name) {
    T* w = parent.findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void Click(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->item(row)).center());
}

TEST_F(AbkGuiTest, ImportOfDamagedUtf8OffersTheEncodingAndRereads) {
    CurrentBook() = AddBook("Импорт");
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
            Click(available, 0);
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

} // namespace
