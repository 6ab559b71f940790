#include "gui/sending/SendCommands.h"

#include "app/Archive.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "gui/app/QtPrompt.h"
#include "gui/sending/SendFaxDlg.h"
#include "gui/sending/SendListDlg.h"
#include "gui/sending/SendPersonalListDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/MainFrame.h"
#include "platform/Files.h"
#include "sending/FaxImage.h"
#include "sending/Resend.h"
#include "store/FaxRecords.h"
#include "store/VelquinDoc.h"
#include "store/Viewers.h"

#include <cerrno>

#include <filesystem>

namespace {

// Only the document's path is used once its dialog is open: a print arriving meanwhile
// reloads FaxDir and replaces every listed record, `document` included.

bool RunSendFax(CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt, CMainFrame& frame) {
    const std::string printed = document.m_path;
    std::optional<std::string> copy = CopyDocumentToSent(printed, prompt);
    if (!copy) {
        return false;
    }
    const std::string name = std::filesystem::path(*copy).filename().string();
    CSendFaxDlg dlg(*copy, name, document.m_title, prompt, doc.SentFaxes(), &frame);
    if (dlg.exec() != QDialog::Accepted) {
        // Also the record written before a post that never came back.
        platform::DeleteFile(*copy);
        platform::DeleteFile(platform::ReplaceExtension(*copy, ".FAX"));
        return false;
    }
    // Unrecorded, the printed document is all that is left of the fax here.
    if (Settings().ClearNewFaxSection && dlg.Job().Recorded()) {
        doc.Printed().RemoveImage(printed);
    }
    return true;
}

// The list dialog on a copy of `image` in the fax store. True when it submitted the fax; the
// copy and what the dialog made of it go when it did not.
bool RunListDialog(const std::string& image, CVelquinDoc& doc, IPrompt& prompt, QWidget* parent,
                   const std::function<void(CSendListDlg&)>& prepare = {}) {
    std::optional<std::string> copy = CopyDocumentToSent(image, prompt);
    if (!copy) {
        return false;
    }
    const std::string name = std::filesystem::path(*copy).filename().string();
    CSendListDlg dlg(*copy, name, 0, prompt, doc.SentFaxes(), parent);
    if (prepare) {
        prepare(dlg);
    }
    if (dlg.exec() != QDialog::Accepted) {
        // The number list stays: it is the user's record of what was prepared.
        platform::DeleteFile(*copy);
        platform::DeleteFile(dlg.Job().m_sendListPath);
        platform::DeleteFile(platform::ReplaceExtension(*copy, ".FAX"));
        return false;
    }
    return dlg.Job().Recorded();
}

bool RunSendList(CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt, CMainFrame& frame) {
    const std::string printed = document.m_path;
    if (!RunListDialog(printed, doc, prompt, &frame)) {
        return false;
    }
    if (Settings().ClearNewFaxSection) {
        doc.Printed().RemoveImage(printed);
    }
    return true;
}

// The print run itself is cut into the recipients' faxes: no copy, and it goes once sent.
bool RunSendPersonal(CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt,
                     CMainFrame& frame) {
    const std::string printed = document.m_path;
    CSendPersonalListDlg dlg(printed, prompt, doc.SentFaxes(), &frame);
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    if (dlg.Job().Recorded()) {
        doc.Printed().RemoveImage(printed);
    }
    return true;
}

} // namespace

bool RunSendCommand(int command, CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt,
                    CMainFrame& frame) {
    switch (command) {
    case cmd::kSendFax:
        return RunSendFax(document, doc, prompt, frame);
    case cmd::kSendList:
        return RunSendList(document, doc, prompt, frame);
    case cmd::kSendPersonal:
        return RunSendPersonal(document, doc, prompt, frame);
    default:
        return false;
    }
}

std::function<void(int, CFaxDocument&)> MakeSendHandler(std::function<CVelquinDoc*()> doc,
                                                        CQtPrompt& prompt, CMainFrame& frame) {
    return [doc = std::move(doc), &prompt, &frame](int command, CFaxDocument& document) {
        if (CVelquinDoc* d = doc()) {
            RunSendCommand(command, document, *d, prompt, frame);
        }
    };
}

namespace {

// The undelivered recipients' own pages joined into a print run in a private folder, cut again
// by the personalised dialog; the folder goes when the dialog closes.
bool RunResendPersonal(const CPersonalFaxEntry& mailing, CVelquinDoc& doc, IPrompt& prompt,
                       QWidget* parent) {
    const std::string dir = platform::MakeTempDir("velquin-resend");
    if (dir.empty()) {
        prompt.FileError(DescribeFileError(CFileException(errno, "/tmp", "/tmp"), "/tmp"));
        return false;
    }
    CResendRun run;
    bool sent = false;
    if (const std::string error = BuildResendRun(mailing, StorePath(kSentFolder), dir, run);
        !error.empty()) {
        prompt.Message(error, MsgIcon::Stop, MsgButtons::Ok);
    } else {
        CSendPersonalListDlg dlg(run.runPath, prompt, doc.SentFaxes(), parent);
        dlg.Prefill(run.recipientsPath, run.pagesPerRecipient, mailing.m_title);
        sent = dlg.exec() == QDialog::Accepted && dlg.Job().Recorded();
    }
    platform::RemoveTempDir(dir);
    return sent;
}

} // namespace

bool RunResendUndelivered(const CFaxEntryBase& mailing, CVelquinDoc& doc, IPrompt& prompt,
                          QWidget* parent) {
    std::vector<std::string> lines = UndeliveredLines(mailing);
    const CAttach* attach = AttachOf(mailing);
    if (lines.empty() || attach == nullptr) {
        return false;
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&mailing)) {
        return RunResendPersonal(*personal, doc, prompt, parent);
    }
    const std::string title = mailing.m_title;
    return RunListDialog(SentFilePath(attach->StoreName()), doc, prompt, parent,
                         [&](CSendListDlg& dlg) { dlg.Prefill(std::move(lines), title); });
}
