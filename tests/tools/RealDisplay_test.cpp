// The real program on a real X server (Xvfb), met the ways a desktop meets it: F5 sent by
// another program as xdotool sends it, and the display going away under the window.
#include "support/FaxsimProcess.h"
#include "support/ReplyServer.h"
#include "support/TestSupport.h"

#include "TiffTestFiles.h"
#include "platform/Files.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

namespace {

using testing_support::ChildProcess;
using testing_support::RunShell;
using testing_support::RunVelquinTool;

class RealDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef VELQUIN_TEST_GUI_PROGRAMS
        GTEST_SKIP() << "this build has no window program";
#endif
        std::string out;
        if (RunShell("command -v Xvfb && command -v xdotool", out) != 0) {
            GTEST_SKIP() << "needs Xvfb and xdotool";
        }
        testing_support::IsolateEnvironment(m_dir.Path());
        ASSERT_TRUE(StartDisplay());
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }

    bool StartDisplay() {
        const std::string display = m_x.Start(
            {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ::setenv("DISPLAY", (":" + display).c_str(), 1);
        return !display.empty();
    }

    // A store with `sentFaxes` example faxes, its service at `apiHost`.
    void MakeStore(const std::string& apiHost, int sentFaxes) {
        std::string out;
        ASSERT_EQ(RunVelquinTool("setup --create --fax-dir " + (m_dir / "fax") + " --data-dir " +
                                     (m_dir / "data") + " --api-host " + apiHost + " --user demo",
                                 out),
                  0)
            << out;
        sending_test::WriteBilevelTiff(m_dir / "image.tif", {.pages = 1});
        ASSERT_EQ(RunVelquinTool("demo-sent --count " + std::to_string(sentFaxes) + " " +
                                     (m_dir / "image.tif"),
                                 out),
                  0)
            << out;
    }

    // Starts the program and returns its window's id once the window shows ("" if it never does).
    std::string StartWindow() {
        m_app.Start({testing_support::BuildDir() + "/src/gui/velquin"}, false);
        std::string id;
        RunShell("timeout 30 xdotool search --sync --onlyvisible --name 'Velquin' | head -1", id);
        return id.substr(0, id.find('\n'));
    }

    testing_support::TempDir m_dir;
    ChildProcess m_x;
    ChildProcess m_app;
};

// xdotool's key to a focused window leaves F5 down on the X server, which then repeats it as
// fast as a held key: still one round of status queries, not one per repeat.
TEST_F(RealDisplayTest, AnF5LeftDownIsOneRoundOfQueries) {
    testing_support::CReplyServer service(
        {"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><response>"
         "<error code=\"0\" message=\"ok\" details=\"\"/><data><item id=\"1\" jobstatus=\"4\"/>"
         "</data></response>"});
    MakeStore(service.HostPort(), 40);
    const std::string window = StartWindow();
    ASSERT_FALSE(window.empty());
    std::string out;
    RunShell("xdotool windowfocus " + window + " && sleep 0.5 && xdotool key --window " + window +
                 " F5",
             out);
    // The round's queries, then two seconds of the key repeating.
    int round = -1;
    for (int i = 0; i < 100 && (round <= 0 || service.Requests() != round); ++i) {
        round = service.Requests();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_GT(round, 0);
    EXPECT_EQ(service.Requests(), round) << "a second round started";
    RunShell("xdotool keyup F5", out);
    ::kill(m_app.Pid(), SIGTERM);
    const std::optional<int> status = m_app.Wait(30000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
}

// The X server ends under the window: the program saves, ends and frees its instance lock, so
// the next start on a new display opens a window instead of finding a copy that never answers.
TEST_F(RealDisplayTest, TheDisplayGoingAwayEndsTheProgram) {
    MakeStore("127.0.0.1:9", 5);
    ASSERT_FALSE(StartWindow().empty());
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the books loaded
    m_x.Stop();
    const std::optional<int> status = m_app.Wait(30000);
    ASSERT_TRUE(status.has_value()) << "the program hangs without its display";
    EXPECT_TRUE(WIFEXITED(*status)) << *status;
    // The new default book, unsaved until the program ends, was written.
    EXPECT_EQ(platform::ListMatching(m_dir / "data/AddressBook", "*.abk").size(), 1u);

    ASSERT_TRUE(StartDisplay());
    EXPECT_FALSE(StartWindow().empty()) << "the second start found no window";
    ::kill(m_app.Pid(), SIGTERM);
    EXPECT_TRUE(m_app.Wait(30000).has_value());
}

} // namespace
