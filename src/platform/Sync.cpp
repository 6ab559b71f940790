#include "platform/Sync.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

// One lock and one condition for every event: events are few and rarely signalled, and a
// single condition makes waiting on several events simple and correct.
std::mutex& EventLock() {
    static std::mutex m;
    return m;
}
std::condition_variable& EventCond() {
    static std::condition_variable c;
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
    static std::mutex m;
    return m;
}
std::map<std::string, std::weak_ptr<CEvent>>& NameTable() {
    static std::map<std::string, std::weak_ptr<CEvent>> t;
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

std::string CSingleInstanceLock::LockPath(const std::string& name) {
    const char* rt = std::getenv("XDG_RUNTIME_DIR");
    if (rt && *rt) {
        return std::string(rt) + "/" + name;
    }
    return "/tmp/" + name + "-" + std::to_string(::getuid());
}

bool CSingleInstanceLock::Acquire(const std::string& name) {
    Release();
    int fd = ::open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void CSingleInstanceLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing drops the flock
        m_fd = -1;
    }
}

} // namespace platform
