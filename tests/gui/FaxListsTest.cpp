#include "GuiTestSupport.h"

#include "app/Settings.h"
#include "gui/filters/FilterDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/SentFaxView.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "service/FormPost.h"
#include "store/FaxRecords.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using gui_test::CellText;
using gui_test::CGuiFixture;
using gui_test::ClickToolButton;
using gui_test::SentRow;
using gui_test::SentRowCount;
using gui_test::WaitFor;
using gui_test::WritePrintedDocument;

namespace {

QStringList Column(QTreeWidget* view, int column) {
    QStringList out;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        out << view->topLevelItem(i)->text(column);
    }
    return out;
}

void SelectRow(QTreeWidget* view, int row) {
    view->clearSelection();
    view->topLevelItem(row)->setSelected(true);
    view->setCurrentItem(view->topLevelItem(row));
}

// A sent single fax with its image and job file in SentFaxes.
void WriteSentFax(const std::string& sentDir, const std::string& stem, const std::string& title,
                  std::int32_t faxId, std::int64_t time, std::int32_t state = -1) {
    std::filesystem::create_directories(sentDir);
    CSingleFaxEntry e(title);
    e.m_time = time;
    e.m_faxId = faxId;
    e.m_status = state;
    e.m_recipient = "88125550101";
    e.m_path = sentDir + "/" + stem + ".tif";
    testing_support::WriteFile(e.m_path, "II*");
    testing_support::WriteFile(sentDir + "/" + stem + ".fax", StoreRecord(e));
}

// As root the permissions of a folder stop nobody: the deletes run with the effective user
// of nobody, the way an ordinary user meets a read-only folder.
class CReadOnlyFolders {
public:
    CReadOnlyFolders(const std::string& root, std::vector<std::string> dirs)
        : m_dirs(std::move(dirs)) {
        ::chmod(root.c_str(), 0755);
        for (const std::string& d : m_dirs) {
            ::chmod(platform::DirName(d).c_str(), 0755);
            ::chmod(d.c_str(), ::geteuid() == 0 ? 0755 : 0555);
        }
        if (::geteuid() == 0) {
            m_dropped = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
        }
    }
    ~CReadOnlyFolders() {
        if (m_dropped) {
            EXPECT_EQ(::seteuid(0), 0);
            EXPECT_EQ(::setegid(0), 0);
        }
        for (const std::string& d : m_dirs) {
            ::chmod(d.c_str(), 0755);
        }
    }

private:
    std::vector<std::string> m_dirs;
    bool m_dropped = false;
};

TEST(FaxListsTest, PrintedDocumentAppearsWhenAFileLandsInFaxDir) {
    CGuiFixture f;
    f.Start();
    CNewFaxView* view = f.Frame().NewFaxView();
    EXPECT_EQ(view->topLevelItemCount(), 0);
    EXPECT_EQ(view->headerItem()->text(0), QStringLiteral("Напечатанный документ"));
    EXPECT_EQ(view->headerItem()->text(1), QStringLiteral("Дата и время печати"));
    WritePrintedDocument(f.FaxDir(), "Doc0001", "Договор поставки");
    ASSERT_TRUE(WaitFor([&] { return view->topLevelItemCount() == 1; }));
    EXPECT_EQ(view->topLevelItem(0)->text(0), QStringLiteral("Договор поставки"));
    EXPECT_FALSE(view->topLevelItem(0)->text(1).isEmpty());

    // The next print lands while the first is selected: the folder is read again, and the
    // selection stays on the same document.
    gui_test::ClickItem(*view, view->topLevelItem(0));
    WritePrintedDocument(f.FaxDir(), "Doc0002", "Акт сверки");
    ASSERT_TRUE(WaitFor([&] { return view->topLevelItemCount() == 2; }));
    ASSERT_EQ(view->selectedItems().size(), 1);
    EXPECT_EQ(view->selectedItems().front()->text(0), QStringLiteral("Договор поставки"));
}

