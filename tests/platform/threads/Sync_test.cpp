#include "platform/DirWatch.h"
#include "platform/Sync.h"

#include "support/TestSupport.h"

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
    ASSERT_EQ(lock.Acquire("TWVelquin.old"), 0);
    auto childAcquires = [] {
        pid_t pid = ::fork();
        if (pid == 0) {
            CSingleInstanceLock other;
            ::_exit(other.Acquire("TWVelquin.old") == 0 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(childAcquires());
    lock.Release();
    EXPECT_TRUE(childAcquires());
}

TEST(SingleInstance, TheLockLivesOnlyWhereNoOtherUserCanWrite) {
    testing_support::TempDir dir;
    testing_support::IsolateEnvironment(dir.Path());
    int err = -1;
    EXPECT_EQ(PrivateRuntimeDir(err), dir / "runtime/velquin");
    EXPECT_EQ(err, 0);
    // A runtime folder others may enter is not used: the settings folder has a private one.
    ASSERT_EQ(::chmod((dir / "runtime").c_str(), 0755), 0);
    const std::string run = dir / "registry/run";
    EXPECT_EQ(PrivateRuntimeDir(err), run);
    EXPECT_EQ(err, 0);
    struct stat st;
    ASSERT_EQ(::lstat(run.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    {
        CSingleInstanceLock lock;
        EXPECT_EQ(lock.Acquire("TWVelquin.old"), 0);
    }
    // A lock file that is a link (planted to make the program write elsewhere) is refused.
    ASSERT_EQ(::unlink((run + "/TWVelquin.old").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (run + "/TWVelquin.old").c_str()), 0);
    CSingleInstanceLock lock;
    EXPECT_EQ(lock.Acquire("TWVelquin.old"), ELOOP);
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
    // So is a folder others can write into or that is a link.
    ASSERT_EQ(::chmod(run.c_str(), 0777), 0);
    EXPECT_EQ(lock.Acquire("TWVelquin.old"), EACCES);
    std::filesystem::remove_all(run);
    std::filesystem::create_directories(dir / "other");
    ASSERT_EQ(::symlink((dir / "other").c_str(), run.c_str()), 0);
    EXPECT_EQ(lock.Acquire("TWVelquin.old"), ELOOP);
    if (::geteuid() == 0) {
        // Made first by another user, with the right mode.
        ASSERT_EQ(::unlink(run.c_str()), 0);
        ASSERT_EQ(::mkdir(run.c_str(), 0700), 0);
        ASSERT_EQ(::chown(run.c_str(), 65534, 65534), 0);
        EXPECT_EQ(lock.Acquire("TWVelquin.old"), EPERM);
        ASSERT_EQ(::chown(run.c_str(), 0, 0), 0);
        const int fd = ::open((run + "/TWVelquin.old").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fchown(fd, 65534, 65534), 0);
        ::close(fd);
        EXPECT_EQ(lock.Acquire("TWVelquin.old"), EPERM);
    }
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
