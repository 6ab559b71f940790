#pragma once
// Trace lines of the store go to the program's log writer.
#include "app/Log.h"

#include <string>

inline void StoreTrace(const std::string& line) {
    LogLine(line);
}
