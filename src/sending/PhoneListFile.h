#pragma once
// Reading the files people write for mass faxes: the phone list of the recipient list dialog
// and the recipient file of the personalised mass fax. Both are read as ReadUserTextLines says:
// line by line in pieces of at most 510 bytes.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Filter of the phone list and recipient file dialogs.
constexpr const char* kPhoneFileFilter =
    "CSV files (*.CSV) |*.CSV|Text files (*.TXT) |*.TXT|All files (*.*)|*.*||";

constexpr std::size_t kListLinePiece = 510;

// Lines of a text file people write (UTF-16 after its byte-order mark, else as DecodeUserText
// says), decoded to UTF-8, each cut into pieces of at most `maxBytes` bytes (as a fixed line
// buffer reads them). A final line without a line end counts; a line end at the very end adds
// no empty line.
std::vector<std::string> ReadUserTextLines(const std::string& bytes, std::size_t maxBytes);
// The same lines one by one, with how far the decoded text has been read (done of total
// bytes): a long list is not held twice (`bytes` go once decoded). `line` returns false to stop.
void ForEachUserTextLine(
    std::string bytes, std::size_t maxBytes,
    const std::function<bool(std::string_view line, std::size_t done, std::size_t total)>& line);

// The fields of one phone list or recipient file line: number up to the first ';' or control
// character; after ';' and blanks the second field up to the next ';' or control character;
// after one more character and blanks the third field up to a control character.
struct CListLineFields {
    std::string number;
    std::string second;
    std::string third;
};
CListLineFields SplitListLine(std::string_view line);

// "number label" -> number and label (label trimmed at its left); no blank: all number.
void SplitRecipientLine(const std::string& line, std::string& number, std::string& label);

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
