#pragma once
// A mailing sent again to the recipients it did not reach.
#include "store/FaxRecords.h"

#include <cstdint>

#include <string>
#include <vector>

// Whether `entry` is a mailing (from a list or personalised) with a recipient whose state is
// "not delivered".
bool HasUndelivered(const CFaxEntryBase& entry);

// The recipient lines ("number label", as a phone list gives them) of the mailing's
// recipients that were not delivered, in the mailing's order, each number once.
std::vector<std::string> UndeliveredLines(const CFaxEntryBase& mailing);

// The print run that sends a personalised mailing again to its undelivered recipients: their
// own pages one after another, and the recipient file that names them in the same order.
struct CResendRun {
    std::string runPath;
    std::string recipientsPath;
    std::int32_t pagesPerRecipient = 0;
    std::int32_t recipients = 0;
};

// Writes that run into `dir` (a private work folder); the recipients' images are found in
// `storeDir` (DataDir/SentFaxes). "" when done, else the message for the user: an image that
// cannot be read, or recipients with different page counts (one run cuts equal parts).
std::string BuildResendRun(const CPersonalFaxEntry& mailing, const std::string& storeDir,
                           const std::string& dir, CResendRun& run);
