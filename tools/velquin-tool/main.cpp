// velquin-tool: the command-line companion of Velquin for users, installers and support.
#include "ToolCommand.h"
#include "VelquinVersion.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::vector<ToolCommand>& Table() {
    static std::vector<ToolCommand> table;
    return table;
}

void PrintOverview(FILE* out) {
    std::fprintf(out, "usage: velquin-tool COMMAND [ARGS...]\n\ncommands:\n");
    auto cmds = Table();
    std::sort(cmds.begin(), cmds.end(), [](const ToolCommand& a, const ToolCommand& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    for (const ToolCommand& c : cmds) {
        std::fprintf(out, "  %-14s %s\n", c.name, c.summary);
    }
    std::fprintf(out, "\n'velquin-tool COMMAND --help' shows a command's options;\n"
                      "'velquin-tool --version' the version.\n");
}
} // namespace

ToolCommandRegistration::ToolCommandRegistration(const char* name, const char* summary,
                                                 const char* usage, ToolRunFn run) {
    Table().push_back({name, summary, usage, run});
}

const std::vector<ToolCommand>& ToolCommands() {
    return Table();
}

const ToolCommand& FindToolCommand(const char* name) {
    for (const ToolCommand& c : Table()) {
        if (std::strcmp(c.name, name) == 0) {
            return c;
        }
    }
    static const ToolCommand none{"", "", "", nullptr};
    return none;
}

bool IsHelpFlag(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

bool TakeOption(const ToolArgs& args, std::size_t& i, const std::string& name, std::string& value,
                bool& error) {
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size()) {
            error = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
        value = a.substr(name.size() + 1);
        return true;
    }
    return false;
}

int ToolUsageError(const ToolCommand& cmd, const std::string& message) {
    std::fprintf(stderr, "velquin-tool %s: %s\n%s", cmd.name, message.c_str(), cmd.usage);
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintOverview(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (IsHelpFlag(name) || name == "help") {
        PrintOverview(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("velquin-tool %s\n", kVelquinVersion);
        return 0;
    }
    for (const ToolCommand& c : Table()) {
        if (name == c.name) {
            ToolArgs args(argv + 2, argv + argc);
            if (std::any_of(args.begin(), args.end(), IsHelpFlag)) {
                std::fputs(c.usage, stdout);
                return 0;
            }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "velquin-tool: unknown command '%s'\n", name.c_str());
    PrintOverview(stderr);
    return 2;
}
