// The fax printer's name files: a ".tag" read on both system generations, and a ".grp"
// status file that turns into the name file when it reports a finished print.
#include "FuzzSupport.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"
#include "store/DocumentIntake.h"

#include <cstddef>
#include <cstdint>

namespace {

void LoadOn(int major, const std::string& dir) {
    platform::SetSystemVersionForTest(platform::SystemVersion{major, 1});
    DocumentList documents;
    LoadDocuments(documents, dir);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string dir = fuzz_support::ScratchDir();
    static const std::uint8_t kImage[] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    fuzz_support::WriteScratch("Fax.tif", kImage, sizeof kImage);

    fuzz_support::WriteScratch("Fax.tag", data, size);
    LoadOn(5, dir);
    LoadOn(6, dir);
    platform::DeleteFile(dir + "/Fax.tag");

    fuzz_support::WriteScratch("Fax.grp", data, size);
    LoadOn(6, dir); // may write Fax.tag and delete Fax.grp
    platform::DeleteFile(dir + "/Fax.tag");
    platform::DeleteFile(dir + "/Fax.grp");
    return 0;
}
