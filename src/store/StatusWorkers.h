#pragma once
// The two status workers: the query worker asks the service for each queued job id, the reply
// applier hands the replies that came meanwhile to the sent faxes' owner in batches.
#include "service/FormPost.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {
class CEvent;
}
class CSentFaxes;

class CStatusWorkers {
public:
    // A reply of the status query (the service's reply tree), possibly empty.
    using Reply = std::shared_ptr<void>;
    // Their work; filled in by the status synchronisation (MakeStatusSteps).
    struct CSteps {
        // On the query worker, with the service address and account the GUI thread handed over.
        std::function<Reply(std::int32_t id, const ServiceEndpoint& endpoint)> query;
        // On the reply applier, with every reply that came since its last call.
        std::function<void(CSentFaxes&, std::vector<Reply>)> apply;
        // On the reply applier, before `apply`, with how many queries of the batch got no
        // reply (the service unreachable or its reply cut).
        std::function<void(std::size_t failed)> failed;
    };

    // Starts both workers; `sent` must outlive them.
    CStatusWorkers(CSentFaxes& sent, CSteps steps);
    ~CStatusWorkers() { Stop(); }
    CStatusWorkers(const CStatusWorkers&) = delete;
    CStatusWorkers& operator=(const CStatusWorkers&) = delete;

    void QueueQuery(std::int32_t id);
    // Where the queries queued from now on go (GUI thread): the worker never reads the settings,
    // which a send's completion may change meanwhile.
    void SetEndpoint(ServiceEndpoint endpoint);
    void QueueReply(Reply reply);
    std::size_t PendingQueries();
    // Queries queued whose replies are not applied yet: a round of synchronisation in flight.
    std::size_t Unanswered() const { return m_unanswered.load(); }
    // Abandons a query in flight and joins both workers; what is queued is dropped.
    void Stop();

private:
    void QueryWorker();
    void ReplyWorker();

    CSentFaxes& m_sent;
    CSteps m_steps;
    std::shared_ptr<platform::CEvent> m_answerEvent;
    std::shared_ptr<platform::CEvent> m_stateEvent;
    std::mutex m_queryLock;
    std::deque<std::int32_t> m_queries;
    ServiceEndpoint m_queryEndpoint; // under m_queryLock
    std::mutex m_replyLock;
    std::deque<Reply> m_replies;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_unanswered{0};
    std::thread m_queryThread;
    std::thread m_replyThread;
};
