// The address-book import reader. The first input byte picks the separator, the ignore flag,
// the field positions and the encoding, so the fuzzer explores the dialog's choices along with
// the text.
#include "addressbook/Import.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const unsigned choice = data[0];
    static constexpr char32_t kSeparators[] = {U';', U',', U'\t', U' ', U'|', U'ж', U'"', U'@'};
    CImportOptions options;
    options.separator = kSeparators[choice & 7];
    options.ignoreInvalid = (choice & 8) != 0;
    options.areaPrefix = "812";
    const int shift = static_cast<int>((choice >> 4) & 3);
    options.map.codes = {kFieldNumber, kFieldCompany, kFieldPerson};
    options.map.positions = {shift, (shift + 1) % 4, (shift + 2) % 4};
    if (choice & 0x40) {
        options.map.codes.push_back(kFieldSkip);
        options.map.positions.push_back(3);
    }
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<CImportRow> rows;
    ParseImportText(text, options, rows);
    // The bytes once more in the encoding a user may pick (UTF-16 files go by their mark).
    options.encoding = (choice & 0x80) != 0 ? ImportEncoding::Utf8 : ImportEncoding::Cp1251;
    rows.clear();
    ParseImportText(text, options, rows);
    return 0;
}
