#pragma once
// The core never shows anything: it talks to the user interface through these ports, which
// the GUI implements and tests fake.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class MsgIcon { None, Information, Warning, Error, Question, Stop };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class IPrompt {
public:
    virtual ~IPrompt() = default;

    // Shows a message box and returns the answer.
    virtual MsgAnswer Message(std::string_view text, MsgIcon icon, MsgButtons buttons) = 0;
    // The same for string table entry `id`.
    MsgAnswer MessageId(unsigned id, MsgIcon icon = MsgIcon::None,
                        MsgButtons buttons = MsgButtons::Ok);

    // File dialogs. `filters` is the original's filter string ("Name|*.ext;*.ext2|...|").
    virtual std::optional<std::string> AskOpenFile(std::string_view filters,
                                                   std::string_view initialDir) = 0;
    virtual std::optional<std::string> AskSaveFile(std::string_view filters,
                                                   std::string_view defaultName,
                                                   std::string_view defaultExt) = 0;

    // The framework's standard error box for a file or archive error; `text` names the file.
    virtual void FileError(std::string_view text) = 0;
};

// What a message box shows of a text that came from outside (a service's refusal): at most
// kMaxShownChars characters on kMaxShownLines lines, cut between characters and ended with
// "…". Laying out a text of megabytes kept the window busy for many seconds.
constexpr std::size_t kMaxShownChars = 2000;
constexpr std::size_t kMaxShownLines = 40;
std::string ShownText(std::string_view utf8);

// For programs without a user to ask (tools, benchmarks): every box answers Ok, no file is
// chosen and file errors are left to the caller's return values.
class CQuietPrompt : public IPrompt {
public:
    MsgAnswer Message(std::string_view, MsgIcon, MsgButtons) override { return MsgAnswer::Ok; }
    std::optional<std::string> AskOpenFile(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    std::optional<std::string> AskSaveFile(std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    void FileError(std::string_view) override {}
};

// What workers and dialogs tell the main frame. May be called from any thread except where
// noted; the GUI forwards worker calls to its own thread and waits for them.
class IFrame {
public:
    virtual ~IFrame() = default;

    // Progress in the status bar's second pane (the original's WM_USER+20, +21, +22).
    virtual void ProgressStart(int upper) = 0;
    virtual void ProgressStep(int position) = 0;
    virtual void ProgressEnd() = 0;

    // Status-bar text; "" restores the idle text.
    virtual void SetStatusText(std::string_view text) = 0;

    // Runs `work` on the GUI thread and returns when it has run (the synchronous send of the
    // original, used e.g. for WM_USER+70). Returns false, without running it, once shutdown
    // has begun, so no worker waits forever on a GUI that is going away.
    virtual bool RunOnGuiThread(const std::function<void()>& work) = 0;

    // Posts a command to the frame (1026: reload printed documents).
    virtual void PostCommand(int commandId) = 0;

    // The address-book loader finished (WM_USER+11).
    virtual void AddressBooksLoaded() = 0;
};

// Commands and messages kept with their numbers.
constexpr int kCmdReloadPrintedDocs = 1026;
