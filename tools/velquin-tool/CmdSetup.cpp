// velquin-tool setup: writes the main settings key the way the fax printer's installer does.
#include "ToolCommand.h"

#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "resources/Strings.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "usage: velquin-tool setup --fax-dir DIR --data-dir DIR [--prog-dir DIR] [--create]\n"
    "                          [--api-host HOST[:PORT]] [--web-host HOST[:PORT]]\n"
    "                          [--user ID] [--password-file FILE]\n"
    "Writes ProgDir, FaxDir and DataDir (and the optional values) into the settings key.\n"
    "  --prog-dir DIR        the program directory (default: this tool's directory)\n"
    "  --create              create FaxDir and DataDir when they are missing\n"
    "  --password-file FILE  the service password (first line) to remember\n";

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("setup");
    std::string progDir = platform::ExecutableDir(), faxDir, dataDir, apiHost, webHost, user,
                passwordFile;
    bool create = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (TakeOption(args, i, "--prog-dir", progDir, missing) ||
            TakeOption(args, i, "--fax-dir", faxDir, missing) ||
            TakeOption(args, i, "--data-dir", dataDir, missing) ||
            TakeOption(args, i, "--api-host", apiHost, missing) ||
            TakeOption(args, i, "--web-host", webHost, missing) ||
            TakeOption(args, i, "--user", user, missing) ||
            TakeOption(args, i, "--password-file", passwordFile, missing)) {
            if (missing) {
                return ToolUsageError(cmd, args[i] + " needs a value");
            }
        } else if (args[i] == "--create") {
            create = true;
        } else {
            return ToolUsageError(cmd, "unknown argument '" + args[i] + "'");
        }
    }
    if (faxDir.empty() || dataDir.empty()) {
        return ToolUsageError(cmd, "--fax-dir and --data-dir are required");
    }
    for (const std::string* dir : {&faxDir, &dataDir}) {
        if (create && platform::CreatePrivateDirs(*dir) != 0) {
            std::fprintf(stderr, "velquin-tool setup: cannot create %s\n", dir->c_str());
            return 1;
        }
        if (!platform::IsDirectory(*dir)) {
            std::fprintf(stderr, "velquin-tool setup: %s is not a directory (use --create)\n",
                         dir->c_str());
            return 1;
        }
    }
    std::string password;
    if (!passwordFile.empty()) {
        if (platform::ReadFile(passwordFile, password) != 0) {
            std::fprintf(stderr, "velquin-tool setup: cannot read %s\n", passwordFile.c_str());
            return 1;
        }
        password = password.substr(0, password.find_first_of("\r\n"));
    }

    CSetupValues values{progDir, faxDir, dataDir, apiHost, webHost, user, std::nullopt};
    if (!passwordFile.empty()) {
        values.password = password;
    }
    if (const std::string error = WriteSetupKey(values); !error.empty()) {
        std::fprintf(stderr, "velquin-tool setup: cannot write the settings: %s\n", error.c_str());
        return 1;
    }
    std::printf("Settings written to %s\n",
                platform::HivePath(platform::Hive::LocalMachine).c_str());
    return 0;
}

const ToolCommandRegistration kReg{"setup", "write the settings key (directories, service hosts)",
                                   kUsage, Run};
} // namespace
