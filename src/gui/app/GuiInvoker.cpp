#include "gui/app/GuiInvoker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <memory>

namespace {
enum class CallState { Pending, Running, Done, Dropped };
}

bool CGuiInvoker::Run(const std::function<void()>& work) {
    if (QThread::currentThread() == m_target->thread()) {
        if (ShuttingDown()) {
            return false;
        }
        work();
        return true;
    }
    auto state = std::make_shared<CallState>(CallState::Pending);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shutdown) {
            return false;
        }
    }
    QMetaObject::invokeMethod(
        m_target,
        [this, state, &work] {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (*state != CallState::Pending) {
                    return; // the caller gave up: `work` may be gone
                }
                *state = CallState::Running;
            }
            work();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                *state = CallState::Done;
            }
            m_cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] {
        return *state == CallState::Done || (*state == CallState::Pending && m_shutdown);
    });
    if (*state == CallState::Done) {
        return true;
    }
    *state = CallState::Dropped;
    return false;
}

void CGuiInvoker::Post(std::function<void()> work) {
    QMetaObject::invokeMethod(
        m_target,
        [this, work = std::move(work)] {
            if (!ShuttingDown()) {
                work();
            }
        },
        Qt::QueuedConnection);
}

void CGuiInvoker::BeginShutdown() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shutdown = true;
    }
    m_cv.notify_all();
}

void CGuiInvoker::Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shutdown = false;
}

bool CGuiInvoker::ShuttingDown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shutdown;
}
