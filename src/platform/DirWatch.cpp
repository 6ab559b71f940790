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

bool CDirWatch::Arm(const std::string& dir) {
    Close();
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        return false;
    }
    // Names (create, delete, move) and last-write times (close after write, attributes).
    const std::uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                               IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                               IN_ONLYDIR;
    m_wd = ::inotify_add_watch(m_fd, dir.c_str(), mask);
    if (m_wd < 0) {
        Close();
        return false;
    }
    return true;
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
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
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
            alignas(inotify_event) char buf[8192];
            for (;;) {
                ssize_t len = ::read(m_fd, buf, sizeof buf);
                if (len <= 0) {
                    break;
                }
                for (ssize_t off = 0; off < len;) {
                    auto* ev = reinterpret_cast<inotify_event*>(buf + off);
                    if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                        gone = true;
                    }
                    off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                }
            }
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
