#include "app/VelquinApp.h"

#include "app/Log.h"
#include "app/Ports.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Registry.h"

#include <csignal>
#include <cstdio>

bool IsSwitchParameter(const std::string& arg) {
    if (arg.size() < 2) {
        return false;
    }
    if (arg[0] == '-') {
        return true;
    }
    return arg[0] == '/' && arg.find('/', 1) == std::string::npos;
}

CVelquinApp::CVelquinApp(IPrompt& prompt, IStartupUi& ui)
    : freeBytes([](const std::string& p) { return platform::FreeBytes(p); }), m_prompt(prompt),
      m_ui(ui) {}

bool CreateStoreDirectories(const std::string& dataDir) {
    for (const std::string& sub : StoreSubdirectories()) {
        std::string dir = platform::JoinPath(dataDir, sub);
        if (!platform::IsDirectory(dir)) {
            platform::CreateDir(dir);
        }
        if (!platform::IsDirectory(dir)) {
            return false;
        }
    }
    return true;
}

CVelquinApp::~CVelquinApp() {
    ExitInstance();
}

CVelquinApp::StartResult CVelquinApp::InitInstance(const std::vector<std::string>& args) {
    // The switch is looked for first so that the very first lines are logged.
    for (const std::string& a : args) {
        if (IsVerboseSwitch(a)) {
            SetVerbose(true);
        }
    }
    LogLine("");
    LogLine("");
    LogLine(std::string(61, '*'));
    LogLine("Init Instance start");

    if (!m_instanceLock.Acquire(kInstanceLockName)) {
        return StartResult::AlreadyRunning; // a second copy ends silently
    }
    // The socket layer: a peer closing a connection must give an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    LogLine("Init Instance - semaphore created");

    LogLine("Init Instance - loading settings");
    if (!LoadSettings(m_prompt)) {
        platform::CRegKey key;
        if (key.Open(platform::Hive::LocalMachine, kMainKey) == platform::kRegNotFound) {
            std::fprintf(
                stderr, "Velquin is not set up on this machine: run 'velquin-tool setup' first.\n");
            return StartResult::NotInstalled;
        }
        return StartResult::SettingsInvalid;
    }
    LogLine("Init Instance - settings loaded");
    CSettings& s = Settings();

    if (s.MailClientIsTheBat && s.TheBatVersion < kTheBatMinVersion && !s.HideBATVERMsg) {
        s.HideBATVERMsg = m_ui.ShowBatVersionNotOK();
    }

    m_watchPath = s.FaxDir;
    if (!platform::IsDirectory(s.FaxDir)) {
        m_prompt.MessageId(163);
        return StartResult::DirectoryError;
    }
    LogLine("Init Instance - checking directory structure");
    if (!CreateStoreDirectories(s.DataDir)) {
        m_prompt.MessageId(163);
        return StartResult::DirectoryError;
    }
    LogLine("Init Instance - directory structure OK");
    LogLine("Init Instance - checking disc space");
    if (auto free = freeBytes(s.DataDir); free && *free < kLowDiskSpace) {
        m_prompt.MessageId(180);
        s.SentFilterType = 0;
        s.RcvdFilterType = 0;
    }
    LogLine("Init Instance - disc space OK");

    m_fileParameter = false;
    for (const std::string& a : args) {
        if (!IsVerboseSwitch(a) && !IsSwitchParameter(a)) {
            m_fileParameter = true; // the file is not opened: it only starts the window hidden
        }
    }
    if (!m_ui.CreateMainWindow(m_fileParameter)) {
        return StartResult::WindowFailed;
    }
    m_watcher.Start(m_watchPath, m_ui.Frame(), watcherRearmMs);
    return StartResult::Running;
}

void CVelquinApp::ExitInstance() {
    m_watcher.Stop();
    m_instanceLock.Release();
}
