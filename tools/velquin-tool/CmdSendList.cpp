// velquin-tool send-list --numbers FILE DOCUMENT: the phone list mass fax without a window.
#include "CmdSend.h"

#include "app/Settings.h"
#include "platform/Files.h"
#include "sending/FaxImage.h"
#include "sending/SendListJob.h"
#include "store/FaxRecords.h"

#include <cstdio>

namespace {

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("send-list");
    CSendToolOptions o;
    std::string numbers, document, name, copyPath;
    CToolPrompt prompt;
    int start = StartSendCommand(
        cmd, args,
        [&](const ToolArgs& a, std::size_t& i, bool& missing) {
            return TakeOption(a, i, "--numbers", numbers, missing) ||
                   TakeOption(a, i, "--name", name, missing);
        },
        [&] { return !numbers.empty(); }, "--numbers FILE", prompt, o, document, copyPath);
    if (start >= 0) {
        return start;
    }
    std::optional<std::string> copy = copyPath;
    CCredentialRestore restore(!o.user.empty() || !o.passwordFile.empty());
    CToolSentRecords records;
    CSendListJob job(*copy, platform::BaseName(*copy), CountPages(*copy), prompt, records);
    auto cleanUp = [&] {
        platform::DeleteFile(*copy);
        platform::DeleteFile(job.m_sendListPath);
        platform::DeleteFile(job.m_numberListPath);
    };
    job.Open(CurrentTime());
    if (!name.empty()) {
        job.m_listName = name;
    }
    if (std::string error = ApplySendOptions(o, job, 5); !error.empty()) {
        cleanUp();
        return ToolUsageError(cmd, error);
    }
    CEditList list(job.m_lines, prompt);
    if (!list.AddFromFile(numbers)) {
        cleanUp();
        return 1;
    }
    job.LinesEdited();
    if (!job.DoneEnabled()) {
        std::fprintf(stderr, "velquin-tool send-list: %s holds no number\n", numbers.c_str());
        cleanUp();
        return 1;
    }
    // The record holds the recipients then: a list of a million lines is not kept twice.
    job.m_dropLinesWhenDone = true;
    if (!job.Done()) {
        cleanUp();
        return 1;
    }
    std::optional<CPosting> posting = job.PrepareSend();
    if (!posting) {
        cleanUp();
        return 1;
    }
    CSubmitResult result = CSendListJob::Post(*posting);
    if (job.FinishSend(result) != SendOutcome::Submitted) {
        cleanUp();
        return ReportNotAccepted("send-list", result, posting->endpoint);
    }
    std::printf("%d\n", result.id);
    if (!job.Recorded()) {
        return ReportUnrecorded("send-list", result.id, job.JobFilePath());
    }
    std::fprintf(stderr, "velquin-tool send-list: %d numbers accepted as job %d; job file %s\n",
                 job.m_numberCount, result.id, job.JobFilePath().c_str());
    return 0;
}

const ToolCommandRegistration reg{
    "send-list", "send a document as a fax to the numbers of a phone list",
    "usage: velquin-tool send-list --numbers FILE [--name TITLE] [--attempts N] [--delay MIN]\n"
    "                              [--at \"YYYY-MM-DD HH:MM\"] [--user ID]\n"
    "                              [--password-file FILE] DOCUMENT\n"
    "Runs the phone list mass fax: reads FILE (lines NUMBER;NAME;LABEL, UTF-8, Windows-1251\n"
    "or UTF-16 with its byte-order mark), copies DOCUMENT into DataDir/SentFaxes (a PDF,\n"
    "PostScript file or picture made a fax image by the fax printer first), writes the\n"
    "send list (.FBL) and number list (.csv), signs and posts them, writes the job file. The\n"
    "password must have 8 characters. Attempts 1-5, delay 5-60 minutes. Prints the service's\n"
    "job id and exits 0 when accepted; otherwise the refusal or failure goes to stderr and the\n"
    "exit code is 1.\n",
    Run};

} // namespace
