#pragma once
// The program's one log writer: fixed trace lines, written only with the "v" switch.
#include <string>
#include <string_view>
#include <vector>

// Appends `line` and a newline to the log file when the verbose flag is on; a file that
// cannot be opened is skipped silently.
void LogLine(std::string_view line);

void SetVerbose(bool on);
bool IsVerbose();

// True when `arg`, with or without a leading "/" or "-", is exactly "v" (case-sensitive).
bool IsVerboseSwitch(std::string_view arg);

// The log file: "Velquin.log" beside the executable, or under $XDG_STATE_HOME/velquin
// (default ~/.local/state/velquin) when that directory is not writable.
std::string LogFilePath();

// Tests: forget the computed path.
void ResetLogForTest();
