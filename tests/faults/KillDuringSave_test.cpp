// A process killed (SIGKILL) at many moments while it saves a job file, an address book or the
// settings hive over and over, alternating between two versions: afterwards the file is always
// exactly the version last saved or the one being saved, and whatever temporary files the kills
// leave behind are never read in its place. And a committed address-book edit is on disk soon,
// without waiting for the program's close.
#include "StoreFixture.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/BookCommands.h"
#include "platform/Registry.h"
#include "store/VelquinDoc.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace {

using testing_support::FakeFrame;
using testing_support::FakePrompt;
using testing_support::ReadFileOrDie;

constexpr int kKills = 50;

struct KillStats {
    int endedA = 0, endedB = 0;
    std::size_t leftovers = 0;
};

bool ReadByte(int fd, char& c) {
    for (;;) {
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n == 1;
    }
}

// Temporary files of `path` left in its directory.
std::size_t Leftovers(const std::string& path) {
    const std::string prefix = "." + platform::BaseName(path) + ".";
    std::size_t n = 0;
    for (const platform::DirEntry& e : platform::ListDir(platform::DirName(path))) {
        n += e.name.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

// Waits until a temporary file of `path` is created in the watched directory. False when the
// child's report pipe shows progress or its end without one (the child failed).
bool WaitForTemporaryFile(int inotifyFd, int reportFd, const std::string& path) {
    const std::string prefix = "." + platform::BaseName(path) + ".";
    alignas(inotify_event) char buf[4096];
    for (;;) {
        pollfd fds[2] = {{inotifyFd, POLLIN, 0}, {reportFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            return false;
        }
        ssize_t n = ::read(inotifyFd, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            if (ev->len > 0 && std::string(ev->name).rfind(prefix, 0) == 0) {
                return true;
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
}

// Kills a saving child kKills times. `save(true)` saves version B, `save(false)` A; save k of
// the child writes B when k is odd, and the file starts as A. Before each kill the child has
// reported 0, 1 or 2 finished saves; then every other kill comes as soon as the next save has
// created its temporary file (inside the write), the others after a while spread over about
// two saves. When the child reported n saves in all, the file must hold save n or save n+1
// (the one under way).
KillStats KillWhileSaving(const std::string& path, const std::function<bool(bool)>& save,
                          const std::string& a, const std::string& b) {
    KillStats stats;
    // About two saves' duration, measured between the child's reports, to spread the timed
    // kills over the save cycle.
    long long cycleMicros = 2000;
    for (int i = 0; i < kKills; ++i) {
        const bool atTemporaryFile = i % 2 == 1;
        const int watch = ::inotify_init1(IN_CLOEXEC);
        EXPECT_GE(::inotify_add_watch(watch, platform::DirName(path).c_str(), IN_CREATE), 0);
        int fd = -1;
        const int pid = faults::StartLoopingChild(
            [&](int reportFd) {
                for (long k = 1;; ++k) {
                    if (!save(k % 2 == 1) || ::write(reportFd, "s", 1) != 1) {
                        ::_exit(3);
                    }
                }
            },
            fd);
        EXPECT_GT(pid, 0);
        if (pid <= 0) {
            return stats;
        }
        char c = 0;
        EXPECT_TRUE(ReadByte(fd, c) && c == 'r');
        int saves = 0;
        auto lastReport = std::chrono::steady_clock::now();
        for (int wait = i % 3; wait > 0 && ReadByte(fd, c); --wait) {
            const auto now = std::chrono::steady_clock::now();
            if (++saves == 2) {
                cycleMicros = std::max<long long>(
                    200, 2 * std::chrono::duration_cast<std::chrono::microseconds>(now - lastReport)
                                 .count());
            }
            lastReport = now;
        }
        if (atTemporaryFile) {
            EXPECT_TRUE(WaitForTemporaryFile(watch, fd, path));
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds((i * 7919LL) % cycleMicros));
        }
        ::close(watch);
        EXPECT_TRUE(faults::KillChild(pid)) << "kill " << i << ": the saving child failed";
        while (ReadByte(fd, c)) {
            ++saves;
        }
        ::close(fd);

        std::string onDisk;
        EXPECT_EQ(platform::ReadFile(path, onDisk), 0) << "kill " << i << ": the file is gone";
        const std::string& last = saves % 2 == 1 ? b : a;
        const std::string& next = saves % 2 == 1 ? a : b;
        EXPECT_TRUE(onDisk == last || onDisk == next)
            << "kill " << i << " after " << saves << " saves: " << onDisk.size()
            << " bytes, neither version";
        (onDisk == a ? stats.endedA : stats.endedB) += 1;
    }
    // However the kills fell, one half-written temporary file is surely there for the loaders.
    testing_support::WriteFile(
        platform::JoinPath(platform::DirName(path), "." + platform::BaseName(path) + ".k1ll3d"),
        b.substr(0, b.size() / 2));
    stats.leftovers = Leftovers(path);
    // How the kills fell, for the test log.
    ::testing::Test::RecordProperty("ended_old_or_new", std::to_string(stats.endedA) + "/" +
                                                            std::to_string(stats.endedB));
    ::testing::Test::RecordProperty("temporary_files_left", static_cast<int>(stats.leftovers));
    return stats;
}

class KillDuringSaveTest : public faults::StoreFixture {};

TEST_F(KillDuringSaveTest, JobFileIsAlwaysOneWholeVersion) {
    // Large enough that a kill often lands inside the write itself.
    auto makeList = [](int recipients, std::int32_t status) {
        auto list = std::make_unique<CGroupFaxEntry>("Рассылка");
        list->m_listId = 2000000001;
        list->m_status = status;
        for (int r = 0; r < recipients; ++r) {
            CFaxEntry e;
            e.m_faxId = 1000000000 + r;
            e.m_status = status;
            e.m_recipient = "8812" + std::to_string(5000000 + r);
            e.m_recipientLabel = "Получатель " + std::to_string(r);
            list->m_recipients.push_back(e);
        }
        return list;
    };
    auto versionA = makeList(20000, -1);
    auto versionB = makeList(19000, 4);
    versionA->m_path = versionB->m_path = Sent("job.tif");
    testing_support::WriteFile(Sent("job.tif"), "II*");
    const std::string a = StoreRecord(*versionA);
    const std::string b = StoreRecord(*versionB);
    testing_support::WriteFile(Sent("job.fax"), a);

    // The running program, whose copy in each child saves.
    FakePrompt childPrompt;
    FakeFrame childFrame;
    auto running = std::make_unique<CVelquinDoc>(childPrompt, childFrame);
    KillStats stats = KillWhileSaving(
        Sent("job.fax"),
        [&](bool useB) {
            return running->SentFaxes().SaveJobFile(useB ? *versionB : *versionA, SentDir()) &&
                   childPrompt.fileErrors.empty();
        },
        a, b);
    running.reset();
    EXPECT_EQ(stats.endedA + stats.endedB, kKills);

    // The next start reads the one job file, whatever was left beside it.
    FakePrompt prompt;
    FakeFrame frame;
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 1u) << stats.leftovers << " temporary files left";
    EXPECT_EQ(StoreRecord(*doc.SentRecords()[0]), ReadFileOrDie(Sent("job.fax")));
    EXPECT_TRUE(prompt.fileErrors.empty());
}

TEST_F(KillDuringSaveTest, AddressBookIsAlwaysOneWholeVersion) {
    platform::SetTelephoneCountryCodeForTest(7);
    auto makeBook = [](int contacts, const std::string& name) {
        auto book = std::make_unique<CAddrBook>(name);
        for (int i = 0; i < contacts; ++i) {
            auto c = std::make_unique<CContactEntry>("8812" + std::to_string(5000000 + i));
            c->m_company = "Фирма " + std::to_string(i);
            c->m_person = "Иванов";
            book->AddEntry(std::move(c));
        }
        return book;
    };
    auto bookA = makeBook(12000, "Клиенты");
    auto bookB = makeBook(11000, "Клиенты, новые");
    bookB->m_guid = bookA->m_guid; // one file, two contents
    const std::string a = WriteBook(*bookA);
    const std::string b = WriteBook(*bookB);
    const std::string path = bookA->GetFilePath();
    testing_support::WriteFile(path, a);

    KillStats stats = KillWhileSaving(
        path,
        [&](bool useB) {
            AddressBooks().Clear();
            // Each version is written over the file as it is (not merged with the other's).
            (useB ? bookB : bookA)->SetFile(path, platform::StampOf(path));
            AddressBooks().Add(std::move(useB ? bookB : bookA));
            bool ok = true;
            AddressBooks().SaveAll([&](const std::string&) { ok = false; });
            (useB ? bookB : bookA) = std::move(AddressBooks().Release().back());
            return ok;
        },
        a, b);
    EXPECT_EQ(stats.endedA + stats.endedB, kKills);

    // The document's loader finds the one book.
    FakePrompt prompt;
    FakeFrame frame;
    CVelquinDoc doc(prompt, frame); // its end clears the book list
    AddressBooks().StartLoader();
    AddressBooks().WaitForLoader();
    platform::SetTelephoneCountryCodeForTest(std::nullopt);
    EXPECT_TRUE(prompt.fileErrors.empty());
    ASSERT_EQ(AddressBooks().size(), 1u) << stats.leftovers << " temporary files left";
    EXPECT_EQ(WriteBook(*AddressBooks()[0]), ReadFileOrDie(path));
}

TEST_F(KillDuringSaveTest, CommittedContactIsOnDiskBeforeAnyClose) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer refuses threads in a forked child";
#endif
    ASSERT_EQ(platform::CreateDir(BookDir()), 0);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, BookDir().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    // The running program: a new contact is committed, then nothing more happens, and no
    // close ever comes.
    int fd = -1;
    const int pid = faults::StartLoopingChild(
        [&](int reportFd) {
            FakePrompt childPrompt;
            FakeFrame childFrame;
            CVelquinDoc doc(childPrompt, childFrame);
            AddressBooks().SetSaveDelay(std::chrono::milliseconds(50));
            AddressBooks().StartLoader();
            AddressBooks().WaitForLoader();
            CContactEntry* c = RunNewContactCommand(
                [](CContactEdit& e) {
                    e.number = "3520809";
                    e.areaCode = "812";
                    return e.Apply();
                },
                nullptr);
            if (c == nullptr || ::write(reportFd, "e", 1) != 1) {
                ::_exit(3);
            }
            for (;;) {
                ::pause();
            }
        },
        fd);
    ASSERT_GT(pid, 0);
    char c = 0;
    EXPECT_TRUE(ReadByte(fd, c) && c == 'r');
    EXPECT_TRUE(ReadByte(fd, c) && c == 'e');
    // The save interval passes: a book file appears under its own name.
    bool saved = false;
    alignas(inotify_event) char buf[4096];
    for (pollfd p{watch, POLLIN, 0}; !saved && ::poll(&p, 1, 30000) > 0;) {
        const ssize_t n = ::read(watch, buf, sizeof buf);
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            saved = saved || (ev->len > 0 && ev->name[0] != '.' && (ev->mask & IN_MOVED_TO));
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    ::close(watch);
    EXPECT_TRUE(faults::KillChild(pid));
    ::close(fd);
    ASSERT_TRUE(saved) << "no book was written after the edit";

    std::vector<std::string> books;
    for (const platform::DirEntry& e : platform::ListDir(BookDir())) {
        if (e.name[0] != '.') {
            books.push_back(e.name);
        }
    }
    ASSERT_EQ(books.size(), 1u);
    auto book = ReadBook(ReadFileOrDie(platform::JoinPath(BookDir(), books[0])));
    ASSERT_NE(book, nullptr);
    ASSERT_EQ(book->Size(), 1u);
    EXPECT_EQ(book->Entries()[0]->m_name, "88123520809");
}

TEST_F(KillDuringSaveTest, SettingsHiveIsAlwaysOneWholeVersion) {
    {
        // What the printer's set-up writes; the program's own save keeps it.
        platform::CRegKey key;
        ASSERT_EQ(key.Create(platform::Hive::LocalMachine, kMainKey), 0);
        for (const char* dir : {"ProgDir", "FaxDir", "DataDir"}) {
            key.SetValue(
                dir, platform::RegType::String,
                platform::RegStringZ(root / (std::string(dir) == "FaxDir" ? "fax" : "data")));
        }
        ASSERT_EQ(key.Close(), 0);
    }
    const std::string hive = platform::HivePath(platform::Hive::LocalMachine);
    auto setVersion = [](bool useB) {
        Settings().UserID = useB ? "bravo-user" : "alpha";
        Settings().LastFaxAttempts = useB ? 7 : 3;
        Settings().SMTPMailFrom = useB ? std::string(3000, 'b') : std::string(2000, 'a');
    };
    setVersion(true);
    ASSERT_EQ(SaveSettings(), 0);
    const std::string b = ReadFileOrDie(hive);
    setVersion(false);
    ASSERT_EQ(SaveSettings(), 0);
    const std::string a = ReadFileOrDie(hive);
    ASSERT_NE(a, b);

    KillStats stats = KillWhileSaving(
        hive,
        [&](bool useB) {
            setVersion(useB);
            return SaveSettings() == 0;
        },
        a, b);
    EXPECT_EQ(stats.endedA + stats.endedB, kKills);

    ResetSettingsForTest();
    FakePrompt prompt;
    ASSERT_TRUE(LoadSettings(prompt)) << stats.leftovers << " temporary files left";
    EXPECT_TRUE(Settings().UserID == "alpha" || Settings().UserID == "bravo-user");
    EXPECT_EQ(Settings().UserID == "alpha", Settings().LastFaxAttempts == 3);
}

} // namespace
