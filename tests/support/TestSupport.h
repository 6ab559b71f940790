#pragma once
// Shared test helpers: a temporary directory per test, the environment that keeps tests away
// from the real home directory, and scripted fakes of the user-interface ports.
#include "app/Ports.h"
#include "store/SentFaxes.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

// A fresh directory under $TMPDIR, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Points the registry, XDG and runtime directories at `root` (created as needed).
void IsolateEnvironment(const std::string& root);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFileOrDie(const std::string& path);
// `utf8` as Windows programs save "Unicode text": a byte-order mark, then UTF-16.
std::string UnicodeText(const std::string& utf8, bool littleEndian);

// Directory of the build tree (for tools such as faxsim and velquin-tool).
std::string BuildDir();

// Runs the built velquin-tool with `args` (a shell word list; temporary paths have no blanks),
// collecting stdout and stderr into `output`. Returns the exit code, or -1.
int RunVelquinTool(const std::string& args, std::string& output);
// Runs a shell command line the same way.
int RunShell(const std::string& command, std::string& output);

// A prompt that records every message and answers from a script (default: Ok / Yes).
class FakePrompt : public IPrompt {
public:
    struct Shown {
        std::string text;
        MsgIcon icon;
        MsgButtons buttons;
    };
    MsgAnswer Message(std::string_view text, MsgIcon icon, MsgButtons buttons) override;
    std::optional<std::string> AskOpenFile(std::string_view filters,
                                           std::string_view initialDir) override;
    std::optional<std::string> AskSaveFile(std::string_view filters, std::string_view defaultName,
                                           std::string_view defaultExt) override;
    void FileError(std::string_view text) override;

    void SetNextAnswer(MsgAnswer a);
    void SetNextFileName(std::optional<std::string> name);

    std::vector<Shown> messages;
    std::vector<std::string> fileErrors;
    std::vector<std::string> askedFilters;

private:
    std::mutex m_mutex;
    std::deque<MsgAnswer> m_answers;
    std::deque<std::optional<std::string>> m_fileNames;
};

// A frame that records what it was told and runs GUI work inline (thread-safe); it also takes
// the send jobs' new records in place of the sent faxes' owner.
class FakeFrame : public IFrame, public ISentRecords {
public:
    void ProgressStart(int upper) override;
    void ProgressStep(int position) override;
    void ProgressEnd() override;
    void SetStatusText(std::string_view text) override;
    bool RunOnGuiThread(const std::function<void()>& work) override;
    void PostCommand(int commandId) override;
    void AddressBooksLoaded() override;
    void AddWritten(const std::string& jobFilePath, std::string_view bytes) override;

    std::vector<std::string> StatusTexts();
    std::vector<std::string> NewJobFiles();
    std::vector<int> PostedCommands();
    int AddressBooksLoadedCount();
    int progressStarts = 0, progressSteps = 0, progressEnds = 0;
    bool shuttingDown = false;

private:
    std::mutex m_mutex;
    std::mutex m_guiMutex; // serialises "GUI thread" work as one thread would
    std::vector<std::string> m_status;
    std::vector<std::string> m_jobs;
    std::vector<int> m_commands;
    int m_booksLoaded = 0;
};

} // namespace testing_support
