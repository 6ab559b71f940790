#include "sending/PhoneListFile.h"

#include "platform/Files.h"
#include "sending/PhoneNumbers.h"
#include "sending/SendJob.h"

bool ReadPhoneListFile(const std::string& path, const std::string& areaPrefix,
                       std::vector<std::string>& lines, bool& duplicateSeen) {
    std::string bytes;
    if (platform::ReadFile(path, bytes) != 0) {
        return false;
    }
    for (const std::string& line : ReadUserTextLines(bytes, kListLinePiece)) {
        CListLineFields f = SplitListLine(line);
        std::string number;
        NumberFromListField(f.number, areaPrefix, number);
        AddListNumber(lines, number, f.third, duplicateSeen);
    }
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
