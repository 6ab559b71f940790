#pragma once
// Reading the files people write for mass faxes: the phone list of the recipient list dialog
// and the recipient file of the personalised mass fax. Both are read as ReadUserTextLines says:
// line by line in pieces of at most 510 bytes.
#include <functional>
#include <string>
#include <vector>

constexpr std::size_t kListLinePiece = 510;

// Told (lines done, lines in the file) now and then while a phone list is read; the reading
// stops when it returns false. May run on any thread.
using ListReadProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Phone list lines appended to `lines` as "number label" (numbers completed silently,
// duplicates by prefix skipped). False when the file cannot be read; `duplicateSeen` is set
// when a number was skipped. When `progress` stops the reading, `*cancelled` is set and
// `lines` is left as it was.
bool ReadPhoneListFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& duplicateSeen,
                       const ListReadProgress& progress = {}, bool* cancelled = nullptr);

// One reading of a phone list into a copy of a recipient list, to run off the GUI thread.
struct CPhoneListRead {
    std::string path;
    std::string areaPrefix;
    std::vector<std::string> lines;
    bool opened = false;
    bool duplicate = false;
    bool cancelled = false;
};

// Recipient file lines as "number second third", one per line, blank lines included.
// False when the file cannot be read; `completed` is set when a number got the area prefix.
bool ReadRecipientFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& completed);
