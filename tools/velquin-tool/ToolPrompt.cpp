#include "ToolCommand.h"

#include "app/Settings.h"
#include "app/VelquinApp.h"
#include "platform/Registry.h"

#include <cstdio>

MsgAnswer CToolPrompt::Message(std::string_view text, MsgIcon, MsgButtons buttons) {
    ++messages;
    std::fprintf(stderr, "velquin-tool: %.*s\n", static_cast<int>(text.size()), text.data());
    return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? MsgAnswer::Ok
                                                                        : MsgAnswer::Yes;
}

void CToolPrompt::FileError(std::string_view text) {
    ++messages;
    std::fprintf(stderr, "velquin-tool: %.*s\n", static_cast<int>(text.size()), text.data());
}

bool LoadToolSettings(CToolPrompt& prompt) {
    if (LoadSettings(prompt)) {
        return true;
    }
    // A damaged or unreadable settings file has been reported by LoadSettings.
    platform::CRegKey key;
    if (key.Open(platform::Hive::LocalMachine, kMainKey) == platform::kRegNotFound) {
        std::fprintf(stderr,
                     "velquin-tool: Velquin is not set up (no settings in %s); run "
                     "'velquin-tool setup' first\n",
                     platform::HivePath(platform::Hive::LocalMachine).c_str());
    }
    return false;
}

bool PrepareToolStore() {
    const std::string& dataDir = Settings().DataDir;
    if (CreateStoreDirectories(dataDir)) {
        return true;
    }
    std::fprintf(stderr, "velquin-tool: the store's folders cannot be created under %s\n",
                 dataDir.c_str());
    return false;
}
