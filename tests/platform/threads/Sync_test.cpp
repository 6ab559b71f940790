#include "platform/DirWatch.h"
#include "platform/Sync.h"

#include "support/TestSupport.h"

#include <atomic>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;

TEST(Events, AutoResetReleasesOneWaiterPerSignal) {
    CEvent ev;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (ev.Wait(kInfinite)) {
                ++released;
            }
        });
    }
    for (int i = 1; i <= 3; ++i) {
        ev.Set();
        while (released.load() < i) {
            std::this_thread::yield();
        }
    }
    for (auto& t : waiters) {
        t.join();
    }
    EXPECT_EQ(released.load(), 3);
    // Signals given while nobody waits collapse into one, as with the original's events.
    ev.Set();
    ev.Set();
    EXPECT_TRUE(ev.TryWait());
    EXPECT_FALSE(ev.TryWait());
}

TEST(Events, WaitForAnyPrefersEarlierEventsAndTimesOut) {
    CEvent exitEv, workEv;
    EXPECT_EQ(WaitForAny({&exitEv, &workEv}, 10), kWaitTimeout);
    workEv.Set();
    exitEv.Set();
    EXPECT_EQ(WaitForAny({&exitEv, &workEv}, kInfinite), 0);
    EXPECT_EQ(WaitForAny({&exitEv, &workEv}, kInfinite), 1);

    std::thread setter([&] { workEv.Set(); });
    EXPECT_EQ(WaitForAny({&exitEv, &workEv}, kInfinite), 1);
    setter.join();
}

TEST(Events, NamedEventsAreSharedByName) {
    EXPECT_EQ(OpenNamedEvent("test.missing.event"), nullptr);
    auto a = CreateNamedEvent("test.shared.event");
    auto b = CreateNamedEvent("test.shared.event");
    EXPECT_EQ(a, b);
    EXPECT_EQ(OpenNamedEvent("test.shared.event"), a);
    a->Set();
    EXPECT_TRUE(OpenNamedEvent("test.shared.event")->TryWait());
}

TEST(SingleInstance, SecondProcessIsRefusedUntilTheFirstEnds) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    CSingleInstanceLock lock;
    ASSERT_TRUE(lock.Acquire("TWVelquin.old"));
    auto childAcquires = [] {
        pid_t pid = ::fork();
        if (pid == 0) {
            CSingleInstanceLock other;
            ::_exit(other.Acquire("TWVelquin.old") ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(childAcquires());
    lock.Release();
    EXPECT_TRUE(childAcquires());
}

TEST(DirWatch, WakesOnNewFileAndOnExit) {
    testing_support::TempDir dir;
    CDirWatch watch;
    CEvent exitEv;
    ASSERT_TRUE(watch.Arm(dir.Path()));
    EXPECT_EQ(watch.Wait(exitEv, 20), CDirWatch::Result::Timeout);

    std::thread writer([&] { testing_support::WriteFile(dir / "doc.tif", "II*"); });
    EXPECT_EQ(watch.Wait(exitEv, 10000), CDirWatch::Result::Change);
    writer.join();

    std::thread stopper([&] { exitEv.Set(); });
    CDirWatch::Result r;
    do {
        r = watch.Wait(exitEv, 10000);
    } while (r == CDirWatch::Result::Change); // late records of the write above
    EXPECT_EQ(r, CDirWatch::Result::Exit);
    stopper.join();
}

TEST(DirWatch, UnwatchableDirectoryStillHonoursExitAndTimeout) {
    CDirWatch watch;
    CEvent exitEv;
    EXPECT_FALSE(watch.Arm("/nonexistent/velquin"));
    EXPECT_EQ(watch.Wait(exitEv, 20), CDirWatch::Result::Timeout);
    exitEv.Set();
    EXPECT_EQ(watch.Wait(exitEv, 10000), CDirWatch::Result::Exit);
}
