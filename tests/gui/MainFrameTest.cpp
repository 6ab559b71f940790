#include "GuiTestSupport.h"

#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/Profile.h"
#include "gui/shell/SentFaxView.h"

#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QWidgetAction>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using gui_test::CGuiFixture;
using gui_test::WaitFor;

namespace {

// The command ids of a toolbar, 0 for a separator.
QList<int> ToolbarIds(QToolBar* tb) {
    QList<int> ids;
    for (QAction* a : tb->actions()) {
        if (qobject_cast<QWidgetAction*>(a) != nullptr) {
            continue; // the search field, not a command
        }
        ids << (a->isSeparator() ? 0 : a->data().toInt());
    }
    return ids;
}

QList<int> MenuIds(QMenu* menu) {
    QList<int> ids;
    for (QAction* a : menu->actions()) {
        ids << (a->isSeparator() ? 0 : a->data().toInt());
    }
    return ids;
}

TEST(MainFrameTest, PagesBringTheirToolbarMenuAndTitle) {
    CGuiFixture f;
    f.Start();
    CMainFrame& frame = f.Frame();
    EXPECT_EQ(frame.CurrentPage(), 0);
    EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("Новые Факсы")));
    EXPECT_EQ(ToolbarIds(frame.PageToolBar(0)),
              (QList<int>{32778, 0, 32809, 0, 32819, 0, 32804, 0, 32822, 32823, 32811, 0, 32791}));
    EXPECT_EQ(ToolbarIds(frame.PageToolBar(1)),
              (QList<int>{32778, 0, 32855, 32784, 32844, 0, 32850, 32787, 0, 32791}));
    EXPECT_EQ(ToolbarIds(frame.PageToolBar(2)), (QList<int>{32778, 0, 32855, 32784, 0, 32791}));
    EXPECT_EQ(ToolbarIds(frame.PageToolBar(3)),
              (QList<int>{32771, 32773, 32782, 32778, 0, 32776, 0, 32777, 32779, 32780, 0, 32791}));

    ASSERT_TRUE(frame.SelectPage(1));
    EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("Отправленные Факсы")));
    EXPECT_TRUE(frame.PageToolBar(1)->isVisible());
    EXPECT_FALSE(frame.PageToolBar(0)->isVisible());
    EXPECT_EQ(frame.OperationsMenu()->title(), QStringLiteral("&Операции"));
    EXPECT_TRUE(MenuIds(frame.OperationsMenu()).contains(32850));
    EXPECT_FALSE(MenuIds(frame.OperationsMenu()).contains(32822));
    // The tooltip is the command text after the line break.
    EXPECT_EQ(frame.Action(32822)->toolTip(), QStringLiteral("Отправить факс"));
    EXPECT_TRUE(frame.Action(32844)->isVisible());
    EXPECT_FALSE(frame.Action(32844)->isEnabled()); // shown, never enabled
    EXPECT_TRUE(frame.Action(32787)->isEnabled());
    EXPECT_EQ(frame.Action(32787)->shortcut(), QKeySequence(Qt::Key_F5));

    // Pages that do not exist change nothing.
    EXPECT_FALSE(frame.SelectPage(4));
    EXPECT_FALSE(frame.SelectPage(-1));
    EXPECT_EQ(frame.CurrentPage(), 1);
    EXPECT_TRUE(frame.PageToolBar(1)->isVisible());

    // A press on the navigator's item chooses the page.
    QListWidget* nav = frame.findChild<QListWidget*>(QStringLiteral("navigatorList"));
    ASSERT_NE(nav, nullptr);
    QRect r = nav->visualItemRect(nav->item(2));
    QTest::mousePress(nav->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(nav->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(frame.CurrentPage(), 2);
    EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("Сохранённые Документы")));
    EXPECT_TRUE(MenuIds(frame.OperationsMenu()).contains(32855));

    // The toolbar toggle hides the current page's bar and keeps it hidden on other pages.
    frame.OnCommand(cmd::kToolbar);
    EXPECT_FALSE(frame.PageToolBar(2)->isVisible());
    EXPECT_FALSE(frame.Action(cmd::kToolbar)->isChecked());
    frame.SelectPage(0);
    EXPECT_FALSE(frame.PageToolBar(0)->isVisible());
    frame.OnCommand(cmd::kToolbar);
    EXPECT_TRUE(frame.PageToolBar(0)->isVisible());
}

