#pragma once
// Phone number rules: every number handed to the service is a string of decimal digits in
// dialling form ("8" + area code + number, or "810" + country code ...).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Message ids of the phone rules.
constexpr unsigned kMsgBadPhoneNumber = 141;       // stop sign
constexpr unsigned kMsgNumberMustStartWith8 = 142; // unused by the rules, kept for dialogs
constexpr unsigned kMsgEmptyAreaCode = 169;
constexpr unsigned kMsgShortNumbersCompleted = 2044; // %s = DefaultAreaCode
constexpr unsigned kMsgDuplicateNumbers = 2045;

// A typed number needs more than this many digits before it is completed and accepted.
constexpr std::size_t kMaxShortNumberDigits = 4;

// Trims surrounding white space, then keeps only the ASCII digits, in order.
void KeepDigits(std::string& text);

// Puts `areaPrefix` in front of a number that does not begin with "8" (an empty number
// becomes the prefix alone). Returns whether the prefix was added.
bool AddAreaPrefix(std::string& text, std::string_view areaPrefix);
// The same with the DefaultAreaCode setting.
bool AddAreaPrefix(std::string& text);

// Numbers typed or read are filtered as DiallingDigits says (a leading "+" dialled "810"), then
// completed with the area prefix unless they begin with "8".

// Single fax dialog, leaving the number field: filtered and completed when it has at least
// five digits; shorter numbers stay as their digits.
std::string NumberOnLeavingField(std::string_view typed, std::string_view areaPrefix);

// A number typed in a send dialog and confirmed ("Готово" of the single fax dialog, "В список"
// of the recipient list dialog): filtered and completed. False when it has four digits or
// fewer; `number` then holds the filtered digits (the single fax dialog shows message 141 and
// leaves them in the field, the list dialog ignores the number).
bool NormalizeTypedNumber(std::string_view typed, std::string_view areaPrefix, std::string& number);

// The number field of a phone list or recipient file line: filtered, always completed
// (an empty field becomes the prefix alone). Returns whether the prefix was added, for the
// notice of message 2044.
bool NumberFromListField(std::string_view field, std::string_view areaPrefix, std::string& number);

// Duplicate rules of a recipient list (lines "number label").
// A typed number: some line equals it as a whole (ASCII case ignored).
bool IsDuplicateTypedNumber(const std::vector<std::string>& lines, std::string_view number);
// A number from a file or an address book: some line begins with it (ASCII case ignored).
bool IsDuplicateListNumber(const std::vector<std::string>& lines, std::string_view number);

// Adds a typed number unless it is a duplicate; false (the caller beeps) when it was not added.
bool AddTypedNumber(std::vector<std::string>& lines, std::string_view number);
// Appends numbers from files and address books to a recipient list. The lines' indices are also
// kept in the lines' lower-cased order, where the lines that begin with a number lie together from
// the place the number itself would take: a list of a million lines is checked in n log n, not n
// squared, with four bytes per line (sorted blocks of indices, not a copy of every line).
class CListAppender {
public:
    explicit CListAppender(std::vector<std::string>& lines);
    // Adds "number label" unless the number is a duplicate; sets `duplicateSeen` when skipped.
    bool Add(std::string_view number, std::string_view label, bool& duplicateSeen);

private:
    std::vector<std::string>& m_lines;
    std::vector<std::vector<std::uint32_t>> m_blocks; // each non-empty, all in order
};
