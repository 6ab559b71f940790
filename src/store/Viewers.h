#pragma once
// Opening the store's files for the user: fax images in the own viewer when it is chosen,
// anything else (a PDF, a picture, a web address) with the desktop's program.
#include "app/Ports.h"
#include "store/FaxRecords.h"

#include <string>
#include <string_view>

class CViewers {
public:
    explicit CViewers(IPrompt& prompt) : m_prompt(prompt) {}

    // Opens the record's image; the caller clears the unread mark. A file that is not there or
    // a viewer that does not start is reported naming the file: false.
    bool ShowFile(const CAttach& record);
    // The same for a sent record's file, found by its name in SentFaxes.
    bool ShowSentFile(const CAttach& record);
    // Opens a file or an address ("scheme://...") with the desktop's program; a missing file
    // or an opener that does not start is reported naming the target, or `shownName` when the
    // target is not fit to show: false.
    bool OpenOutside(const std::string& target, std::string_view shownName = {});
    // Tells each opener started by OpenOutside that has since ended in failure (no program
    // for the file, a broken desktop setting). Called from time to time on the GUI thread.
    void TellFailedOpeners();

private:
    bool ShowPath(const std::string& path, const std::string& title);
    void ReportMissing(const std::string& path);

    IPrompt& m_prompt;
};

// Where a sent record's stored path is in SentFaxes now; "" when it names no file.
std::string SentFilePath(const std::string& storedPath);
