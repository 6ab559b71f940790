#include "SyncFixture.h"

#include "service/FormPost.h"
#include "service/JobState.h"
#include "service/WebGate.h"

#include <atomic>
#include <mutex>
#include <unistd.h>

namespace {

using sync_test::StateReply;
using sync_test::SyncFixture;

// --- applying replies (on the test thread, which plays the GUI thread) ---------------------

using ApplyTest = SyncFixture;

TEST_F(ApplyTest, EveryEntryCarryingTheIdIsUpdatedAndSaved) {
    PutSingle("a", 1, 77);
    PutList("b", 2, 77, {501, 502});
    PutSingle("c", 3, 77);
    PutSingle("d", 4, 78);
    OpenDoc();
    doc->SentFaxes().Load();
    ASSERT_EQ(doc->SentRecords().size(), 4u);

    EXPECT_EQ(ApplyServiceReply(doc->SentFaxes(), StateReply(77, 2).get()), 3);
    EXPECT_EQ(hints.changed, 3); // one per updated entry
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, 2);
    EXPECT_EQ(Entry<CSingleFaxEntry>(2).m_status, 2);
    EXPECT_EQ(Entry<CSingleFaxEntry>(3).m_status, -1);
    auto& list = Entry<CGroupFaxEntry>(1);
    EXPECT_EQ(list.m_status, 2);
    EXPECT_EQ(list.m_recipients[0].m_status, 2); // a final list state reaches its numbers
    // Both singles reach their own job files, not only the first with the id.
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("a")).m_status, 2);
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("c")).m_status, 2);
    EXPECT_EQ(dynamic_cast<CGroupFaxEntry&>(*OnDisk("b")).m_status, 2);
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("d")).m_status, -1);
    EXPECT_EQ(JobStateText(Entry<CSingleFaxEntry>(0).m_status), "Доставлен успешно");

    // A list state below 1 leaves the numbers alone.
    EXPECT_EQ(doc->SentFaxes().ApplyJobStates({{77, 0}}), 3);
    EXPECT_EQ(list.m_status, 0);
    EXPECT_EQ(list.m_recipients[0].m_status, 2);
}

TEST_F(ApplyTest, PersonalListStateFollowsItsRecipients) {
    struct Case {
        std::vector<std::int32_t> states;
        std::int32_t own, expected;
    };
    const Case cases[] = {
        {{2, 2, 2}, -1, 2},  {{2, 6, 4}, -1, 6},  {{2, 3, 2}, 4, 3}, {{6, 3, 2}, 4, 6},
        {{2, 4, -1}, -1, 4}, {{2, -1, -1}, 7, 7}, {{2, 5, 3}, 4, 4}, {{}, 3, 3},
        {{3, 3}, -1, 3},     {{-1, 0}, 4, 4},
    };
    for (const Case& c : cases) {
        CPersonalFaxEntry m("m");
        m.m_status = c.own;
        for (std::int32_t s : c.states) {
            CAttachFaxEntry r;
            r.m_status = s;
            m.m_recipients.push_back(r);
        }
        EXPECT_EQ(PersonalListState(m), c.expected) << ::testing::PrintToString(c.states);
    }

    // Through replies: each recipient keeps its own state, the first with the id only.
    PutPersonal("p", 1, {11, 12, 12});
    OpenDoc();
    doc->SentFaxes().Load();
    auto& p = Entry<CPersonalFaxEntry>(0);
    EXPECT_EQ(ApplyServiceReply(doc->SentFaxes(), StateReply(12, 2).get()), 1);
    EXPECT_EQ(p.m_recipients[1].m_status, 2);
    EXPECT_EQ(p.m_recipients[2].m_status, -1);
    EXPECT_EQ(p.m_status, -1); // nothing final or queued elsewhere: unchanged
    ApplyServiceReply(doc->SentFaxes(), StateReply(11, 4).get());
    EXPECT_EQ(p.m_status, 4);
    ApplyServiceReply(doc->SentFaxes(), StateReply(11, 3).get());
    EXPECT_EQ(p.m_status, 4); // 11 is final, the second 12 never got a state
    const_cast<CPersonalFaxEntry&>(p).m_recipients[2].m_status = 2; // as another copy left it
    ApplyServiceReply(doc->SentFaxes(), StateReply(11, 2).get());
    EXPECT_EQ(p.m_status, 2);
    auto saved = OnDisk("p");
    auto& onDisk = dynamic_cast<CPersonalFaxEntry&>(*saved);
    EXPECT_EQ(onDisk.m_status, 2);
    EXPECT_EQ(onDisk.m_recipients[0].m_status, 2);
    EXPECT_EQ(hints.changed, 4);
}

