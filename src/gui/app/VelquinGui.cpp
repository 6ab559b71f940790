#include "gui/app/VelquinGui.h"

#include "gui/app/FirstStartDlg.h"

#include "app/Log.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/app/AboutDlg.h"
#include "gui/app/Desktop.h"
#include "gui/app/FirstStartDlg.h"
#include "gui/sending/SendCommands.h"
#include "gui/shell/MainFrame.h"
#include "store/StatusSync.h"

CVelquinGui::CVelquinGui() : statusSteps([](IFrame& frame) { return MakeStatusSteps(frame); }) {
    m_app = std::make_unique<CVelquinApp>(m_prompt, *this);
}

CVelquinGui::~CVelquinGui() {
    Shutdown();
}

CVelquinApp::StartResult CVelquinGui::Start(const std::vector<std::string>& args) {
    m_started = true;
    const CVelquinApp::StartResult result = m_app->InitInstance(args);
    if (result != CVelquinApp::StartResult::Running) {
        return result;
    }
    m_server = std::make_unique<CInstanceServer>();
    QObject::connect(m_server.get(), &CInstanceServer::SecondStart, m_frame.get(),
                     [this](const std::vector<std::string>& a) { OnSecondStart(a); });
    if (const std::string path = InstanceSocketPath();
        path.empty() || !m_server->Listen(QString::fromStdString(path))) {
        LogLine("Init Instance - no socket for a second start: " + path);
    }
    m_endSignals = std::make_unique<CEndSignals>();
    QObject::connect(m_endSignals.get(), &CEndSignals::EndRequested, m_frame.get(),
                     [this] { m_frame->EndSession(); });
    return result;
}

void CVelquinGui::OnSecondStart(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (IsVerboseSwitch(a)) {
            SetVerbose(true);
        }
    }
    LogLine("Second start");
    if (m_frame && !HasFileParameter(args)) {
        m_frame->RestoreFromTray();
    }
}

bool CVelquinGui::ShowBatVersionNotOK() {
    CBatVersionNotOKDlg dlg;
    dlg.exec();
    return dlg.DontShowAgain();
}

bool CVelquinGui::RunFirstSetup() {
    CFirstStartDlg dlg(m_prompt);
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    m_setupPassword = dlg.SessionPassword();
    if (dlg.AutoSync()) {
        m_setupSyncMinutes = dlg.SyncMinutes();
    }
    return true;
}

bool CVelquinGui::CreateMainWindow(bool hidden) {
    // The loaded settings take what the first-start dialog chose beyond the key it wrote.
    if (m_setupPassword) {
        Settings().UserPWD = *m_setupPassword;
    }
    if (m_setupSyncMinutes) {
        Settings().AutoSyncronize = true;
        Settings().SyncronizationDelay = *m_setupSyncMinutes;
        SaveSettings(m_prompt);
    }
    m_frame = std::make_unique<CMainFrame>(m_prompt);
    m_doc = std::make_unique<CVelquinDoc>(
        m_prompt, *m_frame, statusSteps ? statusSteps(*m_frame) : CStatusWorkers::CSteps{});
    m_frame->AttachDocument(*m_doc);
    m_frame->SetSendHandler(MakeSendHandler([this] { return m_doc.get(); }, m_prompt, *m_frame));
    if (!hidden) {
        m_frame->show();
    }
    return true;
}

IFrame& CVelquinGui::Frame() {
    return *m_frame;
}

void CVelquinGui::ShutdownWithoutDisplay() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    m_prompt.SetUnattended(true);
    if (m_frame) {
        m_frame->AbandonWindow();
    }
    if (m_doc) {
        m_doc->CanCloseFrame(false);
        m_doc->OnCloseDocument();
    }
    if (m_frame) {
        SaveSettings();
    }
    if (m_started) {
        m_app->ExitInstance();
    }
    CThreadControl::Instance().Shutdown();
}

void CVelquinGui::Shutdown(bool processEnds) {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    m_server.reset();
    if (m_endSignals) {
        // Still caught until the end, so that a second SIGTERM does not cut the saving short.
        m_endSignals->disconnect();
    }
    if (m_frame) {
        // Workers waiting on the GUI give up from here on.
        m_frame->Shutdown();
    }
    if (m_doc) {
        if (!m_frame || !m_frame->ExitRequested()) {
            m_doc->CanCloseFrame(); // not asked through Exit (a test, or the session ending)
        }
        m_doc->OnCloseDocument();
    }
    if (m_frame) {
        SaveSettings(m_prompt);
    }
    if (m_started) {
        m_app->ExitInstance();
    }
    m_frame.reset(); // the views leave the document before it goes
    if (processEnds && m_doc) {
        CVelquinDoc::CloseForProcessEnd(std::move(m_doc));
    }
    m_doc.reset();
    CThreadControl::Instance().Shutdown();
    m_endSignals.reset();
}
