#include "store/StatusSync.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "service/ReplyTree.h"

#include <algorithm>

namespace {

bool IsFinal(std::int32_t state) {
    return state == kJobStateDelivered || state == kJobStateNotDelivered ||
           state == kJobStateNoFunds;
}

// The loader keeps a job file only beside its image ("stem.tif" or the first page file
// "stem_0001.tif"); a record whose image was removed meanwhile gets no new job file, which
// would only be an orphan.
bool ImageStillThere(const CFaxEntryBase& record, const std::string& sentDir) {
    const CAttach* attach = AttachOf(record);
    if (attach == nullptr || attach->m_path.empty()) {
        return false;
    }
    const std::string stem = platform::Stem(attach->m_path);
    // A document sent as it was keeps its own extension (a PDF, an image).
    const std::string copy = platform::BaseName(attach->m_path);
    const bool ownCopy = !platform::EqualsNoCase(platform::Extension(copy), ".fax") &&
                         platform::FindNoCase(platform::JoinPath(sentDir, copy)).has_value();
    return ownCopy ||
           platform::FindNoCase(platform::JoinPath(sentDir, stem + ".tif")).has_value() ||
           platform::FindNoCase(platform::JoinPath(sentDir, stem + "_0001.tif")).has_value();
}

} // namespace

std::vector<std::int32_t> StatusIdsOf(const CFaxEntryBase& entry) {
    if (const auto* single = dynamic_cast<const CSingleFaxEntry*>(&entry)) {
        return {single->m_faxId};
    }
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return {list->m_listId};
    }
    std::vector<std::int32_t> ids;
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        ids.reserve(personal->m_recipients.size());
        for (const CAttachFaxEntry& r : personal->m_recipients) {
            ids.push_back(r.m_faxId);
        }
    }
    return ids;
}

// --- Synchronise ---------------------------------------------------------------------------

std::optional<int> CStatusSync::Synchronise(ISyncProgress* progress) {
    if (m_running) {
        return std::nullopt;
    }
    m_running = true;
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
            m_doc.QueueStatusQuery(id);
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

std::int32_t PersonalListState(const CPersonalFaxEntry& mailing) {
    const auto& rs = mailing.m_recipients;
    if (rs.empty()) {
        return mailing.m_status;
    }
    auto all = [&](auto pred) { return std::all_of(rs.begin(), rs.end(), pred); };
    auto any = [&](std::int32_t state) {
        return std::any_of(rs.begin(), rs.end(),
                           [state](const CFaxEntry& r) { return r.m_status == state; });
    };
    if (all([](const CFaxEntry& r) { return r.m_status == kJobStateDelivered; })) {
        return kJobStateDelivered;
    }
    if (any(kJobStateNoFunds)) {
        return kJobStateNoFunds;
    }
    if (all([](const CFaxEntry& r) { return IsFinal(r.m_status); })) {
        return kJobStateNotDelivered;
    }
    if (any(kJobStateQueued)) {
        return kJobStateQueued;
    }
    return mailing.m_status;
}

int ApplyJobState(CVelquinDoc& doc, std::int32_t id, std::int32_t jobState) {
    // The states are written first and the views told afterwards, so no view handler runs
    // while the walk is under way.
    std::vector<CFaxEntryBase*> updated;
    for (auto& entry : doc.SentRecords()) {
        if (!entry) {
            continue;
        }
        if (auto* single = dynamic_cast<CSingleFaxEntry*>(entry.get())) {
            if (single->m_faxId == id) {
                single->m_status = jobState;
                updated.push_back(single);
            }
        } else if (auto* list = dynamic_cast<CGroupFaxEntry*>(entry.get())) {
            if (list->m_listId == id) {
                list->m_status = jobState;
                if (jobState >= 1) {
                    for (CFaxEntry& r : list->m_recipients) {
                        r.m_status = jobState;
                    }
                }
                updated.push_back(list);
            }
        } else if (auto* personal = dynamic_cast<CPersonalFaxEntry*>(entry.get())) {
            auto& rs = personal->m_recipients;
            auto it = std::find_if(rs.begin(), rs.end(),
                                   [id](const CFaxEntry& r) { return r.m_faxId == id; });
            if (it != rs.end()) {
                it->m_status = jobState;
                personal->m_status = PersonalListState(*personal);
                updated.push_back(personal);
            }
        }
    }
    // Each entry is saved and announced on its own, as every entry-updated message was. The
    // document's ApplyEntryUpdate is not used: it stops at the first record with the id, so a
    // second entry carrying the same id would never reach its job file.
    const std::string sentDir = CVelquinDoc::SentDir();
    for (CFaxEntryBase* record : updated) {
        if (ImageStillThere(*record, sentDir)) {
            doc.SaveJobFile(*record, sentDir);
        }
        doc.UpdateAllViews(kHintSentFaxes, &doc.SentRecords());
    }
    return static_cast<int>(updated.size());
}

int ApplyServiceReply(CVelquinDoc& doc, const Dictionary* reply) {
    const Dictionary* item = FindReplyPath(reply, {"response", "data", "item"});
    if (item == nullptr) {
        return 0;
    }
    const std::int32_t id = item->valueForKey("id", EmptyValue()).intValue();
    const std::int32_t state = item->valueForKey("jobstatus", EmptyValue()).intValue();
    return ApplyJobState(doc, id, state);
}

// --- the workers' steps --------------------------------------------------------------------

CVelquinDoc::CStatusSteps MakeStatusSteps(IFrame& frame) {
    return MakeStatusStepsWith(frame, [](std::int32_t id) { return RequestFaxStatus(id); });
}

CVelquinDoc::CStatusSteps MakeStatusStepsWith(IFrame& frame, StatusQuery query) {
    CVelquinDoc::CStatusSteps steps;
    steps.query = [query = std::move(query)](std::int32_t id) -> CVelquinDoc::StatusReply {
        ReplyTree tree = query ? query(id) : ReplyTree();
        if (!tree) {
            return nullptr;
        }
        // The shared pointer holds the tree's one reference and releases it exactly once.
        return std::make_shared<ReplyTree>(std::move(tree));
    };
    steps.apply = [&frame](CVelquinDoc& doc, CVelquinDoc::StatusReply reply) {
        if (!reply) {
            return;
        }
        const Dictionary* tree = static_cast<const ReplyTree*>(reply.get())->get();
        // The walk and the writes happen on the GUI thread, the only one that changes the
        // sent list; this worker waits until they are done.
        frame.RunOnGuiThread([&doc, tree] { ApplyServiceReply(doc, tree); });
    };
    return steps;
}

// --- timer rule ----------------------------------------------------------------------------

std::int64_t CSyncTimer::PeriodFor(std::int32_t delayMinutes) {
    const std::int32_t minutes = std::clamp<std::int32_t>(delayMinutes, 10, 300);
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
