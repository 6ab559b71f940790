#pragma once
// Change notification on one directory (inotify): file names and last-write times, not
// subdirectories.
#include <string>
#include <vector>

namespace platform {

class CEvent;

class CDirWatch {
public:
    enum class Result { Change, Exit, Timeout, Error };

    CDirWatch() = default;
    ~CDirWatch();
    CDirWatch(const CDirWatch&) = delete;
    CDirWatch& operator=(const CDirWatch&) = delete;

    // Starts (or restarts) watching `dir`. False when it cannot be watched (missing, ...).
    bool Arm(const std::string& dir);
    void Close();
    bool IsArmed() const { return m_wd >= 0; }

    // Waits for a change, an exit event or the time-out. Pending change records are drained
    // so one burst of writes gives one Change. Without an armed watch it only waits for the
    // exit events or the time-out (no spinning).
    Result Wait(CEvent& exitEvent, int timeoutMs) { return Wait({&exitEvent}, timeoutMs); }
    Result Wait(const std::vector<CEvent*>& exitEvents, int timeoutMs);

private:
    int m_fd = -1;
    int m_wd = -1;
    bool m_pendingChange = false;
};

} // namespace platform
