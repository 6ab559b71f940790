// velquin-tool import-abk: delimited text into an address book file, through the import
// dialog's checks, reader and commit.
#include "ToolCommand.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/Import.h"
#include "app/Archive.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "resources/Strings.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// The dialog side of the reader for a command line: everything is answered at once and the
// rows are kept.
class CToolImportDialog : public IImportDialog {
public:
    CToolImportDialog(std::string path, std::string separator, bool ignore, CFieldMap map)
        : m_path(std::move(path)), m_separator(std::move(separator)), m_ignore(ignore),
          m_map(std::move(map)) {}

    bool GetPreview() override { return true; }
    std::string GetPath() override { return m_path; }
    std::string GetSeparator() override { return m_separator; }
    bool GetIgnoreFlag() override { return m_ignore; }
    CFieldMap GetFieldMap() override { return m_map; }
    void ProgressStart(std::uint64_t) override {}
    void ProgressStep(std::uint64_t) override {}
    void ProgressEnd() override {}
    void RowsAdded(std::vector<CImportRow>&& rows, std::size_t) override {
        for (CImportRow& r : rows) {
            this->rows.push_back(std::move(r));
        }
    }
    void OpenFailed() override { openFailed = true; }
    void Finished(bool numbersPrefixed, bool) override { prefixed = numbersPrefixed; }

    std::vector<CImportRow> rows;
    bool openFailed = false;
    bool prefixed = false;

private:
    std::string m_path;
    std::string m_separator;
    bool m_ignore;
    CFieldMap m_map;
};

bool ParseFields(const std::string& text, std::vector<int>& codes, std::string& error) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string name =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int code = 0;
        if (name == "number" || name == "fax") {
            code = kFieldNumber;
        } else if (name == "company") {
            code = kFieldCompany;
        } else if (name == "person") {
            code = kFieldPerson;
        } else if (name == "skip") {
            code = kFieldSkip;
        } else {
            error = "unknown field '" + name + "' (use number, company, person, skip)";
            return false;
        }
        if (code != kFieldSkip && std::find(codes.begin(), codes.end(), code) != codes.end()) {
            error = "field '" + name + "' given twice";
            return false;
        }
        codes.push_back(code);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "velquin-tool import-abk: %s\n", message.c_str());
    return 1;
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("import-abk");
    std::string fields;
    std::string separator = ";";
    std::string prefix;
    bool keepInvalid = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (TakeOption(args, i, "--fields", fields, missing) ||
            TakeOption(args, i, "--separator", separator, missing) ||
            TakeOption(args, i, "--area-prefix", prefix, missing)) {
            if (missing) {
                return ToolUsageError(cmd, args[i] + " needs a value");
            }
            continue;
        }
        if (args[i] == "--keep-invalid") {
            keepInvalid = true;
            continue;
        }
        if (!args[i].empty() && args[i][0] == '-') {
            return ToolUsageError(cmd, "unknown option " + args[i]);
        }
        positional.push_back(args[i]);
    }
    if (positional.size() != 2) {
        return ToolUsageError(cmd, "expected TEXTFILE and BOOK");
    }
    if (fields.empty()) {
        return ToolUsageError(cmd, "--fields is required");
    }
    if (separator == "\\t" || separator == "tab") {
        separator.assign(1, '\t');
    }
    if (!prefix.empty()) {
        Settings().DefaultAreaCode = prefix;
    }
    std::vector<int> codes;
    std::string error;
    if (!ParseFields(fields, codes, error)) {
        return ToolUsageError(cmd, error);
    }
    CImportFields list;
    list.SetInput(codes);
    const CFieldMap map = list.FieldMap();
    CToolPrompt prompt;
    if (unsigned msg = CheckImportFields(map, separator)) {
        prompt.MessageId(msg, MsgIcon::Stop);
        return 1;
    }
    if (std::count_if(separator.begin(), separator.end(),
                      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }) > 1) {
        return ToolUsageError(cmd, "the separator is one character");
    }
    const std::string& textFile = positional[0];
    const std::string& bookFile = positional[1];

    // The book first: a damaged book file stops before anything is read.
    std::unique_ptr<CAddrBook> book;
    if (platform::PathExists(bookFile)) {
        book = ReadBookFile(bookFile, error);
        if (!book) {
            return Fail(error.empty() ? bookFile + ": not an address book (magic is not 10129)"
                                      : error);
        }
        if (book->IsReadOnly()) {
            // Written back, it would lose the records after the one the reader stopped at.
            return Fail(bookFile +
                        ": holds a record of an unknown kind; the book is left as it is");
        }
    } else {
        book = std::make_unique<CAddrBook>(platform::Stem(bookFile));
    }
    AddressBooks().Add(std::move(book));
    AddressBooks().MakeCurrent(AddressBooks().back());

    CToolImportDialog dialog(textFile, separator, !keepInvalid, map);
    RunImportReader(dialog, {});
    if (dialog.openFailed) {
        prompt.MessageId(kMsgCannotOpenDataFile, MsgIcon::Stop);
        return 1;
    }
    if (dialog.prefixed) {
        prompt.Message(ImportPrefixedMessage(), MsgIcon::None, MsgButtons::Ok);
    }
    const std::size_t groups = CommitImport(dialog.rows, *CurrentBook());
    try {
        WriteArchiveFile(bookFile, WriteBook(*CurrentBook()));
    } catch (const std::exception& e) {
        return Fail(DescribeFileError(e, bookFile));
    }
    std::printf("%zu records, %zu groups imported into %s\n", dialog.rows.size(), groups,
                bookFile.c_str());
    return 0;
}

const ToolCommandRegistration reg{
    "import-abk", "import delimited text into an address book (.abk)",
    "usage: velquin-tool import-abk --fields LIST [--separator C] [--keep-invalid]\n"
    "                               [--area-prefix P] TEXTFILE BOOK\n"
    "LIST names the fields of a line in order: number, company, person or skip, separated\n"
    "by commas (e.g. number,company,skip,person). The separator is one character (default\n"
    "\";\", \"tab\" for a tab). A line beginning with \"@\" names the group of its contact.\n"
    "Lines without a number are dropped unless --keep-invalid is given. Numbers that do not\n"
    "begin with 8 get the area prefix (default 8812). The records are added to BOOK, which\n"
    "is created when missing. Needs no settings.\n",
    Run};

} // namespace