TEST(FaxListsTest, HeaderClicksSortByteWiseAndToggle) {
    CGuiFixture f;
    WritePrintedDocument(f.FaxDir(), "d1", "b");
    WritePrintedDocument(f.FaxDir(), "d2", "A");
    WritePrintedDocument(f.FaxDir(), "d3", "a");
    WritePrintedDocument(f.FaxDir(), "d4", "Б");
    f.Start();
    CNewFaxView* view = f.Frame().NewFaxView();
    ASSERT_EQ(view->topLevelItemCount(), 4);
    // Documents arrive oldest first; with no sort column that order stays.
    const QStringList loaded = Column(view, 0);
    EXPECT_EQ(view->SortState().column, -1);

    view->SortByColumn(0);
    EXPECT_EQ(Column(view, 0), (QStringList{"A", "a", "b", QStringLiteral("Б")}));
    EXPECT_EQ(view->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    view->SortByColumn(0);
    EXPECT_EQ(Column(view, 0), (QStringList{QStringLiteral("Б"), "b", "a", "A"}));
    EXPECT_EQ(view->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // Another column starts ascending again.
    view->SortByColumn(1);
    EXPECT_EQ(view->SortState().direction, CDocSortState::kAscending);
    EXPECT_EQ(view->header()->sortIndicatorSection(), 1);

    // A rebuild keeps the remembered order.
    view->SortByColumn(0);
    f.Doc().Printed().Load();
    EXPECT_EQ(Column(view, 0), (QStringList{"A", "a", "b", QStringLiteral("Б")}));
    (void)loaded;
}

TEST(FaxListsTest, MoveUpAndDownStopAtTheEnds) {
    CGuiFixture f;
    WritePrintedDocument(f.FaxDir(), "d1", "one");
    WritePrintedDocument(f.FaxDir(), "d2", "two");
    WritePrintedDocument(f.FaxDir(), "d3", "three");
    f.Start();
    CMainFrame& frame = f.Frame();
    CNewFaxView* view = frame.NewFaxView();
    view->SortByColumn(0); // one, three, two
    const QStringList start = Column(view, 0);
    ASSERT_EQ(start, (QStringList{"one", "three", "two"}));

    SelectRow(view, 0);
    frame.OnCommand(cmd::kMoveUp);
    EXPECT_EQ(Column(view, 0), start);
    frame.OnCommand(cmd::kMoveDown);
    EXPECT_EQ(Column(view, 0), (QStringList{"three", "one", "two"}));
    ASSERT_EQ(view->SelectedDocuments().size(), 1u);
    EXPECT_EQ(view->SelectedDocuments().front()->m_title, "one");
    // From the keyboard: Ctrl+Down, and again at the end, where it stays.
    QTest::keyClick(view, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Column(view, 0), (QStringList{"three", "two", "one"}));
    EXPECT_EQ(view->currentItem(), view->topLevelItem(2));
    QTest::keyClick(view, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Column(view, 0), (QStringList{"three", "one", "two"}));
}

TEST(FaxListsTest, DeleteAsksWhenConfirmationIsOn) {
    CGuiFixture f;
    const std::string image = WritePrintedDocument(f.FaxDir(), "d1", "Счёт 15");
    f.Start();
    CMainFrame& frame = f.Frame();
    CNewFaxView* view = frame.NewFaxView();
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_FALSE(frame.Action(cmd::kDelete)->isEnabled());
    SelectRow(view, 0);
    EXPECT_TRUE(frame.Action(cmd::kDelete)->isEnabled());

    Settings().ConfirmDeleteItem = true;
    f.Prompt().SetNextAnswer(MsgAnswer::No);
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(f.Prompt().Asked().size(), 1u);
    EXPECT_EQ(f.Prompt().Asked().back(), "Вы уверены, что хотите удалить элемент?");
    EXPECT_EQ(view->topLevelItemCount(), 1);
    EXPECT_TRUE(platform::PathExists(image));

    f.Prompt().SetNextAnswer(MsgAnswer::Yes);
    frame.OnCommand(cmd::kDelete);
    EXPECT_EQ(view->topLevelItemCount(), 0);
    EXPECT_FALSE(platform::PathExists(image));

    // Without the setting nothing is asked.
    WritePrintedDocument(f.FaxDir(), "d2", "Акт");
    ASSERT_TRUE(WaitFor([&] { return view->topLevelItemCount() == 1; }));
    Settings().ConfirmDeleteItem = false;
    SelectRow(view, 0);
    frame.OnCommand(cmd::kDelete);
    EXPECT_EQ(view->topLevelItemCount(), 0);
    EXPECT_EQ(f.Prompt().Asked().size(), 2u);
}

TEST(FaxListsTest, SaveDocumentAndCopyBackToNewFaxes) {
    // Printed while the program was closed: only the finished print's status file tells the
    // title, and the window shows it at start.
    CGuiFixture f;
    testing_support::WriteFile(f.FaxDir() + "/d1.tif", "II*");
    // Saved earlier under the same stem: a PDF and its title.
    const std::string savedDir = f.DataDir() + "/SavedFiles";
    std::filesystem::create_directories(savedDir);
    testing_support::WriteFile(savedDir + "/d1.pdf", "%PDF-1.4");
    const std::string savedTag = platform::Utf8ToCp1251("Старый договор");
    testing_support::WriteFile(savedDir + "/d1.tag", savedTag);
    testing_support::WriteFile(f.FaxDir() + "/d1.grp",
                               "[TW Ostrevo]\r\nPrint status=Printing finished successfully\r\n"
                               "Document name=\"" +
                                   platform::Utf8ToCp1251("Прайс-лист") + "\"\r\n");
    f.Start();
    CMainFrame& frame = f.Frame();
    CNewFaxView* printed = frame.NewFaxView();
    ASSERT_EQ(printed->topLevelItemCount(), 1);
    EXPECT_EQ(printed->topLevelItem(0)->text(0), QStringLiteral("Прайс-лист"));
    gui_test::ClickItem(*printed, printed->topLevelItem(0));
    ClickToolButton(frame, 0, cmd::kSaveDocument);
    // The saved PDF keeps its title; the copy takes a stem of its own, twice.
    CSavedDocView* saved = frame.SavedDocView();
    ClickToolButton(frame, 0, cmd::kSaveDocument);
    QStringList titles = Column(saved, 0);
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Прайс-лист"), QStringLiteral("Прайс-лист"),
                                   QStringLiteral("Старый договор")}));
    EXPECT_EQ(testing_support::ReadFileOrDie(savedDir + "/d1.tag"), savedTag);
    EXPECT_EQ(testing_support::ReadFileOrDie(savedDir + "/d1_3.tif"), "II*");

    // The copy back to new faxes meets the printed document of the same stem, still
    // waiting: that one keeps its image and title, the copy gets a name of its own.
    const std::string waitingTag = testing_support::ReadFileOrDie(f.FaxDir() + "/d1.tag");
    frame.SelectPage(2);
    QTreeWidgetItem* sameName = nullptr;
    for (int i = 0; i < saved->topLevelItemCount(); ++i) {
        if (saved->topLevelItem(i)->toolTip(0).endsWith(QStringLiteral("/d1.pdf"))) {
            sameName = saved->topLevelItem(i);
        }
    }
    gui_test::ClickItem(*saved, sameName);
    ClickToolButton(frame, 2, cmd::kAddToNewFax);
    EXPECT_TRUE(WaitFor([&] {
        const QStringList titles = Column(printed, 0);
        return titles.size() == 2 && titles.contains(QStringLiteral("FW: Старый договор")) &&
               titles.contains(QStringLiteral("Прайс-лист"));
    })) << Column(printed, 0).join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(testing_support::ReadFileOrDie(f.FaxDir() + "/d1.tag"), waitingTag);
    EXPECT_EQ(testing_support::ReadFileOrDie(f.FaxDir() + "/d1.tif"), "II*");
}

