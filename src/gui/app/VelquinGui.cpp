#include "gui/app/VelquinGui.h"

#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/app/AboutDlg.h"
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
    return m_app->InitInstance(args);
}

bool CVelquinGui::ShowBatVersionNotOK() {
    CBatVersionNotOKDlg dlg;
    dlg.exec();
    return dlg.DontShowAgain();
}

bool CVelquinGui::CreateMainWindow(bool hidden) {
    m_frame = std::make_unique<CMainFrame>(m_prompt);
    m_doc = std::make_unique<CVelquinDoc>(
        m_prompt, *m_frame, statusSteps ? statusSteps(*m_frame) : CVelquinDoc::CStatusSteps{});
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

void CVelquinGui::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
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
    m_doc.reset();
    CThreadControl::Instance().Shutdown();
}
