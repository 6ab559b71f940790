#pragma once
// Auto-reset events, named events and waiting on several with a time-out (the original's
// kernel objects), plus the single-instance lock.
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

constexpr int kInfinite = -1;
constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

// An auto-reset event: Set releases exactly one waiter (or the next one to wait).
class CEvent {
public:
    CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
    ~CEvent();

    void Set();
    void Reset();
    // True when signalled within the time-out (ms, kInfinite for none); consumes the signal.
    bool Wait(int timeoutMs = kInfinite);
    // Consumes the signal when there is one, without waiting.
    bool TryWait();

    // A file descriptor that becomes readable whenever Set is called, for poll()-based waits
    // (the directory watcher). Created on first use; owned by the event.
    int WakeFd();

private:
    friend int WaitForAny(const std::vector<CEvent*>& events, int timeoutMs);
    bool m_signalled = false; // guarded by the process-wide event lock
    int m_wakeFd = -1;
};

// Waits until one of `events` is signalled; returns its index (consuming the signal), or
// kWaitTimeout. Earlier events win when several are signalled.
int WaitForAny(const std::vector<CEvent*>& events, int timeoutMs);

// Named events live in a process-wide table: creating a name that exists returns the same
// event; opening a missing name returns nullptr.
std::shared_ptr<CEvent> CreateNamedEvent(const std::string& name);
std::shared_ptr<CEvent> OpenNamedEvent(const std::string& name);

// The user's private runtime folder: the single-instance lock, the second start's socket and
// short-lived files that may hold secrets live there. $XDG_RUNTIME_DIR/velquin when
// $XDG_RUNTIME_DIR is a folder of this user closed to others, else "run" in the settings
// folder (never a shared folder such as /tmp, where another user could take the name first).
// Made 0700 when missing. Its path; `error` is 0, or the errno of MakePrivateDir when the
// folder cannot be used.
std::string PrivateRuntimeDir(int& error);

// Makes `dir` (and missing parents) 0700, or checks the one there: a folder, not a symbolic
// link, owned by this user and closed to others. 0 or errno: ELOOP for a link, ENOTDIR for a
// file, EPERM for another owner, EACCES for a folder others may use.
int MakePrivateDir(const std::string& dir);

constexpr int kLockHeld = EWOULDBLOCK;

// The single-instance token: an flock'd file "<name>" in PrivateRuntimeDir(). The OS releases
// the lock when the process ends, even after a crash.
class CSingleInstanceLock {
public:
    CSingleInstanceLock() = default;
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    // 0 when acquired; kLockHeld when another process holds it; else the errno of the folder
    // or the lock file, which must be a regular file of this user. LockPath names the file.
    int Acquire(const std::string& name);
    void Release();
    // The lock file's path; `error` as PrivateRuntimeDir's.
    static std::string LockPath(const std::string& name, int& error);

private:
    int m_fd = -1;
};

// A lock on a file in a folder several users or sessions may reach (the fax store): an
// flock'd regular file, never followed through a link, into which its holder writes a line
// that tells who it is. The OS releases the lock when the process ends, even after a crash.
class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // 0 when acquired (`note` is then the file's line, where the file may be written);
    // kLockHeld when another process holds it, with its holder's line in `holder`; else the
    // errno of opening the file.
    int Acquire(const std::string& path, const std::string& note, std::string& holder);
    void Release();

private:
    int m_fd = -1;
};

} // namespace platform
