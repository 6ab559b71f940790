// Registry hive files: whatever the reader accepts, the writer's form must read back to itself.
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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
    return 0;
}
