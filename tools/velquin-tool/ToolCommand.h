#pragma once
// The command table of velquin-tool. A command file registers itself with
//   static const ToolCommandRegistration reg{"name", "one-line summary", "usage text", Run};
// Run gets the arguments after the command name and returns the exit code. Errors go to
// stderr with a non-zero exit.
#include <string>
#include <vector>

using ToolArgs = std::vector<std::string>;
using ToolRunFn = int (*)(const ToolArgs& args);

struct ToolCommand {
    const char* name;
    const char* summary;
    const char* usage;
    ToolRunFn run;
};

struct ToolCommandRegistration {
    ToolCommandRegistration(const char* name, const char* summary, const char* usage,
                            ToolRunFn run);
};

const std::vector<ToolCommand>& ToolCommands();

// Small argument helpers shared by the commands.
bool IsHelpFlag(const std::string& arg);
// Takes the value of "--name VALUE" or "--name=VALUE" at args[i]; advances i. False when the
// argument is not that option; sets `error` when the value is missing.
bool TakeOption(const ToolArgs& args, std::size_t& i, const std::string& name, std::string& value,
                bool& error);
int ToolUsageError(const ToolCommand& cmd, const std::string& message);
const ToolCommand& FindToolCommand(const char* name);
