// velquin-tool split FILE PAGES: cuts a print run into one Group 4 image per recipient, as
// the personalised mass fax does, and prints the paths of the parts.
#include "ToolCommand.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Settings messages go to stderr; a command line has nobody to ask.
class CStderrPrompt : public IPrompt {
public:
    MsgAnswer Message(std::string_view text, MsgIcon, MsgButtons) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return MsgAnswer::Cancel;
    }
    std::optional<std::string> AskOpenFile(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    std::optional<std::string> AskSaveFile(std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    void FileError(std::string_view text) override {
        Message(text, MsgIcon::Error, MsgButtons::Ok);
    }
};

const char* ErrorName(SplitError e) {
    switch (e) {
    case SplitError::None:
        return "no error";
    case SplitError::BadPagesPerRecipient:
        return "PAGES must be 1 or more";
    case SplitError::MergeDir:
        return "the Merge directory cannot be prepared";
    case SplitError::OpenInput:
        return "the file cannot be read as a TIFF file";
    case SplitError::DamagedPage:
        return "a page of the file is damaged";
    case SplitError::Unsupported:
        return "the file's page layout is not supported";
    case SplitError::CreatePart:
        return "a part file cannot be written";
    case SplitError::Rewrite:
        return "a part cannot be rewritten in Group 4";
    }
    return "error";
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("split");
    std::string mergeDir;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (TakeOption(args, i, "--merge-dir", mergeDir, missing)) {
            if (missing) {
                return ToolUsageError(cmd, "--merge-dir needs a directory");
            }
            continue;
        }
        positional.push_back(args[i]);
    }
    if (positional.size() != 2) {
        return ToolUsageError(cmd, "expected FILE and PAGES");
    }
    char* end = nullptr;
    long pages = std::strtol(positional[1].c_str(), &end, 10);
    if (positional[1].empty() || *end != '\0' || pages < 1 || pages > 65535) {
        return ToolUsageError(cmd, "PAGES must be a number from 1 to 65535");
    }
    if (mergeDir.empty()) {
        CStderrPrompt prompt;
        if (!LoadSettings(prompt) || Settings().DataDir.empty()) {
            return ToolUsageError(cmd, "no settings to take DataDir from; give --merge-dir DIR");
        }
        if (!PrepareToolStore()) {
            return 1;
        }
        mergeDir = StorePath(kMergeFolder);
    }
    CSplitResult r = SplitPerRecipient(positional[0], static_cast<int>(pages), mergeDir);
    for (int k = 1; k <= r.parts; ++k) {
        std::printf("%s\n", SplitPartPath(mergeDir, r.baseName, k).c_str());
    }
    if (r.error != SplitError::None) {
        std::fprintf(stderr, "velquin-tool split: %s: %s (%s)\n", positional[0].c_str(),
                     ErrorName(r.error), r.detail.c_str());
        return 1;
    }
    return 0;
}

const ToolCommandRegistration reg{
    "split", "cut a print run into one Group 4 image per recipient",
    "usage: velquin-tool split [--merge-dir DIR] FILE PAGES\n"
    "Empties the Merge directory (DIR, else DataDir/Merge of the settings), cuts the TIFF\n"
    "file FILE into parts of PAGES pages rewritten in CCITT Group 4 and prints the path of\n"
    "each part. Exits 1 when the file cannot be cut whole.\n",
    Run};

} // namespace