TEST_F(ApplyTest, RepliesWithoutAnItemOrAMatchChangeNothing) {
    PutSingle("a", 1, 5);
    PutSingle("zero", 2, 0);
    OpenDoc();
    doc->SentFaxes().Load();
    const std::string before = testing_support::ReadFileOrDie(Sent("a.fax"));
    const char* const bad[] = {
        "<?xml version=\"1.0\"?><response><error code=\"6\" message=\"x\"/></response>",
        "<?xml version=\"1.0\"?><response><data/></response>",
        "<?xml version=\"1.0\"?><reply><data><item id=\"5\" jobstatus=\"2\"/></data></reply>",
        "<?xml version=\"1.0\"?><response><data><item id=\"5\" jobstatus=\"2\">",
        "<?xml version=\"1.0\"?><response><data><item id=\"6\" jobstatus=\"2\"/></data>"
        "</response>",
    };
    for (const char* xml : bad) {
        EXPECT_EQ(ApplyServiceReply(doc->SentFaxes(), ParseReplyXml(xml).get()), 0) << xml;
    }
    EXPECT_EQ(ApplyServiceReply(doc->SentFaxes(), nullptr), 0);
    EXPECT_EQ(hints.changed, 0);
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, -1);
    EXPECT_EQ(testing_support::ReadFileOrDie(Sent("a.fax")), before);

    // Missing attributes read as 0: the entry whose fax id is 0 takes state 0.
    EXPECT_EQ(
        ApplyServiceReply(doc->SentFaxes(),
                          ParseReplyXml("<?xml version=\"1.0\"?><response><data><item/></data>"
                                        "</response>")
                              .get()),
        1);
    EXPECT_EQ(Entry<CSingleFaxEntry>(1).m_status, 0);
    EXPECT_TRUE(prompt.fileErrors.empty());
}

TEST_F(ApplyTest, GoneFilesAreNotRecreated) {
    PutSingle("gone", 1, 1);
    PutSingle("jobonly", 2, 2);
    PutPersonal("pages", 3, {3});
    OpenDoc();
    doc->SentFaxes().Load();
    ASSERT_EQ(doc->SentRecords().size(), 3u);
    // The image went (another program, or a clean-up): no orphan job file comes back.
    ASSERT_EQ(platform::DeleteFile(Sent("gone.tif")), 0);
    ASSERT_EQ(platform::DeleteFile(Sent("gone.fax")), 0);
    // Only the job file went: the image is still listed, so its job file is written again.
    ASSERT_EQ(platform::DeleteFile(Sent("jobonly.fax")), 0);
    // A list kept as page files ("stem_0001.tif") still counts as present.
    ASSERT_EQ(platform::DeleteFile(Sent("pages.tif")), 0);
    testing_support::WriteFile(Sent("pages_0001.TIF"), "II*");

    EXPECT_EQ(doc->SentFaxes().ApplyJobStates({{1, 2}}), 1);
    EXPECT_EQ(doc->SentFaxes().ApplyJobStates({{2, 2}}), 1);
    EXPECT_EQ(doc->SentFaxes().ApplyJobStates({{3, 2}}), 1);
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, 2);
    EXPECT_FALSE(platform::PathExists(Sent("gone.fax")));
    EXPECT_FALSE(platform::PathExists(Sent("gone.tif")));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("jobonly")).m_status, 2);
    EXPECT_EQ(dynamic_cast<CPersonalFaxEntry&>(*OnDisk("pages")).m_status, 2);
    EXPECT_TRUE(prompt.fileErrors.empty());
    EXPECT_EQ(hints.changed, 3);

    // The whole store directory removed: still nothing written and no error box.
    platform::DeleteFile(Sent("jobonly.fax"));
    platform::DeleteFile(Sent("jobonly.tif"));
    platform::DeleteFile(Sent("pages.fax"));
    platform::DeleteFile(Sent("pages_0001.TIF"));
    ASSERT_EQ(::rmdir(Sent("").c_str()), 0);
    EXPECT_EQ(doc->SentFaxes().ApplyJobStates({{2, 3}}), 1);
    EXPECT_FALSE(platform::PathExists(Sent("")));
    EXPECT_TRUE(prompt.fileErrors.empty());
}

