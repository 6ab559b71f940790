#pragma once
// Runs work on the GUI thread for a worker and waits for it: the synchronous send of the
// original. Once shutdown has begun, waiting callers return false at once and work that has
// not started yet is dropped, so the GUI thread can join the workers without a deadlock.
#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>

class CGuiInvoker {
public:
    explicit CGuiInvoker(QObject* guiObject) : m_target(guiObject) {}

    // True when `work` ran. On the GUI thread itself it runs at once.
    bool Run(const std::function<void()>& work);
    // Posts without waiting (dropped after shutdown).
    void Post(std::function<void()> work);
    void BeginShutdown();
    // Takes calls again (the user declined to quit after all).
    void Resume();
    bool ShuttingDown() const;

private:
    QObject* m_target;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_shutdown = false;
};
