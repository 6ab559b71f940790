#pragma once
// Trace lines of the store go to the program's log writer.
#include <string>

#if __has_include("app/Log.h")
#include "app/Log.h"
inline void StoreTrace(const std::string& line) {
    LogLine(line);
}
#else
inline void StoreTrace(const std::string&) {}
#endif
