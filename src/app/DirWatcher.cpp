#include "app/DirWatcher.h"

#include "app/Log.h"
#include "app/Ports.h"
#include "platform/DirWatch.h"
#include "platform/Sync.h"

CDirWatcherThread::~CDirWatcherThread() {
    Stop();
}

void CDirWatcherThread::Start(const std::string& faxDir, IFrame& frame, int rearmMs) {
    Stop();
    m_exitEvent = platform::CreateNamedEvent(kExitEventName);
    m_stopEvent = std::make_unique<platform::CEvent>();
    m_thread = std::thread([this, faxDir, f = &frame, rearmMs] { Run(faxDir, f, rearmMs); });
}

void CDirWatcherThread::Stop() {
    if (m_thread.joinable()) {
        // A private stop event as well as the shared exit event: another waiter may have
        // taken the exit signal, and joining must not depend on that.
        m_stopEvent->Set();
        m_thread.join();
    }
}

void CDirWatcherThread::Run(std::string faxDir, IFrame* frame, int rearmMs) {
    platform::CDirWatch watch;
    watch.Arm(faxDir);
    const std::vector<platform::CEvent*> exits = {m_exitEvent.get(), m_stopEvent.get()};
    for (;;) {
        switch (watch.Wait(exits, rearmMs)) {
        case platform::CDirWatch::Result::Exit:
            return;
        case platform::CDirWatch::Result::Change:
            frame->PostCommand(kCmdReloadPrintedDocs);
            if (!watch.IsArmed()) {
                watch.Arm(faxDir); // deleted and recreated at once: watch the new one
            }
            break;
        case platform::CDirWatch::Result::Timeout:
        case platform::CDirWatch::Result::Error:
            // Re-create the notification so a directory that was recreated is watched again;
            // while it cannot be watched, the wait above is a plain time-out (no spinning).
            watch.Arm(faxDir);
            break;
        }
    }
}
