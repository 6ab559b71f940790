// velquin-tool send --to NUMBER DOCUMENT: the single fax job without a window.
#include "CmdSend.h"

#include "app/Settings.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "sending/DroppedFile.h"
#include "sending/FaxImage.h"
#include "sending/SendFaxJob.h"
#include "store/FaxRecords.h"

#include "Spawn.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <unistd.h>

bool TakeSendOption(const ToolArgs& args, std::size_t& i, CSendToolOptions& o, bool& missing) {
    return TakeOption(args, i, "--attempts", o.attempts, missing) ||
           TakeOption(args, i, "--delay", o.delay, missing) ||
           TakeOption(args, i, "--at", o.at, missing) ||
           TakeOption(args, i, "--user", o.user, missing) ||
           TakeOption(args, i, "--password-file", o.passwordFile, missing);
}

namespace {

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto r = std::from_chars(text.data(), end, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

} // namespace

std::string ApplySendOptions(const CSendToolOptions& o, CSendJobBase& job, int maxAttempts) {
    if (!o.attempts.empty()) {
        int v = 0;
        if (!ParseInt(o.attempts, v) || v < 1 || v > maxAttempts) {
            return "--attempts must be 1 to " + std::to_string(maxAttempts);
        }
        job.m_attempts = v;
    }
    if (!o.delay.empty()) {
        int v = 0;
        if (!ParseInt(o.delay, v) || v < 5 || v > 60) {
            return "--delay must be 5 to 60 minutes";
        }
        job.m_delay = v;
    }
    job.m_sendMode = kSendAtOnce;
    if (!o.at.empty()) {
        std::tm tm{};
        char rest = 0;
        if (std::sscanf(o.at.c_str(), "%4d-%2d-%2d %2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                        &tm.tm_hour, &tm.tm_min, &rest) != 5 ||
            tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 ||
            tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_hour < 0 || tm.tm_min < 0) {
            return "--at needs \"YYYY-MM-DD HH:MM\"";
        }
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        tm.tm_isdst = -1;
        std::time_t t = std::mktime(&tm);
        if (t == static_cast<std::time_t>(-1)) {
            return "--at is not a valid local time";
        }
        job.m_sendMode = kSendAtTime;
        job.m_sendDate = job.m_sendTime = static_cast<std::int64_t>(t);
    }
    if (!o.user.empty()) {
        job.m_userName = o.user;
    }
    if (!o.passwordFile.empty()) {
        std::string password;
        if (platform::ReadFile(o.passwordFile, password) != 0) {
            return "cannot read " + o.passwordFile;
        }
        job.m_password = password.substr(0, password.find_first_of("\r\n"));
    }
    return {};
}

void CToolSentRecords::AddWritten(const std::string& jobFilePath, std::string_view bytes) {
    jobFile = jobFilePath;
    // The disk must give back what was written, which the next start reads as this record;
    // compared piece by piece, so a list of a million numbers is not held twice.
    std::ifstream in(jobFilePath, std::ios::binary);
    std::vector<char> piece(1 << 20);
    std::size_t at = 0;
    jobFileReadable = in.is_open();
    while (jobFileReadable && in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        jobFileReadable = at + got <= bytes.size() &&
                          bytes.compare(at, got, std::string_view(piece.data(), got)) == 0;
        at += got;
    }
    jobFileReadable = jobFileReadable && at == bytes.size();
    if (!jobFileReadable) {
        std::fprintf(stderr, "velquin-tool: the job file %s cannot be read back\n",
                     jobFilePath.c_str());
    }
}

CCredentialRestore::CCredentialRestore(bool active) : m_active(active) {
    const CSettings& s = Settings();
    m_user = s.UserID;
    m_password = s.UserPWD;
    m_remember = s.RememberPwd;
}

CCredentialRestore::~CCredentialRestore() {
    CSettings& s = Settings();
    if (m_active &&
        (s.UserID != m_user || s.UserPWD != m_password || s.RememberPwd != m_remember)) {
        s.UserID = m_user;
        s.UserPWD = m_password;
        s.RememberPwd = m_remember;
        SaveSettings();
    }
}

std::string DocumentTitle(const std::string& documentPath) {
    std::string tag;
    std::string tagPath = platform::CompanionPath(documentPath, ".tag");
    if (platform::ReadSmallFile(tagPath, tag, 1023) == 0 && !tag.empty()) {
        return platform::DecodeUserText(tag);
    }
    return platform::Stem(documentPath);
}

int ReportNotAccepted(const char* name, const CSubmitResult& r, const ServiceEndpoint& e) {
    const std::string at = e.host + ":" + std::to_string(e.port);
    std::string what;
    switch (r.kind) {
    case CSubmitResult::Kind::Refused:
        // The message itself went through the prompt.
        std::fprintf(stderr, "velquin-tool %s: refused by the service (code %d)\n", name, r.code);
        return 1;
    case CSubmitResult::Kind::NotSent:
        what = r.failure == ExchangeFailure::ProxyRefused
                   ? "the proxy refused the request (its user or password is wanted or wrong)"
               : r.failure == ExchangeFailure::Certificate
                   ? "the certificate of " + r.host + " failed verification"
                   : "cannot connect to " + at;
        std::fprintf(stderr, "velquin-tool %s: %s; nothing was sent\n", name, what.c_str());
        return 1;
    case CSubmitResult::Kind::NoError:
        what = "the reply of " + at + " says nothing";
        break;
    case CSubmitResult::Kind::NoReply:
    case CSubmitResult::Kind::Accepted:
        what = r.failure == ExchangeFailure::TimedOut  ? "no complete reply from " + at + " in time"
               : r.failure == ExchangeFailure::TooLong ? "the reply of " + at + " is too long"
               : r.failure != ExchangeFailure::None    ? "no reply from " + at
                                                       : "the reply of " + at + " cannot be read";
        break;
    }
    std::fprintf(stderr, "velquin-tool %s: %s; the fax may have been accepted\n", name,
                 what.c_str());
    return 1;
}

int ReportUnrecorded(const char* name, std::int32_t jobId, const std::string& jobFile) {
    std::fprintf(stderr,
                 "velquin-tool %s: the service accepted job %d, but its job file %s could not be "
                 "written; do not send the document again\n",
                 name, jobId, jobFile.c_str());
    return 1;
}

namespace {

// The fax printer's image of a document, in a private folder that goes with it.
struct CPrintedImage {
    std::string dir, image;

    CPrintedImage() = default;
    CPrintedImage(const CPrintedImage&) = delete;
    CPrintedImage& operator=(const CPrintedImage&) = delete;
    ~CPrintedImage() { platform::RemoveTempDir(dir); }

    bool Print(const ToolCommand& cmd, const std::string& document) {
        dir = platform::MakeTempDir("velquin-tool");
        if (dir.empty()) {
            std::fprintf(stderr, "velquin-tool %s: cannot create a temporary folder: %s\n",
                         cmd.name, std::strerror(errno));
            return false;
        }
        std::string output;
        const std::vector<std::string> argv = {
            FaxPrinterPath(),         "--fax-dir", dir,     "--title",
            platform::Stem(document), "--",        document};
        const int rc = RunProgram(argv, output);
        const std::vector<platform::DirEntry> images = platform::ListMatching(dir, "*.tif");
        if (rc != 0 || images.size() != 1) {
            while (!output.empty() && output.back() == '\n') {
                output.pop_back();
            }
            std::fprintf(stderr,
                         "velquin-tool %s: the fax printer (%s) made no fax image of %s%s%s\n",
                         cmd.name, argv[0].c_str(), document.c_str(), output.empty() ? "" : ": ",
                         output.c_str());
            return false;
        }
        image = platform::JoinPath(dir, images.front().name);
        return true;
    }
};

} // namespace

int StartSendCommand(const ToolCommand& cmd, const ToolArgs& args,
                     const std::function<bool(const ToolArgs&, std::size_t&, bool&)>& takeOwn,
                     const std::function<bool()>& haveOwn, const std::string& required,
                     CToolPrompt& prompt, CSendToolOptions& options, std::string& document,
                     std::string& copy) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (takeOwn(args, i, missing) || TakeSendOption(args, i, options, missing)) {
            if (missing) {
                return ToolUsageError(cmd, args[i] + " needs a value");
            }
        } else if (!args[i].empty() && args[i][0] == '-') {
            return ToolUsageError(cmd, "unknown option '" + args[i] + "'");
        } else if (document.empty()) {
            document = args[i];
        } else {
            return ToolUsageError(cmd, "more than one document");
        }
    }
    if (!haveOwn() || document.empty()) {
        return ToolUsageError(cmd, required + " and a DOCUMENT are required");
    }
    if (!LoadToolSettings(prompt) || !PrepareToolStore()) {
        return 1;
    }
    if (!platform::IsRegularFile(document)) {
        std::fprintf(stderr, "velquin-tool %s: %s is not a file\n", cmd.name, document.c_str());
        return 1;
    }
    // A PDF, PostScript or picture becomes a fax image as the fax printer makes it from a print.
    CPrintedImage printed;
    if (ClassifyDroppedFile(document) == DroppedKind::Printable && !printed.Print(cmd, document)) {
        return 1;
    }
    std::optional<std::string> copied =
        CopyDocumentToSent(printed.image.empty() ? document : printed.image, prompt);
    if (!copied) {
        return 1;
    }
    copy = *copied;
    return -1;
}