TEST(MainFrameTest, ProgressFromAWorkerAndTheAbortRule) {
    CGuiFixture f;
    f.Start();
    CMainFrame& frame = f.Frame();
    // The address books are still being listed off the GUI thread for a moment after the start.
    ASSERT_TRUE(WaitFor([&] {
        return frame.StatusLabel()->text() == QStringLiteral("Ожидание печати нового документа");
    }));
    std::thread worker([&] {
        frame.ProgressStart(4);
        frame.ProgressStep(1);
        frame.ProgressStep(2);
        frame.SetStatusText("Построение списка фирм...");
    });
    worker.join();
    // The worker's calls arrive in order; the last one shows when all have.
    ASSERT_TRUE(WaitFor([&] {
        return frame.StatusLabel()->text() == QStringLiteral("Построение списка фирм...");
    }));
    EXPECT_EQ(frame.ProgressBar()->value(), 2);
    EXPECT_TRUE(frame.ProgressBar()->isVisible());
    EXPECT_EQ(frame.ProgressBar()->maximum(), 4);

    // While an abort is in force the bar neither moves nor goes away.
    CThreadControl::Instance().stopRequest = 1;
    frame.ProgressStep(3);
    frame.ProgressEnd();
    EXPECT_EQ(frame.ProgressBar()->value(), 2);
    EXPECT_TRUE(frame.ProgressBar()->isVisible());
    CThreadControl::Instance().stopRequest = 0;
    frame.ProgressEnd();
    EXPECT_FALSE(frame.ProgressBar()->isVisible());
    frame.SetStatusText("");
    EXPECT_EQ(frame.StatusLabel()->text(), QStringLiteral("Ожидание печати нового документа"));
}

TEST(MainFrameTest, WorkerCallsReturnFalseOnceShutdownBegan) {
    CGuiFixture f;
    f.Start();
    CMainFrame& frame = f.Frame();
    bool ran = false;
    std::thread worker([&] { EXPECT_TRUE(frame.RunOnGuiThread([&] { ran = true; })); });
    ASSERT_TRUE(WaitFor([&] { return ran; }));
    worker.join();

    // A worker waiting while the GUI thread is busy shutting down is let go without running.
    bool late = false;
    bool result = true;
    std::thread waiting([&] { result = frame.RunOnGuiThread([&] { late = true; }); });
    frame.Shutdown(); // no events handled in between
    waiting.join();
    EXPECT_FALSE(result);
    QCoreApplication::processEvents();
    EXPECT_FALSE(late);
}

TEST(MainFrameTest, CloseMinimisesWithoutTrayAndExitQuits) {
    CGuiFixture f;
    f.Start();
    CMainFrame& frame = f.Frame();
    ASSERT_TRUE(frame.isVisible());
    frame.close();
    if (frame.HasTray()) {
        EXPECT_FALSE(frame.isVisible()); // in the tray
        frame.RestoreFromTray();
        EXPECT_TRUE(frame.isVisible());
    } else {
        EXPECT_TRUE(frame.isVisible());
        EXPECT_TRUE(frame.windowState() & Qt::WindowMinimized);
    }
    // "Спрятать окно" hides (without a tray it minimises); a new print brings the window
    // forward (AutoShowOnPrint).
    frame.OnCommand(cmd::kHideWindow);
    EXPECT_TRUE(frame.HasTray() ? !frame.isVisible() : frame.isMinimized());
    Settings().AutoShowOnPrint = true;
    gui_test::WritePrintedDocument(f.FaxDir(), "Print1", "Счёт");
    ASSERT_TRUE(WaitFor([&] { return frame.isVisible() && !frame.isMinimized(); }));

    bool quit = false;
    QObject::connect(&frame, &CMainFrame::QuitRequested, [&] { quit = true; });
    frame.OnCommand(cmd::kExit);
    EXPECT_TRUE(quit);
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(CThreadControl::Instance().stopRequest.load(), 2);
}