// --- Synchronise ---------------------------------------------------------------------------

// A progress window that records what it was told; `onStep` runs where the real window
// handles pending events.
class ScriptedProgress : public ISyncProgress {
public:
    void Open(int upper) override {
        ++opened;
        this->upper = upper;
    }
    void Step() override {
        ++steps;
        if (onStep) {
            onStep(steps);
        }
    }
    bool Cancelled() override { return cancelAfter > 0 && steps >= cancelAfter; }
    void Close() override { ++closed; }

    int opened = 0, upper = -1, steps = 0, closed = 0, cancelAfter = 0;
    std::function<void(int)> onStep;
};

// The query step records every id and answers each with "queued".
class SynchroniseTest : public SyncFixture {
protected:
    void OpenRecordingDoc() {
        CStatusWorkers::CSteps steps = MakeStatusStepsWith(frame, [this](std::int32_t id) {
            std::lock_guard lock(m_mutex);
            m_queried.push_back(id);
            ++m_total;
            return StateReply(id, 4);
        });
        OpenDoc(std::move(steps));
        doc->SentFaxes().Load();
    }
    // Every id queued so far has been queried and its reply applied (each query gives one
    // reply; batches of them run on the GUI thread): a marker is queued last and waited for.
    // Returns the ids queried since the last drain, without the marker.
    std::vector<std::int32_t> Drain() {
        constexpr std::int32_t kMarker = -424242;
        doc->Status().QueueQuery(kMarker);
        EXPECT_TRUE(frame.PumpUntil([&](int) {
            std::lock_guard lock(m_mutex);
            return !m_queried.empty() && m_queried.back() == kMarker && applied.load() == m_total;
        }));
        std::lock_guard lock(m_mutex);
        std::vector<std::int32_t> ids(m_queried.begin(), m_queried.end() - 1);
        m_queried.clear();
        return ids;
    }

    void PutMixedStore() {
        PutSingle("s1", 1, 1);
        PutList("l", 2, 500, {901, 902});
        PutPersonal("p", 3, {31, 32, 0, 33});
        PutSingle("s0", 4, 0);
    }
    const std::vector<std::int32_t> kAllIds{1, 500, 31, 32, 0, 33, 0};

    std::mutex m_mutex;
    std::vector<std::int32_t> m_queried;
    int m_total = 0;
};

TEST_F(SynchroniseTest, QueuesTheIdsOfEveryKindInListOrder) {
    PutMixedStore();
    OpenRecordingDoc();
    CStatusSync sync(*doc);
    ScriptedProgress progress;
    EXPECT_EQ(sync.Synchronise(&progress), 7);
    EXPECT_FALSE(sync.Running());
    EXPECT_EQ(progress.opened, 1);
    EXPECT_EQ(progress.upper, 4); // one step per entry, not per id
    EXPECT_EQ(progress.steps, 4);
    EXPECT_EQ(progress.closed, 1);
    EXPECT_EQ(Drain(), kAllIds);
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, 4);
    EXPECT_EQ(Entry<CPersonalFaxEntry>(2).m_status, 4);

    // Hidden or minimised window: no progress, the same ids.
    EXPECT_EQ(sync.Synchronise(nullptr), 7);
    EXPECT_EQ(Drain(), kAllIds);
}

