#pragma once
// Status synchronisation: the Synchronise command fills the document's status query queue, the
// query worker asks the service for each id, and the replies are applied in batches on the GUI
// thread by the sent faxes' owner, which saves the job files and tells its subscribers.
//
// Use from the main window:
//   - create the document with MakeStatusSteps(frame) as its status workers' steps;
//   - implement ISyncProgress over the progress window (Open: range 0..upper, step 1, show;
//     Step: handle pending events, step the bar; Cancelled: the cancel button; Close);
//   - own one CStatusSync and call Synchronise() for command 32787 (menu, F5, toolbar, timer),
//     passing a progress window when the window is visible and not minimised, else nullptr;
//   - own one CSyncTimer and start or stop the window timer as its CTimerChange results say.
#include "app/Ports.h"
#include "service/ReplyTree.h"
#include "store/VelquinDoc.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The progress window of Synchronise, implemented by the GUI (its progress dialog with the
// cancel button). All calls come on the GUI thread.
class ISyncProgress {
public:
    virtual ~ISyncProgress() = default;
    // Shows the window; its bar runs from 0 to `upper` in steps of 1 and stands at 0.
    virtual void Open(int upper) = 0;
    // Lets pending window events be handled, then advances the bar by one.
    virtual void Step() = 0;
    // True when the user pressed the cancel button.
    virtual bool Cancelled() = 0;
    virtual void Close() = 0;
};

// The Synchronise command.
class CStatusSync {
public:
    explicit CStatusSync(CVelquinDoc& doc) : m_doc(doc) {}
    CStatusSync(const CStatusSync&) = delete;
    CStatusSync& operator=(const CStatusSync&) = delete;

    // Queues the ids of every sent entry, in list order; returns how many were queued, or
    // nullopt when a Synchronise is already filling the queue (pressed again while the
    // progress window handles events) or the last round's replies are not all applied yet. With
    // `progress`, the window is advanced after each entry and the loop stops when it was cancelled;
    // ids already queued stay queued.
    std::optional<int> Synchronise(ISyncProgress* progress);
    bool Running() const { return m_running; }

private:
    CVelquinDoc& m_doc;
    bool m_running = false;
};

// The job id and state of one status reply (response/data/item with its "id" and
// "jobstatus", 0 when missing); nullopt for a reply without the item.
std::optional<std::pair<std::int32_t, std::int32_t>> JobStateOfReply(const Dictionary* reply);
// Applies one reply on the GUI thread (CSentFaxes::ApplyJobStates); the number of entries
// changed.
int ApplyServiceReply(CSentFaxes& sent, const Dictionary* reply);

// The status workers' steps. The query step asks the service with the form-post client's
// RequestFaxStatus (the ApiHost and credentials Synchronise handed over); a failed query gives an
// empty reply, which the reply applier skips. The apply step reads the replies that
// came meanwhile on the reply worker and hands them to the GUI thread together, through one
// frame.RunOnGuiThread: however many replies arrive, the GUI applies them in batches. Once the
// frame refuses (shutdown), replies are dropped. `frame` must outlive the document.
CStatusWorkers::CSteps MakeStatusSteps(IFrame& frame);
// The same with another query (tests, tools), with or without the endpoint handed over.
using StatusQuery = std::function<ReplyTree(std::int32_t id)>;
using EndpointStatusQuery = std::function<ReplyTree(std::int32_t id, const ServiceEndpoint&)>;
CStatusWorkers::CSteps MakeStatusStepsWith(IFrame& frame, StatusQuery query);
CStatusWorkers::CSteps MakeStatusStepsWith(IFrame& frame, EndpointStatusQuery query);

// The rule of window timer 1000, free of any real timer: the main window asks what to do with
// its timer and starts or stops it accordingly. Times are milliseconds on any steady clock.
struct CTimerChange {
    bool stop = false;  // stop the running timer
    bool start = false; // then start it with `periodMs`
    std::int64_t periodMs = 0;
};

class CSyncTimer {
public:
    // The main window exists and the settings are loaded: the timer runs when automatic
    // synchronisation is on. The first run is one full period after `nowMs`.
    CTimerChange Start(bool autoSync, std::int32_t delayMinutes, std::int64_t nowMs);
    // The settings dialog closed with OK: nothing when neither value changed; otherwise the
    // running timer stops and, when the new setting is on, starts again with the new period.
    CTimerChange SettingsChanged(bool oldAuto, std::int32_t oldDelay, bool newAuto,
                                 std::int32_t newDelay, std::int64_t nowMs);
    // The main window is being destroyed.
    CTimerChange Stop();

    bool Active() const { return m_active; }
    std::int64_t PeriodMs() const { return m_periodMs; }
    // When the next run is due; nullopt while the timer is stopped.
    std::optional<std::int64_t> NextDueMs() const;
    // True when a run is due at `nowMs` (the caller runs Synchronise); the next one is then
    // due one period later. Runs missed while the process slept are not made up.
    bool Tick(std::int64_t nowMs);

    // SyncronizationDelay minutes as a period, held within the 10 to 300 minutes of the
    // settings loader so a bad value cannot make the timer spin.
    static constexpr std::int32_t kMinMinutes = 10;
    static constexpr std::int32_t kMaxMinutes = 300;
    static std::int64_t PeriodFor(std::int32_t delayMinutes);

private:
    CTimerChange Begin(std::int32_t delayMinutes, std::int64_t nowMs);

    bool m_active = false;
    std::int64_t m_periodMs = 0;
    std::int64_t m_nextDueMs = 0;
};
