#include "platform/Sync.h"

#include "platform/Files.h"
#include "platform/Registry.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// One lock and one condition for every event: events are few and rarely signalled, and a
// single condition makes waiting on several events simple and correct. Never destroyed:
// workers may still wait on them when another part of the process calls exit().
std::mutex& EventLock() {
    static auto& m = *new std::mutex;
    return m;
}
std::condition_variable& EventCond() {
    static auto& c = *new std::condition_variable;
    return c;
}

} // namespace

CEvent::~CEvent() {
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

void CEvent::Set() {
    int fd;
    {
        std::lock_guard lock(EventLock());
        m_signalled = true;
        fd = m_wakeFd;
    }
    EventCond().notify_all();
    if (fd >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
    }
}

void CEvent::Reset() {
    std::lock_guard lock(EventLock());
    m_signalled = false;
}

bool CEvent::Wait(int timeoutMs) {
    return WaitForAny({this}, timeoutMs) == 0;
}

bool CEvent::TryWait() {
    std::lock_guard lock(EventLock());
    bool was = m_signalled;
    m_signalled = false;
    return was;
}

int CEvent::WakeFd() {
    std::lock_guard lock(EventLock());
    if (m_wakeFd < 0) {
        m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    return m_wakeFd;
}

int WaitForAny(const std::vector<CEvent*>& events, int timeoutMs) {
    std::unique_lock lock(EventLock());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]->m_signalled) {
                events[i]->m_signalled = false;
                return static_cast<int>(i);
            }
        }
        if (timeoutMs == kInfinite) {
            EventCond().wait(lock);
        } else if (EventCond().wait_until(lock, deadline) == std::cv_status::timeout) {
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (events[i]->m_signalled) {
                    events[i]->m_signalled = false;
                    return static_cast<int>(i);
                }
            }
            return kWaitTimeout;
        }
    }
}

namespace {
std::mutex& NameLock() {
    static auto& m = *new std::mutex; // never destroyed, as EventLock
    return m;
}
std::map<std::string, std::weak_ptr<CEvent>>& NameTable() {
    static auto& t = *new std::map<std::string, std::weak_ptr<CEvent>>;
    return t;
}
} // namespace

std::shared_ptr<CEvent> CreateNamedEvent(const std::string& name) {
    std::lock_guard lock(NameLock());
    auto& slot = NameTable()[name];
    if (auto existing = slot.lock()) {
        return existing;
    }
    auto ev = std::make_shared<CEvent>();
    slot = ev;
    return ev;
}

std::shared_ptr<CEvent> OpenNamedEvent(const std::string& name) {
    std::lock_guard lock(NameLock());
    auto it = NameTable().find(name);
    return it == NameTable().end() ? nullptr : it->second.lock();
}

CSingleInstanceLock::~CSingleInstanceLock() {
    Release();
}

int MakePrivateDir(const std::string& dir) {
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            return errno;
        }
        if (int err = CreatePrivateDirs(DirName(dir)); err != 0) {
            return err;
        }
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
        if (::lstat(dir.c_str(), &st) != 0) {
            return errno;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        return ELOOP;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
    }
    if (st.st_uid != ::geteuid()) {
        return EPERM;
    }
    return (st.st_mode & 077) != 0 ? EACCES : 0;
}

std::string PrivateRuntimeDir(int& error) {
    const char* rt = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    std::string dir;
    if (rt != nullptr && *rt == '/' && ::lstat(rt, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 077) == 0) {
        dir = JoinPath(rt, "velquin");
    } else {
        dir = JoinPath(RegistryDir(), "run");
    }
    error = MakePrivateDir(dir);
    return dir;
}

std::string CSingleInstanceLock::LockPath(const std::string& name, int& error) {
    return JoinPath(PrivateRuntimeDir(error), name);
}

int CSingleInstanceLock::Acquire(const std::string& name) {
    Release();
    int err = 0;
    const std::string path = LockPath(name, err);
    if (err != 0) {
        return err;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return EPERM;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? kLockHeld : errno;
        ::close(fd);
        return err;
    }
    m_fd = fd;
    return 0;
}

void CSingleInstanceLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing drops the flock
        m_fd = -1;
    }
}

namespace {

// The holder's line: it writes it just after taking the lock, so an empty file is read again
// for a moment.
std::string ReadHolderLine(int fd) {
    std::string line;
    for (int attempt = 0; attempt < 20; ++attempt) {
        char buf[512];
        const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
        line.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
        line = line.substr(0, line.find('\n'));
        if (!line.empty()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return line;
}

} // namespace

CFileLock::~CFileLock() {
    Release();
}

int CFileLock::Acquire(const std::string& path, const std::string& note, std::string& holder) {
    Release();
    holder.clear();
    // Non-blocking open: a FIFO planted under the name must not hold the start.
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
    if (fd < 0 && errno == EACCES) {
        // Another user's lock file: the lock is shared all the same, only the line stays.
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
    }
    if (fd < 0) {
        return errno;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return EPERM;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? kLockHeld : errno;
        if (err == kLockHeld) {
            holder = ReadHolderLine(fd);
        }
        ::close(fd);
        return err;
    }
    if (writable) {
        const std::string line = note + "\n";
        // Written over the old line, then cut: a reader never meets an empty file.
        if (::pwrite(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size())) {
            // The holder line only informs; a longer old one left behind is harmless.
            [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(line.size()));
        }
    }
    m_fd = fd;
    return 0;
}

void CFileLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing drops the flock
        m_fd = -1;
    }
}

} // namespace platform