TEST(FaxListsTest, AddedPdfBesideAWaitingTiffKeepsBothTitlesAndOpensOnTheDesktop) {
    CGuiFixture f;
    const std::string tif = WritePrintedDocument(f.FaxDir(), "report", "Отчёт за май");
    f.Start();
    CMainFrame& frame = f.Frame();
    CNewFaxView* view = frame.NewFaxView();
    ASSERT_EQ(view->topLevelItemCount(), 1);
    const std::string pdf = f.Dir() / "report.pdf";
    testing_support::WriteFile(pdf, "%PDF-1.4");
    f.Prompt().SetNextFileName(pdf);
    frame.Action(cmd::kNewDocument)->trigger();
    ASSERT_TRUE(WaitFor([&] { return view->topLevelItemCount() == 2; }));
    QStringList titles = Column(view, 0);
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Загружено вручную: (report_2.pdf)"),
                                   QStringLiteral("Отчёт за май")}));

    // The PDF is no fax image: opening it starts the desktop's program, even with the own
    // viewer chosen.
    const std::string opener = f.Dir() / "opener";
    testing_support::WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.out.tmp\"\n"
                                       "mv \"$0.out.tmp\" \"$0.out\"\n");
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    ::setenv("VELQUIN_OPENER", opener.c_str(), 1);
    Settings().UseOwnViewer = true;
    Settings().ProgDir = f.Dir() / "noviewer";
    QTreeWidgetItem* row =
        view->findItems(QStringLiteral("Загружено вручную: (report_2.pdf)"), Qt::MatchExactly)
            .value(0);
    ASSERT_NE(row, nullptr);
    gui_test::ClickItem(*view, row);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                       view->visualItemRect(row).center());
    EXPECT_TRUE(WaitFor([&] { return platform::PathExists(opener + ".out"); }));
    EXPECT_EQ(testing_support::ReadFileOrDie(opener + ".out"), f.FaxDir() + "/report_2.pdf");
    // An opener that starts and then finds no program for the file is told, not silent.
    const std::string failing = f.Dir() / "failing-opener";
    testing_support::WriteFile(failing, "#!/bin/sh\nexit 3\n");
    ASSERT_EQ(::chmod(failing.c_str(), 0755), 0);
    ::setenv("VELQUIN_OPENER", failing.c_str(), 1);
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    const std::size_t asked = f.Prompt().Asked().size();
    row = view->findItems(QStringLiteral("Загружено вручную: (report_2.pdf)"), Qt::MatchExactly)
              .value(0);
    ASSERT_NE(row, nullptr);
    gui_test::ClickItem(*view, row);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return f.Prompt().Asked().size() > asked; }));
    EXPECT_NE(f.Prompt().Asked().back().find("report_2.pdf: " + failing +
                                             " закончилась с ошибкой (код 3)"),
              std::string::npos)
        << f.Prompt().Asked().back();
    ::unsetenv("VELQUIN_OPENER");
    EXPECT_EQ(testing_support::ReadFileOrDie(f.FaxDir() + "/report.tag"),
              platform::Utf8ToCp1251("Отчёт за май"));
    (void)tif;
}

