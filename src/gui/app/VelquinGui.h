#pragma once
// The program on Qt: the prompt, the document and the main window behind the start-up
// sequence, and the shutdown that joins every thread.
#include "app/VelquinApp.h"
#include "gui/app/QtPrompt.h"
#include "store/VelquinDoc.h"

#include <functional>
#include <memory>
#include <optional>

class CMainFrame;
class CInstanceServer;
class CEndSignals;

class CVelquinGui : public IStartupUi {
public:
    CVelquinGui();
    ~CVelquinGui() override;

    // Runs the start-up sequence; Running when the window exists. The running program then
    // listens for second starts and ends as on Exit when the session ends (SIGTERM).
    CVelquinApp::StartResult Start(const std::vector<std::string>& args);
    // A second start's parameters, handed over by it: the window comes forward unless they
    // name a file (which, as at start, only keeps the window as it is).
    void OnSecondStart(const std::vector<std::string>& args);
    // The close sequence of the document, ExitInstance and the worker registry's shutdown.
    // Safe to call twice. When the process ends right after, the document's records are left
    // to its end (CVelquinDoc::CloseForProcessEnd).
    void Shutdown(bool processEnds = false);
    // The display went away and Qt is ending the process (its exit() from the GUI thread): what
    // is unsaved is saved and every worker joined without touching a window, so the process can
    // end at once. Safe to call after Shutdown (does nothing then).
    void ShutdownWithoutDisplay();

    bool ShowBatVersionNotOK() override;
    bool RunFirstSetup() override;
    bool CreateMainWindow(bool hidden) override;
    IFrame& Frame() override;

    CQtPrompt& Prompt() { return m_prompt; }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    CVelquinDoc* Document() const { return m_doc.get(); }
    CVelquinApp& App() { return *m_app; }

    // The status workers' steps; the service's by default.
    std::function<CStatusWorkers::CSteps(IFrame&)> statusSteps;

private:
    CQtPrompt m_prompt;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CVelquinDoc> m_doc;
    std::unique_ptr<CVelquinApp> m_app;
    std::unique_ptr<CInstanceServer> m_server;
    std::unique_ptr<CEndSignals> m_endSignals;
    // What the first-start dialog gave that the settings file does not keep.
    std::optional<std::string> m_setupPassword;
    std::optional<std::int32_t> m_setupSyncMinutes; // automatic checks chosen there
    bool m_started = false;
    bool m_shutDown = false;
};