TEST_F(SynchroniseTest, PressedAgainWhileFillingDoesNothing) {
    PutMixedStore();
    OpenRecordingDoc();
    CStatusSync sync(*doc);
    ScriptedProgress progress;
    std::vector<std::optional<int>> nested;
    progress.onStep = [&](int) {
        EXPECT_TRUE(sync.Running());
        nested.push_back(sync.Synchronise(nullptr)); // F5 handled inside the loop
    };
    EXPECT_EQ(sync.Synchronise(&progress), 7);
    ASSERT_EQ(nested.size(), 4u);
    for (const auto& n : nested) {
        EXPECT_FALSE(n.has_value());
    }
    // Nor after it finished, while its queries wait for their replies: one round at a time.
    EXPECT_FALSE(sync.Synchronise(nullptr).has_value());
    EXPECT_EQ(Drain(), kAllIds);
}

TEST_F(SynchroniseTest, CancelStopsEnqueuingAndKeepsWhatWasQueued) {
    PutMixedStore();
    OpenRecordingDoc();
    CStatusSync sync(*doc);
    ScriptedProgress progress;
    progress.cancelAfter = 2;
    EXPECT_EQ(sync.Synchronise(&progress), 2);
    EXPECT_EQ(progress.steps, 2);
    EXPECT_EQ(progress.closed, 1);
    EXPECT_FALSE(sync.Running());
    EXPECT_EQ(Drain(), (std::vector<std::int32_t>{1, 500}));
    EXPECT_EQ(Entry<CGroupFaxEntry>(1).m_status, 4);
    EXPECT_EQ(Entry<CPersonalFaxEntry>(2).m_status, -1);
}

TEST_F(SynchroniseTest, EntriesRemovedWhileRepliesWaitAreSkipped) {
    PutSingle("a", 1, 1);
    PutSingle("b", 2, 2);
    PutSingle("c", 3, 3);
    // Queries wait until the test lets them go, so the store changes between the queueing
    // and the replies.
    std::mutex gateMutex;
    std::condition_variable gateCv;
    bool open = false;
    OpenDoc(MakeStatusStepsWith(frame, [&](std::int32_t id) {
        std::unique_lock lock(gateMutex);
        gateCv.wait(lock, [&] { return open; });
        return StateReply(id, 2);
    }));
    doc->SentFaxes().Load();
    CStatusSync sync(*doc);
    EXPECT_EQ(sync.Synchronise(nullptr), 3);
    // "a" loses its image and job file behind the program's back; "b" is deleted by the user.
    platform::DeleteFile(Sent("a.tif"));
    platform::DeleteFile(Sent("a.fax"));
    doc->SentFaxes().Remove(doc->SentRecords()[1].get());
    ASSERT_FALSE(platform::PathExists(Sent("b.fax")));
    {
        std::lock_guard lock(gateMutex);
        open = true;
    }
    gateCv.notify_all();
    ASSERT_TRUE(PumpReplies(3));
    ASSERT_EQ(doc->SentRecords().size(), 2u);
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, 2);
    EXPECT_EQ(Entry<CSingleFaxEntry>(1).m_status, 2);
    EXPECT_FALSE(platform::PathExists(Sent("a.fax")));
    EXPECT_FALSE(platform::PathExists(Sent("b.fax")));
    EXPECT_FALSE(platform::PathExists(Sent("b.tif")));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("c")).m_status, 2);
    EXPECT_EQ(hints.changed, 2);
    CloseDoc(); // before the gate it waits on goes
}

TEST_F(SynchroniseTest, ClosingWithRepliesWaitingForTheGuiDoesNotHang) {
    for (int i = 1; i <= 5; ++i) {
        PutSingle("s" + std::to_string(i), i, i);
    }
    std::atomic<int> queried{0};
    OpenDoc(MakeStatusStepsWith(frame, [&](std::int32_t id) {
        ++queried;
        return StateReply(id, 2);
    }));
    doc->SentFaxes().Load();
    CStatusSync sync(*doc);
    EXPECT_EQ(sync.Synchronise(nullptr), 5);
    // The applier is (or soon will be) waiting for the GUI thread, which never pumps.
    EXPECT_TRUE(frame.PumpUntil([&](int) { return queried.load() >= 1; }));
    CloseDoc();
    SUCCEED();
}

// --- timer rule ----------------------------------------------------------------------------

