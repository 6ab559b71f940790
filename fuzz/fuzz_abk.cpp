// Address books: a damaged book may throw an archive error, nothing else.
#include "addressbook/AddrBook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (auto book = ReadBook(bytes)) {
            WriteBook(*book);
        }
    } catch (const CArchiveException&) {
    } catch (const CFileException&) {
    }
    return 0;
}
