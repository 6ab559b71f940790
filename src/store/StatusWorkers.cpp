#include "store/StatusWorkers.h"

#include "app/DirWatcher.h"
#include "app/ThreadControl.h"
#include "platform/Sync.h"

#include <algorithm>

namespace {
// Replies applied on the GUI thread at once: some 10 ms of its time.
constexpr std::size_t kMaxReplyBatch = 1000;
} // namespace

CStatusWorkers::CStatusWorkers(CSentFaxes& sent, CSteps steps)
    : m_sent(sent), m_steps(std::move(steps)),
      m_answerEvent(platform::CreateNamedEvent(kCheckAnswerEventName)),
      m_stateEvent(platform::CreateNamedEvent(kCheckStateEventName)) {
    // A signal left over from earlier workers must not wake the new ones for nothing.
    m_answerEvent->Reset();
    m_stateEvent->Reset();
    m_queryThread = std::thread([this] { QueryWorker(); });
    m_replyThread = std::thread([this] { ReplyWorker(); });
}

void CStatusWorkers::QueueQuery(std::int32_t id) {
    m_unanswered.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(m_queryLock);
        m_queries.push_back(id);
    }
    m_stateEvent->Set();
}

void CStatusWorkers::SetEndpoint(ServiceEndpoint endpoint) {
    std::lock_guard<std::mutex> lock(m_queryLock);
    m_queryEndpoint = std::move(endpoint);
}

void CStatusWorkers::QueueReply(Reply reply) {
    {
        std::lock_guard<std::mutex> lock(m_replyLock);
        m_replies.push_back(std::move(reply));
    }
    m_answerEvent->Set();
}

std::size_t CStatusWorkers::PendingQueries() {
    std::lock_guard<std::mutex> lock(m_queryLock);
    return m_queries.size();
}

void CStatusWorkers::QueryWorker() {
    const CAbandonRequests abandon(m_stopping); // Stop joins this thread
    // A failed wait counts as a wake-up: the queue is looked at and the wait begins again.
    for (m_stateEvent->Wait(); !m_stopping.load(); m_stateEvent->Wait()) {
        for (;;) {
            std::int32_t id = 0;
            ServiceEndpoint endpoint;
            {
                std::lock_guard<std::mutex> lock(m_queryLock);
                if (m_queries.empty()) {
                    break;
                }
                id = m_queries.front();
                m_queries.pop_front();
                endpoint = m_queryEndpoint;
            }
            if (m_stopping.load()) {
                return;
            }
            QueueReply(m_steps.query ? m_steps.query(id, endpoint) : Reply());
        }
    }
}

void CStatusWorkers::ReplyWorker() {
    for (m_answerEvent->Wait(); !m_stopping.load(); m_answerEvent->Wait()) {
        for (;;) {
            // What came meanwhile goes over in one batch, but never so much at once that the
            // window would stop answering while it applies them.
            std::vector<Reply> batch;
            std::size_t taken = 0;
            {
                std::lock_guard<std::mutex> lock(m_replyLock);
                if (m_replies.empty()) {
                    break;
                }
                taken = std::min(m_replies.size(), kMaxReplyBatch);
                for (std::size_t i = 0; i < taken; ++i) {
                    if (m_replies[i]) { // a failed query has nothing to apply
                        batch.push_back(std::move(m_replies[i]));
                    }
                }
                m_replies.erase(m_replies.begin(),
                                m_replies.begin() + static_cast<std::ptrdiff_t>(taken));
            }
            if (m_stopping.load()) {
                return;
            }
            if (batch.size() < taken && m_steps.failed) {
                m_steps.failed(taken - batch.size());
            }
            if (!batch.empty() && m_steps.apply) {
                m_steps.apply(m_sent, std::move(batch));
            }
            m_unanswered.fetch_sub(taken);
        }
    }
}

void CStatusWorkers::Stop() {
    if (m_stopping.exchange(true)) {
        return;
    }
    m_stateEvent->Set();
    m_answerEvent->Set();
    if (m_queryThread.joinable()) {
        m_queryThread.join();
    }
    if (m_replyThread.joinable()) {
        m_replyThread.join();
    }
    m_stateEvent->Reset();
    m_answerEvent->Reset();
}