// An environment variable replaced for the life of the object (unset when `value` is null).
class CEnvOverride {
public:
    CEnvOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~CEnvOverride() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(FaxListsTest, ViewCommandsUseTheChosenViewerAndSayWhatCouldNotBeOpened) {
    CGuiFixture f;
    const std::string image = WritePrintedDocument(f.FaxDir(), "report", "Отчёт");
    WriteSentFax(f.SentDir(), "s1", "Письмо", 1000000001, CurrentTime() - 60, 2);
    const std::string prog = f.Dir() / "prog";
    std::filesystem::create_directories(prog + "/Help");
    testing_support::WriteFile(prog + "/Help/TWVelquin.MHT", "MIME-Version: 1.0\r\n");
    // The own viewer records what it was given; it finds its tools itself, as PATH names an
    // empty folder: no desktop opener anywhere.
    testing_support::WriteFile(
        prog + "/TWTiffView",
        "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s|' \"$@\" > \"$0.out.tmp\"\n"
        "mv \"$0.out.tmp\" \"$0.out\"\n");
    ASSERT_EQ(::chmod((prog + "/TWTiffView").c_str(), 0755), 0);
    std::filesystem::create_directories(f.Dir() / "empty-bin");
    const CEnvOverride path("PATH", (f.Dir() / "empty-bin").c_str());
    const CEnvOverride opener("VELQUIN_OPENER", nullptr);
    f.Start();
    CMainFrame& frame = f.Frame();
    Settings().ProgDir = prog;
    Settings().UseOwnViewer = true;
    CNewFaxView* view = frame.NewFaxView();
    ASSERT_EQ(view->topLevelItemCount(), 1);
    QTreeWidgetItem* row = view->topLevelItem(0);

    // The toolbar's view command shows the fax image in the own viewer, as a double-click does.
    gui_test::ClickItem(*view, row);
    ClickToolButton(frame, 0, cmd::kViewReadyFax);
    ASSERT_TRUE(WaitFor([&] { return platform::PathExists(prog + "/TWTiffView.out"); }));
    EXPECT_EQ(testing_support::ReadFileOrDie(prog + "/TWTiffView.out"),
              "--title|Отчёт|" + image + "|");
    EXPECT_TRUE(f.Prompt().Asked().empty());

    // Each failure names what could not be opened and the program that did not start.
    std::filesystem::remove(prog + "/TWTiffView");
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    ClickToolButton(frame, 0, cmd::kViewReadyFax);
    Settings().UseOwnViewer = false;
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                       view->visualItemRect(row).center());
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    ClickToolButton(frame, 0, cmd::kUserGuide);
    frame.SelectPage(1);
    CReceivedFaxTreeView* sent = frame.SentView();
    gui_test::ClickItem(*sent, SentRow(*sent, 0));
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    ClickToolButton(frame, 1, cmd::kDeliveryReport);
    // A sent fax whose image has gone.
    std::filesystem::remove(f.SentDir() + "/s1.tif");
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    ClickToolButton(frame, 1, cmd::kViewFax);

