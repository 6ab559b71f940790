#include "store/StatusSync.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "service/ReplyTree.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

namespace {
constexpr unsigned kIdsNoReplies = 9423;
constexpr unsigned kIdsProxyRefusedQueries = 9470;
constexpr unsigned kIdsCertificateFailedQueries = 9471; // %s the host

// Why the latest status query failed, where that is worth more than a count: the query
// worker writes it, the reply worker reads it.
struct CQueryFailure {
    std::mutex lock;
    ExchangeFailure why = ExchangeFailure::None;
    std::string host;
};
} // namespace

// --- Synchronise ---------------------------------------------------------------------------

std::optional<int> CStatusSync::Synchronise(ISyncProgress* progress) {
    // One round at a time: however many commands arrive (a key held or sent by another
    // program, the timer), the service is never asked again before the last round's replies
    // are in.
    if (m_running || m_doc.Status().Unanswered() > 0) {
        return std::nullopt;
    }
    m_running = true;
    m_doc.Status().SetEndpoint(ApiEndpointFromSettings());
    // The ids are taken before any event is handled: a handler may change the sent list.
    std::vector<std::vector<std::int32_t>> perEntry;
    perEntry.reserve(m_doc.SentRecords().size());
    for (const auto& entry : m_doc.SentRecords()) {
        perEntry.push_back(entry ? StatusIdsOf(*entry) : std::vector<std::int32_t>{});
    }
    if (progress != nullptr) {
        progress->Open(static_cast<int>(perEntry.size()));
    }
    int queued = 0;
    for (const auto& ids : perEntry) {
        for (std::int32_t id : ids) {
            m_doc.Status().QueueQuery(id);
            ++queued;
        }
        if (progress != nullptr) {
            progress->Step();
            if (progress->Cancelled()) {
                break;
            }
        }
    }
    if (progress != nullptr) {
        progress->Close();
    }
    m_running = false;
    return queued;
}

// --- applying a reply ----------------------------------------------------------------------

std::optional<std::pair<std::int32_t, std::int32_t>> JobStateOfReply(const Dictionary* reply) {
    const Dictionary* item = FindReplyPath(reply, {"response", "data", "item"});
    if (item == nullptr) {
        return std::nullopt;
    }
    return std::make_pair(item->valueForKey("id", EmptyValue()).intValue(),
                          item->valueForKey("jobstatus", EmptyValue()).intValue());
}

int ApplyServiceReply(CSentFaxes& sent, const Dictionary* reply) {
    const auto state = JobStateOfReply(reply);
    return state ? sent.ApplyJobStates({*state}) : 0;
}

// --- the workers' steps --------------------------------------------------------------------

CStatusWorkers::CSteps MakeStatusSteps(IFrame& frame) {
    auto last = std::make_shared<CQueryFailure>();
    CStatusWorkers::CSteps steps =
        MakeStatusStepsWith(frame, [last](std::int32_t id, const ServiceEndpoint& endpoint) {
            ExchangeFailure why = ExchangeFailure::None;
            ReplyTree tree = RequestFaxStatus(id, endpoint, &why);
            const std::lock_guard<std::mutex> hold(last->lock);
            last->why = why;
            last->host = endpoint.host;
            return tree;
        });
    // A refusing proxy or a failed certificate fails every query alike, and only the user can
    // mend it: the status bar says so instead of counting.
    steps.failed = [&frame, last, counted = std::move(steps.failed)](std::size_t failed) {
        std::string text;
        {
            const std::lock_guard<std::mutex> hold(last->lock);
            if (last->why == ExchangeFailure::ProxyRefused) {
                text = LoadString(kIdsProxyRefusedQueries);
            } else if (last->why == ExchangeFailure::Certificate) {
                text = FormatString(LoadString(kIdsCertificateFailedQueries), last->host);
            }
        }
        if (text.empty()) {
            counted(failed);
            return;
        }
        frame.RunOnGuiThread([&frame, &text] { frame.SetStatusText(text); });
    };
    return steps;
}

CStatusWorkers::CSteps MakeStatusStepsWith(IFrame& frame, StatusQuery query) {
    return MakeStatusStepsWith(frame,
                               [query = std::move(query)](std::int32_t id, const ServiceEndpoint&) {
                                   return query ? query(id) : ReplyTree();
                               });
}

