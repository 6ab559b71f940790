#pragma once
// Start-up and shutdown of the program, free of any toolkit: the windows it needs are asked
// for through IStartupUi and IPrompt.
#include "app/DirWatcher.h"
#include "app/StorePaths.h"
#include "platform/Sync.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class IPrompt;
class IFrame;

class IStartupUi {
public:
    virtual ~IStartupUi() = default;
    // Shows the old-mail-client notice; returns the state of "Больше не показывать это
    // сообщение".
    virtual bool ShowBatVersionNotOK() = 0;
    // No settings key yet: asks for the account, the service and the folders and writes the
    // key (true), or the user declined (false: the program ends).
    virtual bool RunFirstSetup() { return false; }
    // Creates the document and the main window, shown or hidden. False on failure.
    virtual bool CreateMainWindow(bool hidden) = 0;
    // The frame the directory watcher posts to (valid after CreateMainWindow).
    virtual IFrame& Frame() = 0;
};

// Creates the subdirectories of the store under `dataDir` (DataDir itself must exist). False
// when one is not a directory afterwards. Start-up and every command that writes into the
// store call it.
bool CreateStoreDirectories(const std::string& dataDir);

constexpr std::uint64_t kLowDiskSpace = 10000000; // bytes, decimal
constexpr int kTheBatMinVersion = 160;
constexpr const char* kInstanceLockName = "TWVelquin.old";
// The running copy's socket for a second start, beside the lock.
constexpr const char* kInstanceSocketName = "velquin.socket";
// Temporary files of killed saves are removed once they are this old (seconds).
constexpr std::int64_t kStaleTempAge = 3600;
// The lock could not be made in the user's runtime folder; %s the file, %s why.
constexpr unsigned kMsgInstanceLockFailed = 9340;
// Why (the %s of kMsgInstanceLockFailed).
constexpr unsigned kMsgLockIsLink = 9342;
constexpr unsigned kMsgLockOfOtherUser = 9343;
constexpr unsigned kMsgLockOpenToOthers = 9344;
constexpr unsigned kMsgLockNotAFolder = 9345;
// A second start found a running copy that did not take its parameters; %s why.
constexpr unsigned kMsgNoAnswerFromRunningCopy = 9341;
// Held by the window in DataDir as long as it runs, whatever its runtime folder: a copy
// started without the same one (after su, from cron) finds the store taken.
constexpr const char* kStoreLockName = ".velquin.lock";
// Another copy works on the store; %s DataDir, %s who (kMsgStoreHolder or kMsgStoreLockFile).
constexpr unsigned kMsgStoreInUse = 9346;
constexpr unsigned kMsgStoreHolder = 9347;   // %s pid, %s user, %s host
constexpr unsigned kMsgStoreLockFile = 9348; // %s the lock file, when it does not tell

class CVelquinApp {
public:
    enum class StartResult {
        Running,
        AlreadyRunning,  // another copy holds the instance lock: it gets the parameters
        LockFailed,      // the lock's folder or file is not the user's own; the box said why
        StoreInUse,      // another copy holds the store's lock; the box named it
        NotInstalled,    // the main settings key is missing
        SettingsInvalid, // message 1018, or the damaged settings file, was shown
        DirectoryError,  // message 163 was shown
        WindowFailed,
    };

    CVelquinApp(IPrompt& prompt, IStartupUi& ui);
    ~CVelquinApp();

    // The start-up sequence. `args` are the command-line parameters without the program name.
    StartResult InitInstance(const std::vector<std::string>& args);
    bool InitSucceeded(StartResult r) const { return r == StartResult::Running; }

    // Stops the directory watcher and every worker of the registry, joining them.
    void ExitInstance();

    bool StartedHidden() const { return m_fileParameter; }

    // Injectable for tests.
    std::function<std::optional<std::uint64_t>(const std::string&)> freeBytes;
    int watcherRearmMs = CDirWatcherThread::kRearmMs;

private:
    IPrompt& m_prompt;
    IStartupUi& m_ui;
    platform::CSingleInstanceLock m_instanceLock;
    platform::CFileLock m_storeLock;
    CDirWatcherThread m_watcher;
    std::string m_watchPath;
    bool m_fileParameter = false;
};

// True when a command-line parameter is a switch rather than a file name: "-x", or "/x"
// without a further "/" (so absolute paths stay file names).
bool IsSwitchParameter(const std::string& arg);

// True when the parameters hold a file name: such a start leaves the window hidden (the file
// itself is not opened), the first start's as well as a second start's handed to the first.
bool HasFileParameter(const std::vector<std::string>& args);

// The running copy's socket path (in the user's runtime folder), "" when there is none.
std::string InstanceSocketPath();
