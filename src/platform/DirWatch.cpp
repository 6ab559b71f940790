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

CDirWatch::Result CDirWatch::Wait(CEvent& exitEvent, int timeoutMs) {
    if (exitEvent.TryWait()) {
        return Result::Exit;
    }
    int wake = exitEvent.WakeFd();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2];
        nfds_t n = 0;
        fds[n++] = {wake, POLLIN, 0};
        if (m_fd >= 0) {
            fds[n++] = {m_fd, POLLIN, 0};
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left < 0) {
            left = 0;
        }
        int r = ::poll(fds, n, timeoutMs < 0 ? -1 : static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            return Result::Error;
        }
        if (r > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t rd = ::read(wake, &count, sizeof count);
            if (exitEvent.TryWait()) {
                return Result::Exit;
            }
        }
        if (r > 0 && n > 1 && (fds[1].revents & POLLIN)) {
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
