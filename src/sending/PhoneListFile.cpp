#include "sending/PhoneListFile.h"

#include "platform/Files.h"
#include "sending/PhoneNumbers.h"
#include "sending/SendJob.h"

namespace {
constexpr std::size_t kProgressEveryLines = 4096;
}

bool ReadPhoneListFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& duplicateSeen,
                       const ListReadProgress& progress, bool* cancelled) {
    std::string bytes;
    if (platform::ReadFile(path, bytes) != 0) {
        return false;
    }
    const std::vector<std::string> fileLines = ReadUserTextLines(bytes, kListLinePiece);
    bytes = std::string();
    const std::size_t before = lines.size();
    bool duplicate = false;
    CListAppender list(lines);
    for (std::size_t i = 0; i < fileLines.size(); ++i) {
        if (progress && i % kProgressEveryLines == 0 && !progress(i, fileLines.size())) {
            lines.resize(before);
            if (cancelled != nullptr) {
                *cancelled = true;
            }
            return true;
        }
        CListLineFields f = SplitListLine(fileLines[i]);
        std::string number;
        NumberFromListField(f.number, areaPrefix, number);
        list.Add(number, f.third, duplicate);
    }
    duplicateSeen = duplicateSeen || duplicate;
    return true;
}

bool ReadRecipientFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& completed) {
    std::string bytes;
    if (platform::ReadFile(path, bytes) != 0) {
        return false;
    }
    for (const std::string& line : ReadUserTextLines(bytes, kListLinePiece)) {
        CListLineFields f = SplitListLine(line);
        std::string number;
        if (NumberFromListField(f.number, areaPrefix, number)) {
            completed = true;
        }
        lines.push_back(number + " " + f.second + " " + f.third);
    }
    return true;
}