    const std::string noOpener =
        ": не запускается программа xdg-open, которой рабочий стол открывает файлы и адреса "
        "(её даёт пакет xdg-utils).";
    EXPECT_EQ(f.Prompt().Asked(),
              (std::vector<std::string>{
                  "Не удалось открыть " + image + ": не запускается программа просмотра " + prog +
                      "/TWTiffView.",
                  "Не удалось открыть " + image + noOpener,
                  "Не удалось открыть " + prog + "/Help/TWVelquin.MHT" + noOpener,
                  // The report's address carries the account: it is not shown.
                  "Не удалось открыть отчёт о доставке" + noOpener,
                  "Не удалось найти файл " + f.SentDir() + "/s1.tif.",
              }));
}

TEST(FaxListsTest, ReadOnlyFoldersKeepEverythingAndNameTheFile) {
    CGuiFixture f;
    WriteSentFax(f.SentDir(), "s1", "Письмо", 1000000001, CurrentTime() - 60, 2);
    const std::string image = WritePrintedDocument(f.FaxDir(), "d1", "Счёт 15");
    const std::string pdf = f.Dir() / "Акт.pdf";
    testing_support::WriteFile(pdf, "%PDF-1.4");
    f.Start();
    CMainFrame& frame = f.Frame();
    Settings().ConfirmDeleteItem = false;
    CReceivedFaxTreeView* sent = frame.SentView();
    CNewFaxView* printed = frame.NewFaxView();
    ASSERT_EQ(SentRowCount(*sent), 1);
    ASSERT_EQ(printed->topLevelItemCount(), 1);
    {
        CReadOnlyFolders readOnly(f.Dir().Path(), {f.SentDir(), f.FaxDir()});
        frame.SelectPage(1);
        gui_test::ClickItem(*sent, SentRow(*sent, 0));
        f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        QTest::keyClick(sent, Qt::Key_Delete);
        frame.SelectPage(0);
        gui_test::ClickItem(*printed, printed->topLevelItem(0));
        f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        QTest::keyClick(printed, Qt::Key_Delete);
        // "Загрузить новый документ" into the read-only FaxDir.
        f.Prompt().SetNextFileName(pdf);
        f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        ClickToolButton(frame, 0, cmd::kNewDocument);
    }
    const std::vector<std::string> asked = f.Prompt().Asked();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_NE(asked[0].find(f.SentDir() + "/s1.tif"), std::string::npos) << asked[0];
    EXPECT_NE(asked[1].find(image), std::string::npos) << asked[1];
    EXPECT_EQ(asked[2], "Не удалось добавить " + pdf + " к новым факсам:\nНет доступа к файлу " +
                            f.FaxDir() + "/Акт.pdf.");
    EXPECT_EQ(SentRowCount(*sent), 1);
    EXPECT_EQ(f.Doc().SentRecords().size(), 1u);
    EXPECT_EQ(printed->topLevelItemCount(), 1);
    EXPECT_TRUE(platform::PathExists(f.SentDir() + "/s1.fax"));
    EXPECT_TRUE(platform::PathExists(image));

    // Writable again, the same keys delete.
    frame.SelectPage(1);
    gui_test::ClickItem(*sent, SentRow(*sent, 0));
    QTest::keyClick(sent, Qt::Key_Delete);
    EXPECT_EQ(SentRowCount(*sent), 0);
    EXPECT_FALSE(platform::PathExists(f.SentDir() + "/s1.fax"));
    EXPECT_EQ(f.Prompt().Asked().size(), 3u);
}

