// velquin-tool count-pages FILE: the page count the send dialogs see.
#include "ToolCommand.h"

#include "sending/FaxImage.h"

#include <cstdio>

namespace {

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("count-pages");
    if (args.size() != 1) {
        return ToolUsageError(cmd, "expected one FILE");
    }
    int pages = CountPages(args[0]);
    if (pages == 0) {
        std::fprintf(stderr, "velquin-tool count-pages: %s: not a readable TIFF file\n",
                     args[0].c_str());
        return 1;
    }
    std::printf("%d\n", pages);
    return 0;
}

const ToolCommandRegistration reg{
    "count-pages", "print the number of pages of a fax image",
    "usage: velquin-tool count-pages FILE\n"
    "Prints the number of pages of the TIFF file FILE; exits 1 when it is not a readable\n"
    "TIFF file (the count is then 0).\n",
    Run};

} // namespace
