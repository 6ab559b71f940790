#include "app/Log.h"

#include "platform/Files.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<bool> g_verbose{false};
std::mutex g_pathLock;
std::string g_path;

std::string StateDir() {
    if (const char* d = std::getenv("XDG_STATE_HOME"); d && *d) {
        return d;
    }
    const char* home = std::getenv("HOME");
    return platform::JoinPath(home && *home ? home : ".", ".local/state");
}
} // namespace

void SetVerbose(bool on) {
    g_verbose = on;
}
bool IsVerbose() {
    return g_verbose;
}

bool IsVerboseSwitch(std::string_view arg) {
    if (!arg.empty() && (arg.front() == '/' || arg.front() == '-')) {
        arg.remove_prefix(1);
    }
    return arg == "v";
}

std::string LogFilePath() {
    std::lock_guard lock(g_pathLock);
    if (g_path.empty()) {
        std::string dir = platform::ExecutableDir();
        if (::access(dir.c_str(), W_OK) != 0) {
            std::string state = StateDir();
            ::mkdir(state.c_str(), 0700);
            dir = platform::JoinPath(state, "velquin");
            ::mkdir(dir.c_str(), 0700);
        }
        g_path = platform::JoinPath(dir, "Velquin.log");
    }
    return g_path;
}

void LogLine(std::string_view line) {
    if (!g_verbose) {
        return;
    }
    // Opened and closed per line, as the original did: a crash loses nothing already logged.
    FILE* f = std::fopen(LogFilePath().c_str(), "a");
    if (!f) {
        return;
    }
    std::fprintf(f, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fclose(f);
}

void ResetLogForTest() {
    std::lock_guard lock(g_pathLock);
    g_path.clear();
}
