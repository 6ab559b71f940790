#include "gui/sending/SendCommands.h"

#include "app/Settings.h"
#include "gui/app/QtPrompt.h"
#include "gui/sending/SendFaxDlg.h"
#include "gui/sending/SendListDlg.h"
#include "gui/sending/SendPersonalListDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/MainFrame.h"
#include "platform/Files.h"
#include "sending/FaxImage.h"
#include "store/FaxRecords.h"
#include "store/VelquinDoc.h"

#include <algorithm>
#include <filesystem>

namespace {

// The printed document leaves the new-fax section once its fax has gone: its image and name
// file are deleted and the list redrawn.
void RemovePrintedDocument(CFaxDocument& document, CVelquinDoc& doc) {
    DocumentList& printed = doc.PrintedDocuments();
    const bool listed = std::any_of(printed.begin(), printed.end(),
                                    [&](const auto& p) { return p.get() == &document; });
    if (!listed) {
        return;
    }
    doc.DeleteDocument(&document);
    doc.UpdateAllViews(kHintPrintedDocs, &printed);
}

bool RunSendFax(CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt, CMainFrame& frame) {
    std::optional<std::string> copy = CopyDocumentToSent(document.m_path, prompt);
    if (!copy) {
        return false;
    }
    const std::string name = std::filesystem::path(*copy).filename().string();
    CSendFaxDlg dlg(*copy, name, document.m_title, prompt, frame, &frame);
    if (dlg.exec() != QDialog::Accepted) {
        platform::DeleteFile(*copy);
        return false;
    }
    if (Settings().ClearNewFaxSection) {
        RemovePrintedDocument(document, doc);
    }
    return true;
}

bool RunSendList(CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt, CMainFrame& frame) {
    std::optional<std::string> copy = CopyDocumentToSent(document.m_path, prompt);
    if (!copy) {
        return false;
    }
    const std::string name = std::filesystem::path(*copy).filename().string();
    CSendListDlg dlg(*copy, name, 0, prompt, frame, document.m_path, &frame);
    if (dlg.exec() != QDialog::Accepted) {
        // The number list stays: it is the user's record of what was prepared.
        platform::DeleteFile(*copy);
        platform::DeleteFile(dlg.Job().m_sendListPath);
        return false;
    }
    if (Settings().ClearNewFaxSection) {
        RemovePrintedDocument(document, doc);
    }
    return true;
}

// The print run itself is cut into the recipients' faxes: no copy, and it goes once sent.
bool RunSendPersonal(CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt,
                     CMainFrame& frame) {
    CSendPersonalListDlg dlg(document.m_path, prompt, frame, &frame);
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    RemovePrintedDocument(document, doc);
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