TEST(FaxListsTest, SentTreeRootStatesAndRecipientRows) {
    CGuiFixture f;
    const std::int64_t now = CurrentTime();
    WriteSentFax(f.SentDir(), "s1", "Письмо", 1000000001, now - 60, 2);
    {
        CGroupFaxEntry list("Рассылка");
        list.m_time = now;
        list.m_listId = 2000000001;
        list.m_status = 4;
        CFaxEntry a, b;
        a.m_recipient = "88125550101";
        a.m_recipientLabel = "ООО Ромашка";
        a.m_status = 2;
        b.m_recipient = "88125550102";
        b.m_status = 3;
        list.m_recipients = {a, b};
        list.m_path = f.SentDir() + "/l1.tif";
        testing_support::WriteFile(list.m_path, "II*");
        testing_support::WriteFile(f.SentDir() + "/l1.fax", StoreRecord(list));
    }
    f.Start();
    CReceivedFaxTreeView* view = f.Frame().SentView();
    EXPECT_EQ(CellText(view->Root()), QStringLiteral("Все факсы"));
    ASSERT_EQ(SentRowCount(*view), 2);
    EXPECT_EQ(CellText(SentRow(*view, 0), 0), QStringLiteral("Письмо"));
    EXPECT_EQ(CellText(SentRow(*view, 0), 1), QStringLiteral("Доставлен успешно"));
    const QModelIndex list = SentRow(*view, 1);
    EXPECT_EQ(CellText(list, 1), QStringLiteral("В очереди на отправку"));
    ASSERT_EQ(SentRowCount(*view, list), 2);
    EXPECT_EQ(CellText(SentRow(*view, 0, list)), QStringLiteral("88125550101  ООО Ромашка"));
    EXPECT_EQ(CellText(SentRow(*view, 0, list), 1), QStringLiteral("Доставлен успешно"));
    EXPECT_EQ(CellText(SentRow(*view, 1, list), 1), QStringLiteral("Не доставлен"));
    // Only the root is selected at first: the entry commands are off.
    EXPECT_TRUE(view->SelectedEntries().empty());
    EXPECT_FALSE(f.Frame().Action(cmd::kViewFax)->isEnabled());

    // Delete with confirmation removes the entry and its files.
    f.Frame().SelectPage(1);
    gui_test::ClickItem(*view, SentRow(*view, 0));
    EXPECT_TRUE(f.Frame().Action(cmd::kDeliveryReport)->isEnabled());
    Settings().ConfirmDeleteItem = true;
    f.Prompt().SetNextAnswer(MsgAnswer::Yes);
    f.Frame().OnCommand(cmd::kDelete);
    EXPECT_EQ(SentRowCount(*view), 1);
    EXPECT_FALSE(platform::PathExists(f.SentDir() + "/s1.tif"));
    EXPECT_EQ(f.Doc().SentRecords().size(), 1u);
    // The next entry is selected: Delete goes on deleting.
    EXPECT_EQ(view->SelectedEntries().size(), 1u);
    Settings().ConfirmDeleteItem = false;
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(SentRowCount(*view), 0);
    EXPECT_TRUE(f.Doc().SentRecords().empty());
}

TEST(FaxListsTest, ADeletedFaxWhoseJobFileNamesAFileElsewhereStaysDeleted) {
    // A job file brought from another store still names its image there, under the file name
    // another fax of this store has.
    CGuiFixture f;
    WriteSentFax(f.SentDir(), "report", "Свой", 1000000001, CurrentTime() - 60, 2);
    const std::string outside = f.Dir() / "report.tif";
    testing_support::WriteFile(outside, "elsewhere");
    CSingleFaxEntry brought("Перенесённый");
    brought.m_faxId = 1000000002;
    brought.m_path = outside;
    testing_support::WriteFile(f.SentDir() + "/doc5F3A0001.tif", "II*");
    testing_support::WriteFile(f.SentDir() + "/doc5F3A0001.fax", StoreRecord(brought));
    f.Start();
    Settings().ConfirmDeleteItem = false;
    f.Frame().SelectPage(1);
    CReceivedFaxTreeView* sent = f.Frame().SentView();
    ASSERT_EQ(SentRowCount(*sent), 2);
    const int row = CellText(SentRow(*sent, 0)) == QStringLiteral("Перенесённый") ? 0 : 1;
    gui_test::ClickItem(*sent, SentRow(*sent, row));
    QTest::keyClick(sent, Qt::Key_Delete);
    ASSERT_EQ(SentRowCount(*sent), 1);

    // Its own files went; the file elsewhere and the other fax stay, after a restart too.
    f.Stop();
    EXPECT_EQ(testing_support::ReadFileOrDie(outside), "elsewhere");
    std::vector<std::string> left;
    for (const platform::DirEntry& e : platform::ListDir(f.SentDir())) {
        left.push_back(e.name);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"report.fax", "report.tif"}));
    f.Start();
    sent = f.Frame().SentView();
    ASSERT_EQ(SentRowCount(*sent), 1);
    EXPECT_EQ(CellText(SentRow(*sent, 0)).toStdString(), "Свой");
}

TEST(FaxListsTest, PersonalisedListShowsMessageInsteadOfAnImage) {
    CGuiFixture f;
    {
        CPersonalFaxEntry p("Персональная");
        p.m_listId = 5;
        p.m_path = f.SentDir() + "/p1.tif";
        std::filesystem::create_directories(f.SentDir());
        testing_support::WriteFile(p.m_path, "II*");
        testing_support::WriteFile(f.SentDir() + "/p1.fax", StoreRecord(p));
    }
    f.Start();
    CReceivedFaxTreeView* view = f.Frame().SentView();
    f.Frame().SelectPage(1);
    ASSERT_EQ(SentRowCount(*view), 1);
    gui_test::ClickItem(*view, SentRow(*view, 0));
    EXPECT_FALSE(f.Frame().Action(cmd::kAddToNewFax)->isEnabled());
    ::setenv("VELQUIN_OPENER", "/bin/false", 1);
    f.Prompt().SetNextAnswer(MsgAnswer::Ok);
    f.Frame().OnCommand(cmd::kViewFax);
    ASSERT_EQ(f.Prompt().Asked().size(), 1u);
    EXPECT_EQ(f.Prompt().Asked().front().rfind("Данная рассылка является персонифицированной", 0),
              0u);
}

