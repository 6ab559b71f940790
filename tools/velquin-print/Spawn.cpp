#include "Spawn.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Lowers one limit of the calling process (a bound above the hard limit stays at the hard one).
void Lower(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit now {};
    if (::getrlimit(resource, &now) != 0) {
        return;
    }
    struct rlimit want {};
    want.rlim_max = now.rlim_max == RLIM_INFINITY || hard < now.rlim_max ? hard : now.rlim_max;
    want.rlim_cur = soft < want.rlim_max ? soft : want.rlim_max;
    ::setrlimit(resource, &want);
}

} // namespace

int RunProgram(const std::vector<std::string>& argv, std::string& output, volatile pid_t* child,
               const ChildLimits& limits, ChildEnd* end) {
    if (argv.empty()) {
        return -1;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    // Carries errno when the program cannot be started; closed by a successful exec.
    int execFds[2];
    if (::pipe2(execFds, O_CLOEXEC) != 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const bool bounded = limits.cpuSeconds != RLIM_INFINITY || limits.memoryBytes != RLIM_INFINITY;
    // fork, not posix_spawn: the limits are set in the child before it runs the program.
    pid_t pid = ::fork();
    if (pid == 0) {
        int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(pipeFds[1], 1) < 0 || ::dup2(pipeFds[1], 2) < 0) {
            ::_exit(127);
        }
        for (int fd = 0; fd <= 2; ++fd) {
            ::fcntl(fd, F_SETFD, 0); // dup2 onto itself keeps close-on-exec
        }
        if (bounded) {
            Lower(RLIMIT_CORE, 0, 0);
            if (limits.cpuSeconds != RLIM_INFINITY) {
                // SIGXCPU at the bound, SIGKILL a little later for a program that ignores it.
                Lower(RLIMIT_CPU, limits.cpuSeconds, limits.cpuSeconds + 5);
            }
            if (limits.memoryBytes != RLIM_INFINITY) {
                Lower(RLIMIT_AS, limits.memoryBytes, limits.memoryBytes);
            }
        }
        ::execvp(args[0], args.data());
        int err = errno;
        ssize_t ignored = ::write(execFds[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(execFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(execFds[0]);
        return -1;
    }
    if (child != nullptr) {
        *child = pid;
    }
    int execErr = 0;
    ssize_t got = 0;
    while ((got = ::read(execFds[0], &execErr, sizeof execErr)) < 0 && errno == EINTR) {
    }
    ::close(execFds[0]);
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0 && output.size() < 16384) {
            output.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (child != nullptr) {
        *child = 0;
    }
    if (got > 0) {
        return -1;
    }
    if (end != nullptr) {
        end->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        end->cpuSeconds =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    }
    const char* env = std::getenv("PATH");
    std::string path = std::string(env ? env : "") + ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string dir = path.substr(start, end - start);
        if (!dir.empty()) {
            std::string full = dir + "/" + name;
            if (::access(full.c_str(), X_OK) == 0) {
                return full;
            }
        }
        start = end + 1;
    }
    return {};
}
