// Job files of every record kind, sent (single, list, personalised) and received: a damaged
// file may throw an archive error, nothing else, and a sent record read must write back.
#include "store/FaxRecords.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (auto record = LoadSentRecord(bytes)) {
            StoreRecord(*record);
        }
    } catch (const CArchiveException&) {
    } catch (const CFileException&) {
    }
    try {
        CArchive ar(bytes);
        CReceivedFax fax;
        fax.Serialize(ar);
    } catch (const CArchiveException&) {
    } catch (const CFileException&) {
    }
    return 0;
}
