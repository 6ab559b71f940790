#pragma once
// Running a helper program (Ghostscript, lpadmin) with an argument vector, never a shell.
#include <string>
#include <sys/types.h>
#include <vector>

// Runs argv[0] (searched in PATH when it has no "/"), stdin from /dev/null, its stdout and
// stderr collected into `output` (the first 16 KiB). The child's pid is kept in *child while
// it runs. Returns its exit code, 128 when it was killed, -1 when it could not be started.
int RunProgram(const std::vector<std::string>& argv, std::string& output,
               volatile pid_t* child = nullptr);

// The full path of `name` found in PATH and the system program folders, or "".
std::string FindProgram(const std::string& name);
