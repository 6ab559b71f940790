#pragma once
// The worker registry: lets a new address-book worker stop the one before it, and collects
// finished workers. Busy: 0 idle, 1 the address-book loader runs, 2 a view worker runs.
// Stop request: 0 none, 1 the running worker should stop (and finished ones be collected),
// 2 the program is closing.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class IFrame;

struct ThreadInfo {
    std::uint32_t threadId = 0;
    std::shared_ptr<std::thread> thread;
    std::uint8_t collectable = 1; // 1 until the worker has begun its work
};

class CThreadControl {
public:
    CThreadControl();
    ~CThreadControl(); // sets stop request 2 and joins the reaper and every worker
    CThreadControl(const CThreadControl&) = delete;
    CThreadControl& operator=(const CThreadControl&) = delete;

    static CThreadControl& Instance();

    void Register(std::uint32_t id, std::shared_ptr<std::thread> t, std::uint8_t collectable);
    void Unregister(std::uint32_t id);
    void SetCollectable(std::uint32_t id, std::uint8_t flag);
    std::size_t Count() const;

    std::atomic<int> busy{0};
    std::atomic<int> stopRequest{0};

    // Starts a view worker the way the original did: asks a running one to stop, registers
    // the new one, which waits (10 ms steps) until busy and the stop request are 0, marks
    // itself collectable, sets busy 2, shows `statusTextId` through `frame` (may be null),
    // runs `work` (which should poll StopRequested()), then sets busy 0 and restores the idle
    // status text. Returns the worker's id.
    std::uint32_t StartViewWorker(IFrame* frame, unsigned statusTextId, std::function<void()> work);

    // True when the running worker should stop.
    bool StopRequested() const { return stopRequest.load() != 0; }

    // Closing: stop request 2, then join every registered worker and the reaper.
    void Shutdown();

private:
    void ReaperLoop();
    mutable std::mutex m_mutex;
    std::vector<ThreadInfo> m_workers;
    std::thread m_reaper;
    std::atomic<std::uint32_t> m_nextId{1};
};
