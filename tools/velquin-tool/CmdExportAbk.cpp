// velquin-tool export-abk BOOK TEXTFILE: an address book as the export text of the
// address-book tree's "Экспорт данных".
#include "ToolCommand.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/Export.h"

#include <cstdio>
#include <string>

namespace {

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("export-abk");
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty() ||
        args[1][0] == '-') {
        return ToolUsageError(cmd, "expected BOOK and TEXTFILE");
    }
    const std::string& bookFile = args[0];
    const std::string& textFile = args[1];
    std::string error;
    auto book = ReadBookFile(bookFile, error);
    if (!book) {
        std::fprintf(stderr, "velquin-tool export-abk: %s\n",
                     error.empty()
                         ? (bookFile + ": not an address book (magic is not 10129)").c_str()
                         : error.c_str());
        return 1;
    }
    // Members are resolved across the loaded books, as in the program.
    AddressBooks().Add(std::move(book));
    const CAddrBook& loaded = *AddressBooks().back();
    CToolPrompt prompt;
    if (!ExportBook(loaded, textFile, prompt, nullptr)) {
        return 1;
    }
    std::printf("%zu entries of %s exported to %s\n", loaded.Size(), bookFile.c_str(),
                textFile.c_str());
    return 0;
}

const ToolCommandRegistration reg{
    "export-abk", "export an address book (.abk) as text",
    "usage: velquin-tool export-abk BOOK TEXTFILE\n"
    "Writes one line per contact, \"number; company; person\", in Windows-1251 with CR LF;\n"
    "contacts of groups are written inside their groups behind \"@group; \" (one prefix per\n"
    "level). Needs no settings.\n",
    Run};

} // namespace
