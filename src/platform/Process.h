#pragma once
// Starting programs: never through a shell command line.
#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (searched in PATH when it has no "/") with the argument vector, detached
// (the child is reaped). False when it could not be started.
bool StartProgram(const std::vector<std::string>& argv);
// The same, and a failed end of the program is told by EndedInFailure under `label`.
bool StartProgram(const std::vector<std::string>& argv, const std::string& label);

// A labelled child that ended with a non-zero code or by a signal.
struct FailedChild {
    std::string label;
    std::string program;
    int code = 0; // the exit code, or 128 + the signal
};
// Reaps every child of StartProgram that has ended (none is left a zombie) and returns the
// labelled ones that failed since the last call. Never waits.
std::vector<FailedChild> EndedInFailure();
// True while a child of StartProgram may still run.
bool ChildrenRunning();

// The shell's "open" action: xdg-open with the target (file or address). The opener can be
// replaced for tests by $VELQUIN_OPENER. Its failure is told by EndedInFailure as `label`.
bool ShellOpen(const std::string& target, const std::string& label);
// The program ShellOpen starts, for messages that say which one could not be started.
std::string ShellOpener();

} // namespace platform
