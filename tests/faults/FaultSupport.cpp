#include "FaultSupport.h"

#include "platform/Files.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace faults {

namespace {

constexpr uid_t kNobody = 65534;

void WriteAll(int fd, const std::string& text) {
    for (std::size_t off = 0; off < text.size();) {
        ssize_t n = ::write(fd, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        off += static_cast<std::size_t>(n);
    }
}

std::string ReadAll(int fd) {
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return out;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child forked while another thread is inside the allocator (a thread just started, as the
// worker registry's reaper is by the fixture, allocates while it sets itself up) inherits the
// allocator's lock held for ever: its own threads then hang (seen under AddressSanitizer). So
// the fork waits, for at most two seconds, until every other thread is asleep.
pid_t ForkWhenOtherThreadsSleep() {
    const std::string self = std::to_string(::gettid());
    for (int i = 0; i < 2000; ++i) {
        bool busy = false;
        for (const platform::DirEntry& task : platform::ListDir("/proc/self/task")) {
            std::string stat;
            if (task.name != self &&
                platform::ReadFile("/proc/self/task/" + task.name + "/stat", stat) == 0) {
                const std::size_t close = stat.rfind(')');
                busy = busy || (close != std::string::npos && close + 2 < stat.size() &&
                                stat[close + 2] == 'R');
            }
        }
        if (!busy) {
            break;
        }
        ::usleep(1000);
    }
    return ::fork();
}

// Exit codes the child uses for its own set-up failures.
constexpr int kLimitFailed = 120;
constexpr int kDropFailed = 121;

} // namespace

ChildResult RunInChild(const ChildLimits& limits, const std::function<int(std::string&)>& work) {
    ChildResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.report = "pipe failed";
        return result;
    }
    pid_t pid = ForkWhenOtherThreadsSleep();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        result.report = "fork failed";
        return result;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (limits.maxFileBytes >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit rl{static_cast<rlim_t>(limits.maxFileBytes),
                      static_cast<rlim_t>(limits.maxFileBytes)};
            if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) {
                ::_exit(kLimitFailed);
            }
        }
        if (limits.unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(kDropFailed);
            }
        }
        std::string report;
        int code = work(report);
        WriteAll(fds[1], report);
        ::_exit(code);
    }
    ::close(fds[1]);
    result.report = ReadAll(fds[0]);
    ::close(fds[0]);
    result.exitCode = WaitExit(pid);
    if (result.exitCode == kLimitFailed) {
        result.report += "(setrlimit failed)";
    } else if (result.exitCode == kDropFailed) {
        result.report += "(dropping privileges failed)";
    }
    return result;
}

void MakeReadOnly(const std::string& root, const std::string& dir) {
    const bool rootUser = ::geteuid() == 0;
    for (std::string d = dir;; d = platform::DirName(d)) {
        struct stat st;
        if (::stat(d.c_str(), &st) == 0) {
            mode_t mode = (st.st_mode & 07777) | 0055;
            if (d == dir) {
                mode = rootUser ? 0755 : 0555;
            }
            ::chmod(d.c_str(), mode);
        }
        if (d == root || d.size() <= root.size()) {
            break;
        }
    }
}

void MakeWritable(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) {
        ::chmod(dir.c_str(), (st.st_mode & 07777) | 0700);
    }
}

std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const platform::DirEntry& e : platform::ListDir(dir)) {
        if (e.isDir) {
            continue;
        }
        std::string bytes;
        platform::ReadFile(platform::JoinPath(dir, e.name), bytes);
        files[e.name] = std::move(bytes);
    }
    return files;
}

std::string NewNames(const std::map<std::string, std::string>& before,
                     const std::map<std::string, std::string>& after) {
    std::string names;
    for (const auto& [name, bytes] : after) {
        if (before.count(name) == 0) {
            names += (names.empty() ? "" : ", ") + name;
        }
    }
    return names;
}

int StartLoopingChild(const std::function<void(int reportFd)>& loop, int& readFd) {
    int fds[2];
    readFd = -1;
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t pid = ForkWhenOtherThreadsSleep();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        ::close(fds[0]);
        WriteAll(fds[1], "r");
        loop(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    readFd = fds[0];
    return pid;
}

bool KillChild(int pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace faults
