#pragma once
// What `send` and `send-list` share: the options of the send dialogs and what stands in for
// the sent records of the window.
#include "ToolCommand.h"
#include "store/SentFaxes.h"

#include <cstdint>
#include <functional>
#include <string>

class CSendJobBase;
struct CSubmitResult;
struct ServiceEndpoint;

struct CSendToolOptions {
    std::string attempts, delay, at, user, passwordFile;
};

// Takes one of --attempts, --delay, --at, --user, --password-file at args[i].
bool TakeSendOption(const ToolArgs& args, std::size_t& i, CSendToolOptions& o, bool& missing);

// The start both commands share: reads the arguments (`takeOwn` takes the command's own options;
// `haveOwn` says whether its required ones were given, `required` names them), loads the settings,
// checks the document and copies it into SentFaxes. Returns the exit code to end with, or -1 with
// `copy` set to go on.
int StartSendCommand(const ToolCommand& cmd, const ToolArgs& args,
                     const std::function<bool(const ToolArgs&, std::size_t&, bool&)>& takeOwn,
                     const std::function<bool()>& haveOwn, const std::string& required,
                     CToolPrompt& prompt, CSendToolOptions& options, std::string& document,
                     std::string& copy);

// Says why a submission to `e` was not accepted, telling a connection never made from a reply
// that could not be read; exit code 1.
int ReportNotAccepted(const char* name, const CSubmitResult& r, const ServiceEndpoint& e);

// The service accepted job `jobId` but its job file could not be written: says so; exit code 1.
int ReportUnrecorded(const char* name, std::int32_t jobId, const std::string& jobFile);

// Puts the options into an opened job; an error message (for ToolUsageError) or "".
std::string ApplySendOptions(const CSendToolOptions& o, CSendJobBase& job, int maxAttempts);

// The sent records' part in a send: a new job file is read back as the next start would read
// it; jobFileReadable is false when it could not be.
class CToolSentRecords : public ISentRecords {
public:
    void AddWritten(const std::string& jobFilePath, std::string_view bytes) override;

    std::string jobFile;
    bool jobFileReadable = false;
};

// Credentials given on the command line are for this run only: the job stores what it used
// (as the dialogs do), so the stored ones are put back when the command ends.
class CCredentialRestore {
public:
    explicit CCredentialRestore(bool active);
    ~CCredentialRestore();
    CCredentialRestore(const CCredentialRestore&) = delete;
    CCredentialRestore& operator=(const CCredentialRestore&) = delete;

private:
    bool m_active;
    std::string m_user, m_password;
    bool m_remember = false;
};

// The title of a printed document: its name file, else the file's stem.
std::string DocumentTitle(const std::string& documentPath);