TEST(FaxListsTest, FilterHidesOldEntriesAndMarksTheCommand) {
    CGuiFixture f;
    const std::int64_t now = CurrentTime();
    WriteSentFax(f.SentDir(), "old", "Старый", 11, now - 30 * 86400);
    WriteSentFax(f.SentDir(), "new", "Новый", 12, now);
    f.Start();
    CMainFrame& frame = f.Frame();
    CReceivedFaxTreeView* view = frame.SentView();
    ASSERT_EQ(SentRowCount(*view), 2);
    frame.SelectPage(1);
    EXPECT_FALSE(frame.Action(cmd::kFilter)->isChecked());

    // The filter dialog: last 5 days.
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<CFilterDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_TRUE(dlg->findChild<QRadioButton*>(QStringLiteral("filterAll"))->isChecked());
        EXPECT_EQ(dlg->findChild<QSpinBox*>(QStringLiteral("filterDays"))->value(), 5);
        dlg->findChild<QRadioButton*>(QStringLiteral("filterLastDays"))->setChecked(true);
        dlg->accept();
    });
    frame.OnCommand(cmd::kFilter);
    ASSERT_EQ(SentRowCount(*view), 1);
    EXPECT_EQ(CellText(SentRow(*view, 0), 0), QStringLiteral("Новый"));
    EXPECT_EQ(CellText(view->Root()), QStringLiteral("Все факсы (фильтр скрывает факсов: 1)"));
    EXPECT_TRUE(frame.Action(cmd::kFilter)->isChecked());
    EXPECT_EQ(Settings().SentFilterType, 1);
    EXPECT_EQ(Settings().SentFilterData, 5);
    EXPECT_EQ(Settings().RcvdFilterType, 0);

    // Cancel changes nothing.
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<CFilterDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        dlg->findChild<QRadioButton*>(QStringLiteral("filterAll"))->setChecked(true);
        dlg->reject();
    });
    frame.OnCommand(cmd::kFilter);
    EXPECT_EQ(SentRowCount(*view), 1);
    EXPECT_EQ(Settings().SentFilterType, 1);
}

TEST(FaxListsTest, TheDeliveryReportReachesTheBrowserThroughAPrivatePage) {
    CGuiFixture f;
    f.password = "secret";
    WriteSentFax(f.SentDir(), "s1", "Письмо", 1000000001, CurrentTime() - 60, 2);
    // The opener records its command line and the page it was given.
    const std::string opener = f.Dir() / "opener";
    testing_support::WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$*\" > \"$0.args\"\n"
                                       "cat \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.page\"\n");
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    const CEnvOverride openerEnv("VELQUIN_OPENER", opener.c_str());
    f.Start();
    // Pages of earlier reports: one read long ago, one just written.
    int err = 0;
    const std::string runtime = platform::PrivateRuntimeDir(err);
    ASSERT_EQ(err, 0);
    testing_support::WriteFile(runtime + "/report-Old123.html", "old");
    testing_support::WriteFile(runtime + "/report-New123.html", "new");
    const timespec twoHoursAgo[2] = {{std::time(nullptr) - 7200, 0},
                                     {std::time(nullptr) - 7200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (runtime + "/report-Old123.html").c_str(), twoHoursAgo, 0), 0);

    CMainFrame& frame = f.Frame();
    frame.SelectPage(1);
    CReceivedFaxTreeView* sent = frame.SentView();
    gui_test::ClickItem(*sent, SentRow(*sent, 0));
    ClickToolButton(frame, 1, cmd::kDeliveryReport);
    ASSERT_TRUE(WaitFor([&] { return platform::PathExists(opener + ".page"); }));

    // Every user sees command lines: the digest is not on it, only a page of the user's own.
    const std::string digest = PasswordDigest("secret");
    const std::string args = testing_support::ReadFileOrDie(opener + ".args");
    EXPECT_EQ(args.find(digest), std::string::npos) << args;
    EXPECT_EQ(args.rfind(runtime + "/report-", 0), 0u) << args;
    struct stat st;
    ASSERT_EQ(::stat(args.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string page = testing_support::ReadFileOrDie(opener + ".page");
    const std::string address = "/api/__gate.php?username=demo&amp;password=" + digest;
    EXPECT_NE(page.find("<meta http-equiv=\"refresh\" content=\"0; url=http://127.0.0.1:9" +
                        address + "\">"),
              std::string::npos)
        << page;
    EXPECT_FALSE(platform::PathExists(runtime + "/report-Old123.html"));
    EXPECT_TRUE(platform::PathExists(runtime + "/report-New123.html"));
}

} // namespace

