#include "app/ThreadControl.h"

#include "app/Ports.h"
#include "resources/Strings.h"

#include <chrono>

namespace {
using namespace std::chrono_literals;
}

CThreadControl::CThreadControl() : m_reaper([this] { ReaperLoop(); }) {}

CThreadControl::~CThreadControl() {
    Shutdown();
}

CThreadControl& CThreadControl::Instance() {
    static CThreadControl instance;
    return instance;
}

void CThreadControl::Register(std::uint32_t id, std::shared_ptr<std::thread> t,
                              std::uint8_t collectable) {
    std::lock_guard lock(m_mutex);
    m_workers.push_back({id, std::move(t), collectable});
}

void CThreadControl::Unregister(std::uint32_t id) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_workers.begin(); it != m_workers.end(); ++it) {
        if (it->threadId == id) {
            m_workers.erase(it);
            return;
        }
    }
}

void CThreadControl::SetCollectable(std::uint32_t id, std::uint8_t flag) {
    std::lock_guard lock(m_mutex);
    for (ThreadInfo& info : m_workers) {
        if (info.threadId == id) {
            info.collectable = flag;
            return;
        }
    }
}

std::size_t CThreadControl::Count() const {
    std::lock_guard lock(m_mutex);
    return m_workers.size();
}

void CThreadControl::ReaperLoop() {
    for (;;) {
        int request = stopRequest.load();
        if (request == 2) {
            return;
        }
        if (request == 1) {
            // Each collectable worker is taken out under the lock and joined outside it, so a
            // worker that still talks to the GUI thread cannot deadlock against a new start.
            for (;;) {
                std::shared_ptr<std::thread> victim;
                {
                    std::lock_guard lock(m_mutex);
                    for (auto it = m_workers.begin(); it != m_workers.end(); ++it) {
                        if (it->collectable == 0 && it->thread) {
                            victim = it->thread;
                            m_workers.erase(it);
                            break;
                        }
                    }
                }
                if (!victim) {
                    break;
                }
                if (victim->joinable()) {
                    victim->join();
                }
            }
            int expected = 1;
            stopRequest.compare_exchange_strong(expected, 0);
        }
        std::this_thread::sleep_for(5ms);
    }
}

std::uint32_t CThreadControl::StartViewWorker(IFrame* frame, unsigned statusTextId,
                                              std::function<void()> work) {
    if (busy.load() != 0) {
        int expected = 0;
        stopRequest.compare_exchange_strong(expected, 1);
    }
    const std::uint32_t id = m_nextId++;
    std::lock_guard lock(m_mutex); // the worker cannot mark itself before it is registered
    auto t = std::make_shared<std::thread>([this, id, frame, statusTextId, work = std::move(work)] {
        // Wait until the previous worker has ended and the reaper has cleared its stop request.
        for (;;) {
            if (stopRequest.load() == 2) {
                return;
            }
            int idle = 0;
            if (stopRequest.load() == 0 && busy.compare_exchange_strong(idle, 2)) {
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        SetCollectable(id, 0);
        if (frame) {
            frame->SetStatusText(LoadString(statusTextId));
        }
        if (stopRequest.load() == 0) {
            work();
        }
        busy = 0;
        if (frame && stopRequest.load() != 2) {
            frame->SetStatusText("");
        }
    });
    m_workers.push_back({id, t, 1});
    return id;
}

void CThreadControl::Shutdown() {
    stopRequest = 2;
    if (m_reaper.joinable()) {
        m_reaper.join();
    }
    std::vector<ThreadInfo> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (ThreadInfo& info : workers) {
        if (info.thread && info.thread->joinable() &&
            info.thread->get_id() != std::this_thread::get_id()) {
            info.thread->join();
        }
    }
}
