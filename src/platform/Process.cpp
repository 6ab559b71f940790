#include "platform/Process.h"

#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace platform {
namespace {
struct Child {
    pid_t pid;
    std::string label;
    std::string program;
};
std::mutex g_childLock;
std::vector<Child> g_children;       // under g_childLock
std::vector<FailedChild> g_failures; // under g_childLock

// Collects the children that have ended; the failures of labelled ones are kept.
void ReapLocked() {
    std::erase_if(g_children, [](const Child& c) {
        int status = 0;
        const pid_t done = ::waitpid(c.pid, &status, WNOHANG);
        if (done == 0) {
            return false;
        }
        if (done == c.pid && !c.label.empty()) {
            const int code = WIFEXITED(status)     ? WEXITSTATUS(status)
                             : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                   : 0;
            if (code != 0) {
                g_failures.push_back({c.label, c.program, code});
            }
        }
        return true; // ended, or not ours to wait for any more
    });
}
} // namespace

bool StartProgram(const std::vector<std::string>& argv) {
    return StartProgram(argv, {});
}

bool StartProgram(const std::vector<std::string>& argv, const std::string& label) {
    if (argv.empty() || argv[0].empty()) {
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return false;
    }
    // Children are reaped without a thread: at the next start or when the window asks.
    std::lock_guard lock(g_childLock);
    ReapLocked();
    g_children.push_back({pid, label, argv[0]});
    return true;
}

std::vector<FailedChild> EndedInFailure() {
    std::lock_guard lock(g_childLock);
    ReapLocked();
    return std::exchange(g_failures, {});
}

bool ChildrenRunning() {
    std::lock_guard lock(g_childLock);
    return !g_children.empty();
}

std::string ShellOpener() {
    const char* opener = std::getenv("VELQUIN_OPENER");
    return opener && *opener ? opener : "xdg-open";
}

bool ShellOpen(const std::string& target, const std::string& label) {
    return StartProgram({ShellOpener(), target}, label);
}

} // namespace platform
