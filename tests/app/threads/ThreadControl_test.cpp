#include "app/DirWatcher.h"
#include "app/ThreadControl.h"

#include "platform/Sync.h"
#include "support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;
using testing_support::FakeFrame;

TEST(ThreadControl, SecondWorkerStopsTheFirstAndRunsToItsEnd) {
    CThreadControl registry;
    FakeFrame frame;
    std::atomic<bool> firstStarted{false}, firstStopped{false}, secondDone{false};
    registry.StartViewWorker(&frame, 104, [&] {
        firstStarted = true;
        while (!registry.StopRequested()) {
            std::this_thread::sleep_for(1ms);
        }
        firstStopped = true;
    });
    while (!firstStarted) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(registry.busy.load(), 2);
    registry.StartViewWorker(&frame, 105, [&] {
        EXPECT_FALSE(registry.StopRequested());
        secondDone = true;
    });
    while (!secondDone) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(firstStopped);
    while (registry.busy.load() != 0) {
        std::this_thread::sleep_for(1ms);
    }
    auto texts = frame.StatusTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts.front(), "Построение списка фирм...");
    EXPECT_EQ(texts.back(), ""); // idle text restored
    registry.Shutdown();
    EXPECT_EQ(registry.Count(), 0u);
}

TEST(ThreadControl, ReaperCollectsFinishedWorkersAndShutdownJoinsTheRest) {
    CThreadControl registry;
    std::atomic<int> runs{0};
    for (int i = 1; i <= 5; ++i) {
        registry.StartViewWorker(nullptr, 105, [&] { ++runs; });
        while (runs.load() < i || registry.busy.load() != 0) {
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_EQ(registry.stopRequest.load(), 0); // starts while idle ask nothing to stop
    EXPECT_EQ(registry.Count(), 5u);
    // A stop request makes the reaper collect the finished workers.
    registry.stopRequest = 1;
    while (registry.stopRequest.load() != 0) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(registry.Count(), 0u);

    std::atomic<bool> blocked{true}, started{false};
    registry.StartViewWorker(nullptr, 105, [&] {
        started = true;
        while (!registry.StopRequested()) {
            std::this_thread::sleep_for(1ms);
        }
        blocked = false;
    });
    while (!started) {
        std::this_thread::sleep_for(1ms);
    }
    registry.Shutdown(); // stop request 2 ends the worker, which is joined
    EXPECT_FALSE(blocked);
    EXPECT_EQ(registry.stopRequest.load(), 2);
}

TEST(DirWatcherThread, RecreatedDirectoryIsWatchedAgainAndExitEndsIt) {
    testing_support::TempDir dir;
    const std::string fax = dir / "fax";
    ASSERT_EQ(::mkdir(fax.c_str(), 0755), 0);
    FakeFrame frame;
    auto exitEvent = platform::CreateNamedEvent(kExitEventName);
    CDirWatcherThread watcher;
    watcher.Start(fax, frame, 30);
    auto waitForCommands = [&](std::size_t n) {
        for (int i = 0; i < 1000 && frame.PostedCommands().size() < n; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        return frame.PostedCommands().size() >= n;
    };
    // The thread arms its watch on its own time: print until it notices.
    for (int i = 0; i < 100 && frame.PostedCommands().empty(); ++i) {
        testing_support::WriteFile(fax + "/a" + std::to_string(i) + ".tif", "x");
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(waitForCommands(1));

    std::filesystem::remove_all(fax);
    std::this_thread::sleep_for(100ms); // a few re-arm periods without a directory
    ASSERT_EQ(::mkdir(fax.c_str(), 0755), 0);
    std::this_thread::sleep_for(100ms);
    std::size_t before = frame.PostedCommands().size();
    testing_support::WriteFile(fax + "/b.tif", "x");
    EXPECT_TRUE(waitForCommands(before + 1));

    exitEvent->Set();
    watcher.Stop();
    EXPECT_FALSE(watcher.Running());
}
