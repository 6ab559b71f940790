#pragma once
// The watcher of the printed-documents directory: a change posts command 1026 to the frame.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/Sync.h"

class IFrame;

class CDirWatcherThread {
public:
    static constexpr int kRearmMs = 300000; // 5 minutes: a recreated directory is watched again

    CDirWatcherThread() = default;
    ~CDirWatcherThread(); // stops and joins
    CDirWatcherThread(const CDirWatcherThread&) = delete;
    CDirWatcherThread& operator=(const CDirWatcherThread&) = delete;

    // Starts watching `faxDir`; ends on the named exit event "exit.fax.manager.event" or on
    // Stop().
    void Start(const std::string& faxDir, IFrame& frame, int rearmMs = kRearmMs);
    void Stop();
    bool Running() const { return m_thread.joinable(); }

private:
    void Run(std::string faxDir, IFrame* frame, int rearmMs);
    std::thread m_thread;
    std::shared_ptr<platform::CEvent> m_exitEvent;
    std::unique_ptr<platform::CEvent> m_stopEvent;
};

constexpr const char* kExitEventName = "exit.fax.manager.event";
constexpr const char* kCheckStateEventName = "check.document.state.event";
constexpr const char* kCheckAnswerEventName = "check.answer.event";
