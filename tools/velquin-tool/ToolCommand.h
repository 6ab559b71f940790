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

#include "app/Ports.h"

// The prompt of a command-line tool: messages and file errors go to stderr, questions are
// answered with the default (Ok / Yes), file dialogs are cancelled.
class CToolPrompt : public IPrompt {
public:
    MsgAnswer Message(std::string_view text, MsgIcon icon, MsgButtons buttons) override;
    std::optional<std::string> AskOpenFile(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    std::optional<std::string> AskSaveFile(std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    void FileError(std::string_view text) override;
    int messages = 0;
};

// Loads the settings for a command; prints a clear error (run 'velquin-tool setup') and
// returns false when Velquin is not set up.
bool LoadToolSettings(CToolPrompt& prompt);
// For commands that write into the store: creates its folders under DataDir as the program's
// start does; prints why and returns false when they cannot be made.
bool PrepareToolStore();
