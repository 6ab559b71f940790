#pragma once
// Reading the files people write for mass faxes: the phone list of the recipient list dialog
// and the recipient file of the personalised mass fax. Both are read as DecodeUserText says
// and line by line in pieces of at most 510 bytes.
#include <string>
#include <vector>

constexpr std::size_t kListLinePiece = 510;

// Phone list lines appended to `lines` as "number label" (numbers completed silently,
// duplicates by prefix skipped). False when the file cannot be read; `duplicateSeen` is set
// when a number was skipped.
bool ReadPhoneListFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& duplicateSeen);

// Recipient file lines as "number second third", one per line, blank lines included.
// False when the file cannot be read; `completed` is set when a number got the area prefix.
bool ReadRecipientFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& completed);
