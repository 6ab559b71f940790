#include "app/VelquinApp.h"

#include "app/DemoService.h"
#include "app/Log.h"
#include "app/Ports.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/SysInfo.h"
#include "resources/Strings.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <unistd.h>

bool IsSwitchParameter(const std::string& arg) {
    if (arg.size() < 2) {
        return false;
    }
    if (arg[0] == '-') {
        return true;
    }
    return arg[0] == '/' && arg.find('/', 1) == std::string::npos;
}

bool HasFileParameter(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (!IsVerboseSwitch(a) && !IsSwitchParameter(a)) {
            return true;
        }
    }
    return false;
}

std::string InstanceSocketPath() {
    int err = 0;
    const std::string path =
        platform::JoinPath(platform::PrivateRuntimeDir(err), kInstanceSocketName);
    return err == 0 ? path : std::string();
}

namespace {

// The line the store lock's holder leaves in it: "pid user host".
std::string StoreLockNote() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        std::strcpy(host, "?");
    }
    std::string user = platform::CurrentUserName();
    if (user.empty() || user.find_first_of(" \t\n") != std::string::npos) {
        user = std::to_string(::geteuid());
    }
    return std::to_string(::getpid()) + " " + user + " " + host;
}

// The holder named for a person, from its line; "" when the line does not tell.
std::string StoreHolderText(const std::string& note) {
    std::istringstream in(note);
    std::string pid, user, host, more;
    if (!(in >> pid >> user >> host) || (in >> more) ||
        pid.find_first_not_of("0123456789") != std::string::npos) {
        return {};
    }
    return FormatString(LoadString(kMsgStoreHolder), pid, user, host);
}

// Why the lock's folder or file cannot be used, for the box.
std::string LockFailureReason(int err) {
    switch (err) {
    case ELOOP:
        return std::string(LoadString(kMsgLockIsLink));
    case EPERM:
        return std::string(LoadString(kMsgLockOfOtherUser));
    case EACCES:
        return std::string(LoadString(kMsgLockOpenToOthers));
    case ENOTDIR:
        return std::string(LoadString(kMsgLockNotAFolder));
    default:
        return std::strerror(err);
    }
}

} // namespace

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

    if (const int err = m_instanceLock.Acquire(kInstanceLockName); err != 0) {
        if (err == platform::kLockHeld) {
            return StartResult::AlreadyRunning;
        }
        // Never silent: a lock another user made first must not just keep the program away.
        int dirErr = 0;
        std::string where = platform::CSingleInstanceLock::LockPath(kInstanceLockName, dirErr);
        if (dirErr != 0) {
            where = platform::DirName(where); // the folder is at fault
        }
        const std::string text =
            FormatString(LoadString(kMsgInstanceLockFailed), where, LockFailureReason(err));
        LogLine(text);
        m_prompt.FileError(text);
        return StartResult::LockFailed;
    }
    // The socket layer: a peer closing a connection must give an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    LogLine("Init Instance - semaphore created");

    LogLine("Init Instance - loading settings");
    if (!LoadSettings(m_prompt)) {
        platform::CRegKey key;
        if (key.Open(platform::Hive::LocalMachine, kMainKey) != platform::kRegNotFound) {
            return StartResult::SettingsInvalid;
        }
        if (!m_ui.RunFirstSetup()) {
            std::fprintf(
                stderr, "Velquin is not set up on this machine: run 'velquin-tool setup' first.\n");
            return StartResult::NotInstalled;
        }
        if (!LoadSettingsAfterSetup(m_prompt)) {
            return StartResult::SettingsInvalid;
        }
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
    // Before anything in the store is read or removed. A store that cannot hold the file
    // (read-only) can take no other copy's writes either.
    const std::string storeLock = platform::JoinPath(s.DataDir, kStoreLockName);
    std::string holder;
    if (const int err = m_storeLock.Acquire(storeLock, StoreLockNote(), holder);
        err == platform::kLockHeld) {
        std::string who = StoreHolderText(holder);
        if (who.empty()) {
            who = FormatString(LoadString(kMsgStoreLockFile), storeLock);
        }
        const std::string text = FormatString(LoadString(kMsgStoreInUse), s.DataDir, who);
        LogLine(text);
        // Also on stderr: started from a terminal or a script, the box may go unseen.
        std::fprintf(stderr, "%s\n", text.c_str());
        m_prompt.Message(text, MsgIcon::Warning, MsgButtons::Ok);
        return StartResult::StoreInUse;
    } else if (err != 0) {
        LogLine("Init Instance - no store lock " + storeLock + ": " + std::strerror(err));
    }
    // Saves killed half-way (a crash, a power cut) leave their temporary files behind.
    platform::RemoveStaleTempFiles(s.FaxDir, kStaleTempAge);
    platform::RemoveStaleTempFiles(s.DataDir, kStaleTempAge);
    for (const std::string& sub : StoreSubdirectories()) {
        platform::RemoveStaleTempFiles(platform::JoinPath(s.DataDir, sub), kStaleTempAge);
    }
    LogLine("Init Instance - directory structure OK");
    LogLine("Init Instance - checking disc space");
    if (auto free = freeBytes(s.DataDir); free && *free < kLowDiskSpace) {
        m_prompt.MessageId(180);
        s.SentFilterType = 0;
        s.RcvdFilterType = 0;
    }
    LogLine("Init Instance - disc space OK");
    if (demo::IsChosen(s) && !demo::Start(s)) {
        m_prompt.FileError(LoadString(demo::kMsgMissing));
    }

    m_fileParameter = HasFileParameter(args);
    if (!m_ui.CreateMainWindow(m_fileParameter)) {
        return StartResult::WindowFailed;
    }
    m_watcher.Start(m_watchPath, m_ui.Frame(), watcherRearmMs);
    return StartResult::Running;
}

void CVelquinApp::ExitInstance() {
    m_watcher.Stop();
    m_storeLock.Release();
    m_instanceLock.Release();
}
