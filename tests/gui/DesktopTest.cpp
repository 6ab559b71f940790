// The program on a desktop without a tray: hiding, a second start of the real program (also
// one that does not share the runtime folder), the end of the session by SIGTERM, and the
// window layout kept between runs.
#include "GuiTestSupport.h"

#include "app/VelquinApp.h"
#include "gui/shell/Commands.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/SysInfo.h"

#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using gui_test::CGuiFixture;
using gui_test::WaitFor;

namespace {

// Starts the real program again with `args` and handles events until it has ended (the
// running copy answers it on this thread). Its exit code, or -1.
int SecondStart(const QStringList& args) {
    QProcess p;
    p.setProgram(QString::fromStdString(testing_support::BuildDir() + "/src/gui/velquin"));
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start();
    if (!WaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Chooses command `id` from the menu bar's menu `menuName` with the mouse.
void ChooseFromMenu(CMainFrame& frame, const char* menuName, int id) {
    QMenu* menu = frame.findChild<QMenu*>(QLatin1String(menuName));
    ASSERT_NE(menu, nullptr);
    QMenuBar* bar = frame.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                      bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                      menu->actionGeometry(frame.Action(id)).center());
}

} // namespace

TEST(DesktopTest, WithoutATrayHideMinimisesAndASecondStartBringsTheWindowForward) {
    CGuiFixture f;
    f.Start(false); // started hidden, as with a file parameter
    CMainFrame& frame = f.Frame();
    ASSERT_FALSE(frame.HasTray());
    ASSERT_TRUE(frame.isHidden());

    // A second start with a file hands it over: as at a start, the window stays as it is.
    EXPECT_EQ(SecondStart({QStringLiteral("letter.tif")}), 0);
    EXPECT_TRUE(frame.isHidden());
    // Without one it brings the window forward, also after the hidden start.
    EXPECT_EQ(SecondStart({}), 0);
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.isMinimized());

    // "Спрятать окно" leaves the window in the taskbar, where it can be taken back.
    ChooseFromMenu(frame, "menuFile", cmd::kHideWindow);
    ASSERT_TRUE(WaitFor([&] { return frame.isMinimized(); }));
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(SecondStart({}), 0);
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_TRUE(frame.isVisible());
}

TEST(DesktopTest, AWindowStartedWithoutTheRuntimeFolderIsRefusedNamingTheOneRunning) {
    CGuiFixture f;
    f.Start();
    // As from cron: no XDG_RUNTIME_DIR, so its own lock and socket go elsewhere.
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("ru"));
    second.setProcessEnvironment(env);
    second.setProgram(QString::fromStdString(testing_support::BuildDir() + "/src/gui/velquin"));
    second.start();
    std::string said;
    ASSERT_TRUE(WaitFor(
        [&] {
            said += second.readAllStandardError().toStdString();
            return said.find("Velquin не запущен") != std::string::npos && said.back() == '\n';
        },
        60000))
        << said;
    EXPECT_NE(said.find("Velquin не запущен: с хранилищем факсов " + f.DataDir() +
                        " уже работает другая копия Velquin (процесс " +
                        std::to_string(::getpid()) + " пользователя " +
                        platform::CurrentUserName() + " на компьютере "),
              std::string::npos)
        << said;
    // It waits for the box to be read, with no window: nothing listens in its runtime folder.
    QTest::qWait(200);
    EXPECT_EQ(second.state(), QProcess::Running);
    EXPECT_FALSE(std::filesystem::exists(platform::RegistryDir() + "/run/" + kInstanceSocketName));
    second.terminate();
    ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 60000));
}

TEST(DesktopTest, SigtermEndsAsExitDoesKeepingTheLayoutAndTheBooks) {
    CGuiFixture f;
    f.Start();
    CMainFrame& frame = f.Frame();
    // The user places the window and floats the navigator by double-clicking its title.
    const QRect placed(40, 30, 720, 500);
    frame.setGeometry(placed);
    CSelector* nav = frame.Selector();
    ASSERT_TRUE(WaitFor([&] { return nav->isVisible() && nav->width() > 100; }));
    QTest::mouseDClick(nav, Qt::LeftButton, Qt::NoModifier, QPoint(nav->width() / 2, 6));
    ASSERT_TRUE(WaitFor([&] { return nav->isFloating(); }));
    const QRect floating = nav->geometry();
    const std::string books = f.DataDir() + "/AddressBook";
    ASSERT_TRUE(platform::ListMatching(books, "*.abk").empty()); // the default book is unsaved

    // Logout: the session manager sends SIGTERM.
    QSignalSpy quit(&frame, &CMainFrame::QuitRequested);
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    ASSERT_TRUE(WaitFor([&] { return quit.count() == 1; }));
    f.Stop(); // what the program does once its event loop has ended: every thread joined
    EXPECT_EQ(platform::ListMatching(books, "*.abk").size(), 1u);

    // The next start puts the window and the navigator back where they were.
    f.Start();
    EXPECT_EQ(f.Frame().geometry(), placed);
    ASSERT_TRUE(WaitFor([&] { return f.Frame().Selector()->isFloating(); }));
    EXPECT_EQ(f.Frame().Selector()->geometry(), floating);
}

TEST(DesktopTest, TheRealProgramEndedBySigtermHasSavedItsBook) {
    CGuiFixture f;
    f.Start(); // the settings a set-up leaves
    f.Stop();
    const std::string books = f.DataDir() + "/AddressBook";
    for (const platform::DirEntry& e : platform::ListMatching(books, "*.abk")) {
        std::filesystem::remove(books + "/" + e.name);
    }

    QProcess program;
    program.setProgram(QString::fromStdString(testing_support::BuildDir() + "/src/gui/velquin"));
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start();
    ASSERT_TRUE(program.waitForStarted());
    // Once it listens it is the running copy; a second start is answered once it runs its
    // event loop, its signals caught.
    ASSERT_TRUE(WaitFor([] { return std::filesystem::exists(InstanceSocketPath()); }, 60000));
    ASSERT_EQ(SecondStart({}), 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(WaitFor([&] { return program.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // Its new default book was written before the process ended.
    const auto written = platform::ListMatching(books, "*.abk");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_GT(written[0].size, 0u);
}
