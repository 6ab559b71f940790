#pragma once
// A mailing sent again to the recipients it did not reach.
#include "store/FaxRecords.h"

#include <string>
#include <vector>

// Whether `entry` is a mailing (from a list or personalised) with a recipient whose state is
// "not delivered".
bool HasUndelivered(const CFaxEntryBase& entry);

// The recipient lines ("number label", as a phone list gives them) of the mailing's
// recipients that were not delivered, in the mailing's order, each number once.
std::vector<std::string> UndeliveredLines(const CFaxEntryBase& mailing);