CStatusWorkers::CSteps MakeStatusStepsWith(IFrame& frame, EndpointStatusQuery query) {
    CStatusWorkers::CSteps steps;
    steps.query = [query = std::move(query)](
                      std::int32_t id, const ServiceEndpoint& endpoint) -> CStatusWorkers::Reply {
        ReplyTree tree = query ? query(id, endpoint) : ReplyTree();
        if (!tree) {
            return nullptr;
        }
        // The shared pointer holds the tree's one reference and releases it exactly once.
        return std::make_shared<ReplyTree>(std::move(tree));
    };
    steps.apply = [&frame](CSentFaxes& sent, std::vector<CStatusWorkers::Reply> replies) {
        // The replies are read here; the GUI thread, the only one that changes the sent list,
        // gets all of them at once and tells each changed entry once.
        JobStates states;
        states.reserve(replies.size());
        for (const auto& reply : replies) {
            if (reply) {
                if (auto state =
                        JobStateOfReply(static_cast<const ReplyTree*>(reply.get())->get())) {
                    states.push_back(*state);
                }
            }
        }
        if (states.empty()) {
            return;
        }
        JobFileWrites files;
        frame.RunOnGuiThread([&sent, &states, &files] { sent.ApplyJobStates(states, &files); });
        // The job files are written here: a flush to disk may take longer than the window
        // may wait.
        if (const auto failed = CSentFaxes::WriteJobFiles(files); !failed.empty()) {
            frame.RunOnGuiThread([&sent, &failed] { sent.ReportUnwritten(failed); });
        }
    };
    steps.failed = [&frame](std::size_t failed) {
        // A line in the status bar: the user pressed F5 and would otherwise hear nothing.
        const std::string text = FormatString(LoadString(kIdsNoReplies), std::to_string(failed));
        frame.RunOnGuiThread([&frame, &text] { frame.SetStatusText(text); });
    };
    return steps;
}

// --- timer rule ----------------------------------------------------------------------------

std::int64_t CSyncTimer::PeriodFor(std::int32_t delayMinutes) {
    const std::int32_t minutes = std::clamp(delayMinutes, kMinMinutes, kMaxMinutes);
    return static_cast<std::int64_t>(minutes) * 60000;
}

CTimerChange CSyncTimer::Begin(std::int32_t delayMinutes, std::int64_t nowMs) {
    m_active = true;
    m_periodMs = PeriodFor(delayMinutes);
    m_nextDueMs = nowMs + m_periodMs;
    CTimerChange change;
    change.start = true;
    change.periodMs = m_periodMs;
    return change;
}

CTimerChange CSyncTimer::Start(bool autoSync, std::int32_t delayMinutes, std::int64_t nowMs) {
    CTimerChange change;
    if (m_active) {
        change = Stop();
    }
    if (autoSync) {
        CTimerChange begun = Begin(delayMinutes, nowMs);
        change.start = true;
        change.periodMs = begun.periodMs;
    }
    return change;
}

CTimerChange CSyncTimer::SettingsChanged(bool oldAuto, std::int32_t oldDelay, bool newAuto,
                                         std::int32_t newDelay, std::int64_t nowMs) {
    if (oldAuto == newAuto && oldDelay == newDelay) {
        return {};
    }
    CTimerChange change;
    if (oldAuto || m_active) {
        change = Stop();
        change.stop = true;
    }
    if (newAuto) {
        CTimerChange begun = Begin(newDelay, nowMs);
        change.start = true;
        change.periodMs = begun.periodMs;
    }
    return change;
}

CTimerChange CSyncTimer::Stop() {
    CTimerChange change;
    change.stop = m_active;
    m_active = false;
    m_periodMs = 0;
    m_nextDueMs = 0;
    return change;
}

std::optional<std::int64_t> CSyncTimer::NextDueMs() const {
    if (!m_active) {
        return std::nullopt;
    }
    return m_nextDueMs;
}

bool CSyncTimer::Tick(std::int64_t nowMs) {
    if (!m_active || nowMs < m_nextDueMs) {
        return false;
    }
    // Runs keep their rhythm; after a long sleep the next one comes a period from now rather
    // than a burst of late ones.
    m_nextDueMs += m_periodMs;
    if (m_nextDueMs <= nowMs) {
        m_nextDueMs = nowMs + m_periodMs;
    }
    return true;
}