TEST(MainFrameTest, StartsHiddenWithAFileParameter) {
    CGuiFixture f;
    f.Start(false);
    EXPECT_FALSE(f.Frame().isVisible());
    // Synchronise from the (hidden) timer works silently: no progress window.
    f.Frame().OnSynchronise();
    EXPECT_EQ(f.Frame().findChild<QWidget*>(QStringLiteral("progressDlg")), nullptr);
}

TEST(MainFrameTest, ProfileKeepsColumnWidthsAndSplitter) {
    {
        CGuiFixture f;
        f.Start();
        f.Frame().SentView()->header()->resizeSection(1, 333);
        f.Stop();
        auto w = profile::ReadInt("Settings\\SentFaxes\\Tree", QStringLiteral("Column $1"));
        ASSERT_TRUE(w.has_value());
        EXPECT_EQ(*w, 333);
    }
    // The tree pane's width survives a run in which the address-book page was never opened,
    // and is what the page shows when it is opened in the next run.
    {
        CGuiFixture f;
        profile::WriteInt("Settings\\AddrBook", QStringLiteral("Width"), 200);
        f.Start();
        f.Stop();
        EXPECT_EQ(profile::ReadInt("Settings\\AddrBook", QStringLiteral("Width")), 200);
        f.Start();
        QListWidget* nav = f.Frame().findChild<QListWidget*>(QStringLiteral("navigatorList"));
        ASSERT_NE(nav, nullptr);
        QTest::mouseClick(nav->viewport(), Qt::LeftButton, {},
                          nav->visualItemRect(nav->item(3)).center());
        ASSERT_EQ(f.Frame().CurrentPage(), 3);
        auto* page = f.Frame().findChild<QSplitter*>(QStringLiteral("addressBookPage"));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->sizes().value(0), 200);
        page->setSizes({230, page->width() - 230});
        f.Stop();
        EXPECT_EQ(profile::ReadInt("Settings\\AddrBook", QStringLiteral("Width")), 230);
    }
    // A window kept on a larger screen comes back inside this one (offscreen: 800×600).
    {
        CGuiFixture f;
        profile::WriteRect("Settings", "Window", QRect(300, 200, 1900, 1200));
        f.Start();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(screen.contains(f.Frame().geometry()))
            << f.Frame().geometry().width() << "x" << f.Frame().geometry().height();
        f.Stop();
    }
    EXPECT_EQ(profile::SplitterWidth(0, 1920), 200);
    EXPECT_EQ(profile::SplitterWidth(1920, 1920), 200);
    EXPECT_EQ(profile::SplitterWidth(std::nullopt, 1920), 200);
    EXPECT_EQ(profile::SplitterWidth(260, 1920), 260);
}

} // namespace

namespace {

TEST(MainFrameTest, ExitDoesNotHangOnAWorkerWaitingForTheWindow) {
    CGuiFixture f;
    std::atomic<int> applied{0};
    std::atomic<bool> handedOver{false};
    f.beforeStart = [&](CVelquinGui& gui) {
        gui.statusSteps = [&](IFrame& frame) {
            CStatusWorkers::CSteps steps;
            steps.query = [](std::int32_t, const ServiceEndpoint&) {
                return std::make_shared<int>(1);
            };
            steps.apply = [&, fr = &frame](CSentFaxes&, std::vector<CStatusWorkers::Reply>) {
                handedOver = true;
                if (fr->RunOnGuiThread([&] { ++applied; })) {
                    ++applied;
                }
            };
            return steps;
        };
    };
    f.Start();
    // A reply waits for the window while the window, without handling events, quits.
    f.Doc().Status().QueueQuery(7);
    while (!handedOver) {
        std::this_thread::yield();
    }
    f.Frame().OnCommand(cmd::kExit);
    EXPECT_TRUE(f.Frame().ExitRequested());
    f.Stop();
    EXPECT_EQ(applied.load(), 0);
}

} // namespace
