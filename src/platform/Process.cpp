#include "platform/Process.h"

#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {
std::mutex g_childLock;
std::vector<pid_t> g_children;
} // namespace

bool StartProgram(const std::vector<std::string>& argv) {
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
    // Children are reaped without a thread: finished ones are collected at the next start.
    std::lock_guard lock(g_childLock);
    std::erase_if(g_children, [](pid_t c) {
        int status = 0;
        return ::waitpid(c, &status, WNOHANG) != 0;
    });
    g_children.push_back(pid);
    return true;
}

std::string ShellOpener() {
    const char* opener = std::getenv("VELQUIN_OPENER");
    return opener && *opener ? opener : "xdg-open";
}

bool ShellOpen(const std::string& target) {
    return StartProgram({ShellOpener(), target});
}

} // namespace platform
