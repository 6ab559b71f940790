#include "platform/DirWatch.h"

#include "platform/Sync.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

CDirWatch::~CDirWatch() {
    Close();
}

namespace {
// Reads every queued record; true when there was any. `gone` is set when the watched
// directory itself went away.
bool Drain(int fd, bool& gone) {
    bool any = false;
    alignas(inotify_event) char buf[8192];
    for (;;) {
        ssize_t len = ::read(fd, buf, sizeof buf);
        if (len <= 0) {
            return any;
        }
        any = true;
        for (ssize_t off = 0; off < len;) {
            auto* ev = reinterpret_cast<inotify_event*>(buf + off);
            if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                gone = true;
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
}
} // namespace

bool CDirWatch::Arm(const std::string& dir) {
    // The new watch is made before the old one is closed, and records still queued on the old
    // one count as a change: nothing that happens during a re-arm is lost.
    int oldFd = m_fd;
    m_fd = -1;
    m_wd = -1;
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0) {
        // Names (create, delete, move) and last-write times (close after write, attributes).
        const std::uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                   IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR;
        int wd = ::inotify_add_watch(fd, dir.c_str(), mask);
        if (wd >= 0) {
            m_fd = fd;
            m_wd = wd;
        } else {
            ::close(fd);
        }
    }
    if (oldFd >= 0) {
        bool gone = false;
        if (Drain(oldFd, gone)) {
            m_pendingChange = true;
        }
        ::close(oldFd);
    }
    return m_fd >= 0;
}

void CDirWatch::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_wd = -1;
}

CDirWatch::Result CDirWatch::Wait(const std::vector<CEvent*>& exitEvents, int timeoutMs) {
    auto exitSignalled = [&] {
        for (CEvent* ev : exitEvents) {
            if (ev->TryWait()) {
                return true;
            }
        }
        return false;
    };
    for (CEvent* ev : exitEvents) {
        ev->WakeFd(); // before the first check, so no Set can slip between check and poll
    }
    if (exitSignalled()) {
        return Result::Exit;
    }
    if (m_pendingChange) {
        m_pendingChange = false;
        return Result::Change;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<pollfd> fds;
        for (CEvent* ev : exitEvents) {
            fds.push_back({ev->WakeFd(), POLLIN, 0});
        }
        const std::size_t watchIndex = fds.size();
        if (m_fd >= 0) {
            fds.push_back({m_fd, POLLIN, 0});
        }
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now())
                        .count();
        if (left < 0) {
            left = 0;
        }
        int r = ::poll(fds.data(), fds.size(), timeoutMs < 0 ? -1 : static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            return Result::Error;
        }
        if (r > 0) {
            for (std::size_t i = 0; i < watchIndex; ++i) {
                if (fds[i].revents & POLLIN) {
                    std::uint64_t count;
                    [[maybe_unused]] ssize_t rd = ::read(fds[i].fd, &count, sizeof count);
                }
            }
            if (exitSignalled()) {
                return Result::Exit;
            }
        }
        if (r > 0 && fds.size() > watchIndex && (fds[watchIndex].revents & POLLIN)) {
            bool gone = false;
            Drain(m_fd, gone);
            if (gone) {
                Close(); // the directory went away; re-armed at the next re-creation interval
            }
            return Result::Change;
        }
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) {
            return Result::Timeout;
        }
    }
}

} // namespace platform