TEST(SyncTimerTest, FirstRunOnePeriodAfterStartThenEveryPeriod) {
    CSyncTimer t;
    CTimerChange c = t.Start(true, 10, 1000);
    EXPECT_FALSE(c.stop);
    EXPECT_TRUE(c.start);
    EXPECT_EQ(c.periodMs, 600000);
    EXPECT_EQ(t.NextDueMs(), 601000);
    EXPECT_FALSE(t.Tick(1000)); // none at start-up
    EXPECT_FALSE(t.Tick(600999));
    EXPECT_TRUE(t.Tick(601000));
    EXPECT_FALSE(t.Tick(601001));
    EXPECT_EQ(t.NextDueMs(), 1201000);
    EXPECT_TRUE(t.Tick(1201500)); // a late tick keeps the rhythm
    EXPECT_EQ(t.NextDueMs(), 1801000);
    EXPECT_TRUE(t.Tick(9000000)); // after a long sleep: one run, then a period on
    EXPECT_EQ(t.NextDueMs(), 9600000);

    CSyncTimer off;
    c = off.Start(false, 10, 0);
    EXPECT_FALSE(c.start);
    EXPECT_FALSE(off.Active());
    EXPECT_FALSE(off.NextDueMs().has_value());
    EXPECT_FALSE(off.Tick(100000000));
}

TEST(SyncTimerTest, SettingsChangesRestartOnlyWhenSomethingChanged) {
    CSyncTimer t;
    t.Start(true, 10, 0);
    // Neither value changed: the running timer is left alone.
    CTimerChange c = t.SettingsChanged(true, 10, true, 10, 5000);
    EXPECT_FALSE(c.stop);
    EXPECT_FALSE(c.start);
    EXPECT_EQ(t.NextDueMs(), 600000);
    // Only the delay changed: restarted with the new period, counted from now.
    c = t.SettingsChanged(true, 10, true, 20, 5000);
    EXPECT_TRUE(c.stop);
    EXPECT_TRUE(c.start);
    EXPECT_EQ(c.periodMs, 1200000);
    EXPECT_EQ(t.NextDueMs(), 1205000);
    // Switched off: stopped.
    c = t.SettingsChanged(true, 20, false, 20, 6000);
    EXPECT_TRUE(c.stop);
    EXPECT_FALSE(c.start);
    EXPECT_FALSE(t.Active());
    // Off, delay changed: nothing runs, nothing starts.
    c = t.SettingsChanged(false, 20, false, 30, 7000);
    EXPECT_FALSE(c.stop);
    EXPECT_FALSE(c.start);
    // Switched on.
    c = t.SettingsChanged(false, 30, true, 30, 8000);
    EXPECT_FALSE(c.stop);
    EXPECT_TRUE(c.start);
    EXPECT_EQ(t.NextDueMs(), 8000 + 1800000);
    // The window goes away.
    c = t.Stop();
    EXPECT_TRUE(c.stop);
    EXPECT_FALSE(t.Stop().stop);
    // A delay outside the settings' range cannot make the timer spin.
    EXPECT_EQ(CSyncTimer::PeriodFor(0), 600000);
    EXPECT_EQ(CSyncTimer::PeriodFor(-5), 600000);
    EXPECT_EQ(CSyncTimer::PeriodFor(1000), 300 * 60000);
}

// --- web gate ------------------------------------------------------------------------------

TEST_F(SyncFixture, WebGateAddressCarriesUserAndPasswordDigest) {
    CSettings& s = Settings();
    s.WebHost = "127.0.0.1:8080";
    s.UserID = "demo";
    s.UserPWD = "secret";
    const std::string digest = PasswordDigest("secret");
    ASSERT_EQ(digest.size(), 32u);
    EXPECT_EQ(WebGateAddressFromSettings(),
              "http://127.0.0.1:8080/api/__gate.php?username=demo&password=" + digest);
    s.UserPWD.clear();
    EXPECT_EQ(WebGateAddressFromSettings(),
              "http://127.0.0.1:8080/api/__gate.php?username=demo&password=");
    s.WebHost.clear();
    EXPECT_EQ(
        WebGateAddressFromSettings().rfind(std::string("http://") + kDefaultWebHost + "/api/", 0),
        0u);
}

} // namespace
