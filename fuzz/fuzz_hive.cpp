// Registry hive files: whatever the reader accepts, the writer's form must read back to
// itself, and the settings load from it whatever types and lengths its values have.
#include "FuzzSupport.h"
#include "app/Ports.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("VELQUIN_REGISTRY_DIR", fuzz_support::ScratchDir().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<std::string> written = platform::NormaliseHiveText(text);
    if (!written) {
        return 0;
    }
    std::optional<std::string> again = platform::NormaliseHiveText(*written);
    if (!again || *again != *written) {
        std::abort();
    }
    // The settings and the mail client's keys are read from whichever hive holds them.
    for (platform::Hive hive : {platform::Hive::LocalMachine, platform::Hive::CurrentUser}) {
        if (platform::AtomicWriteFile(platform::HivePath(hive), text) != 0) {
            std::abort();
        }
    }
    ResetSettingsForTest();
    CQuietPrompt prompt;
    LoadSettings(prompt);
    return 0;
}
