// Phone lists and recipient files as people write them: any bytes, any encoding, any length.
#include "FuzzSupport.h"
#include "sending/PhoneListFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::WriteScratch("list.txt", data, size);
    std::vector<std::string> lines;
    bool seen = false;
    if (!ReadPhoneListFile(path, "812", lines, seen)) {
        std::abort(); // the file is there: reading it cannot fail
    }
    lines.clear();
    if (!ReadRecipientFile(path, "812", lines, seen)) {
        std::abort();
    }
    return 0;
}
