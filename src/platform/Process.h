#pragma once
// Starting programs: never through a shell command line.
#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (searched in PATH when it has no "/") with the argument vector, detached
// (the child is reaped). False when it could not be started.
bool StartProgram(const std::vector<std::string>& argv);

// The shell's "open" action: xdg-open with the target (file or address). The opener can be
// replaced for tests by $VELQUIN_OPENER.
bool ShellOpen(const std::string& target);
// The program ShellOpen starts, for messages that say which one could not be started.
std::string ShellOpener();

} // namespace platform