TEST(FaxListsTest, SearchFieldFiltersAsOneTypesAndHeaderClicksSort) {
    CGuiFixture f;
    const std::int64_t now = CurrentTime();
    WriteSentFax(f.SentDir(), "s1", "Договор", 1000000001, now - 30, 2);
    WriteSentFax(f.SentDir(), "s2", "Акт сверки", 1000000002, now - 90, 3);
    {
        CGroupFaxEntry list("Ёлочные игрушки");
        list.m_time = now - 60;
        list.m_listId = 2000000001;
        list.m_status = 2;
        CFaxEntry a;
        a.m_recipient = "84951234567";
        a.m_recipientLabel = "ООО Ромашка";
        a.m_status = 3;
        list.m_recipients = {a};
        list.m_path = f.SentDir() + "/l1.tif";
        testing_support::WriteFile(list.m_path, "II*");
        testing_support::WriteFile(f.SentDir() + "/l1.fax", StoreRecord(list));
    }
    f.Start();
    CReceivedFaxTreeView& view = *f.Frame().SentView();
    auto titles = [&] {
        QStringList out;
        for (int r = 0; r < SentRowCount(view); ++r) {
            out << CellText(SentRow(view, r)).section(QLatin1Char(' '), 0, 0);
        }
        return out;
    };
    ASSERT_EQ(titles(), (QStringList{"Акт", "Ёлочные", "Договор"}));
    f.Frame().SelectPage(1);
    gui_test::ClickItem(view, SentRow(view, 2));

    // Ctrl+F from another page reaches the field on the sent faxes' toolbar.
    f.Frame().SelectPage(0);
    QTest::keyClick(&f.Frame(), Qt::Key_F, Qt::ControlModifier);
    auto* search = f.Frame().findChild<QLineEdit*>(QStringLiteral("sentSearch"));
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(QApplication::focusWidget() == search);
    // A job id; the selected fax stays selected while it matches. A recipient's contact in
    // any case, "е" for "ё", a state's words.
    gui_test::TypeText(search, QStringLiteral("1000000001"));
    EXPECT_EQ(titles(), QStringList{"Договор"});
    EXPECT_EQ(view.SelectedEntries().size(), 1u);
    search->clear();
    gui_test::TypeText(search, QStringLiteral("РОМАШ"));
    EXPECT_EQ(titles(), QStringList{"Ёлочные"});
    search->clear();
    gui_test::TypeText(search, QStringLiteral("елочн"));
    EXPECT_EQ(titles(), QStringList{"Ёлочные"});
    search->clear();
    gui_test::TypeText(search, QStringLiteral("не дост"));
    EXPECT_EQ(titles(), (QStringList{"Акт", "Ёлочные"}));
    QTest::keyClick(search, Qt::Key_Backspace);
    gui_test::TypeText(search, QStringLiteral("zzz"));
    EXPECT_EQ(SentRowCount(view), 0);
    search->clear();
    EXPECT_EQ(titles(), (QStringList{"Акт", "Ёлочные", "Договор"}));

    // The title column, "Ё" among "Е": up, down, then the list's own order again.
    QHeaderView* header = view.header();
    const QPoint titleColumn(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, titleColumn);
    EXPECT_EQ(titles(), (QStringList{"Акт", "Договор", "Ёлочные"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, titleColumn);
    EXPECT_EQ(titles(), (QStringList{"Ёлочные", "Договор", "Акт"}));
    // A search keeps the order; a fax sent meanwhile takes its place in it.
    gui_test::TypeText(search, QStringLiteral("8812"));
    EXPECT_EQ(titles(), (QStringList{"Договор", "Акт"}));
    WriteSentFax(f.SentDir(), "s3", "Новое", 1000000003, now, 4);
    f.Doc().SentFaxes().AddWritten(f.SentDir() + "/s3.fax",
                                   testing_support::ReadFileOrDie(f.SentDir() + "/s3.fax"));
    EXPECT_EQ(titles(), (QStringList{"Новое", "Договор", "Акт"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, titleColumn);
    EXPECT_EQ(titles(), (QStringList{"Акт", "Договор", "Новое"}));
}
