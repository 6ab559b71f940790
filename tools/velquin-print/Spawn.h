#pragma once
// Running a helper program (Ghostscript, lpadmin) with an argument vector, never a shell.
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

// What a child may take: processor seconds and address space (RLIM_INFINITY: no bound).
struct ChildLimits {
    rlim_t cpuSeconds = RLIM_INFINITY;
    rlim_t memoryBytes = RLIM_INFINITY;
};

// How a child ended beyond its exit code: the signal that killed it (0: none) and the
// processor time it used.
struct ChildEnd {
    int signal = 0;
    double cpuSeconds = 0;
};

// Runs argv[0] (searched in PATH when it has no "/"), stdin from /dev/null, its stdout and
// stderr collected into `output` (the first 16 KiB), under `limits` (and never leaving a core
// file when bounded). The child's pid is kept in *child while it runs. Returns its exit code,
// 128 when it was killed, -1 when it could not be started.
int RunProgram(const std::vector<std::string>& argv, std::string& output,
               volatile pid_t* child = nullptr, const ChildLimits& limits = {},
               ChildEnd* end = nullptr);

// The full path of `name` found in PATH and the system program folders, or "".
std::string FindProgram(const std::string& name);