namespace {

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("send");
    CSendToolOptions o;
    std::string to, document, copyPath;
    CToolPrompt prompt;
    int start = StartSendCommand(
        cmd, args,
        [&](const ToolArgs& a, std::size_t& i, bool& missing) {
            return TakeOption(a, i, "--to", to, missing);
        },
        [&] { return !to.empty(); }, "--to NUMBER", prompt, o, document, copyPath);
    if (start >= 0) {
        return start;
    }
    std::optional<std::string> copy = copyPath;
    CCredentialRestore restore(!o.user.empty() || !o.passwordFile.empty());
    CToolSentRecords records;
    CSendFaxJob job(*copy, platform::BaseName(*copy), DocumentTitle(document), prompt, records);
    job.Open(CurrentTime());
    if (std::string error = ApplySendOptions(o, job, 9); !error.empty()) {
        platform::DeleteFile(*copy);
        return ToolUsageError(cmd, error);
    }
    job.SetNumber(to);
    job.LeaveNumberField();
    if (!job.Done()) {
        platform::DeleteFile(*copy);
        return 1;
    }
    std::optional<CPosting> posting = job.PrepareSend();
    if (!posting) {
        platform::DeleteFile(*copy);
        return 1;
    }
    CSubmitResult result = CSendFaxJob::Post(*posting);
    if (job.FinishSend(result) != SendOutcome::Submitted) {
        platform::DeleteFile(*copy);
        return ReportNotAccepted("send", result, posting->endpoint);
    }
    std::printf("%d\n", result.id);
    if (!job.Recorded()) {
        return ReportUnrecorded("send", result.id, job.JobFilePath());
    }
    std::fprintf(stderr, "velquin-tool send: %s accepted as job %d; job file %s\n",
                 job.m_number.c_str(), result.id, job.JobFilePath().c_str());
    return 0;
}

const ToolCommandRegistration reg{
    "send", "send a document as a fax to one number",
    "usage: velquin-tool send --to NUMBER [--attempts N] [--delay MIN]\n"
    "                         [--at \"YYYY-MM-DD HH:MM\"] [--user ID] [--password-file FILE]\n"
    "                         DOCUMENT\n"
    "Runs the single fax send: copies DOCUMENT (a fax TIFF) into DataDir/SentFaxes, completes\n"
    "the number with DefaultAreaCode, signs and posts it, writes the job file beside it. A PDF,\n"
    "PostScript file or picture is first made a fax image by the fax printer (velquin-print).\n"
    "Credentials: the stored UserID and remembered password unless given. Attempts 1-9,\n"
    "delay 5-60 minutes (defaults: the last used). Prints the service's job id and exits 0\n"
    "when accepted and recorded; otherwise prints the refusal or the failure to stderr and\n"
    "exits 1 (after the job id when the service accepted the fax but its job file failed).\n",
    Run};

} // namespace
