// Synchronise against the service simulator: real submissions, real status queries through
// the form-post client on the query worker, replies applied on the (test's) GUI thread.
#include "SyncFixture.h"

#include "FaxSim.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "service/WebGate.h"
#include "support/FaxsimProcess.h"

#include <atomic>
#include <thread>

namespace {

using testing_support::WriteFile;

class SyncFaxsimTest : public sync_test::SyncFixture {
protected:
    void StartSim(std::vector<std::string> args = {}) {
        args.insert(args.end(), {"--account", "demo:secret"});
        ASSERT_TRUE(m_sim.Start(args));
        CSettings& s = Settings();
        s.ApiHost = m_sim.HostPort();
        s.WebHost = m_sim.HostPort();
        s.UserID = "demo";
        s.UserPWD = "secret";
    }

    // Submits a signed document (to `phone`, or to a phone list when `listNumbers` is set)
    // and returns the service's job id.
    std::int32_t Submit(const std::string& phone, const std::string& listNumbers = {}) {
        const std::string name = "doc" + std::to_string(++m_docs);
        const std::string content = "II*\0page " + name;
        SendFaxRequest r;
        r.documentPath = root / (name + ".tif");
        WriteFile(r.documentPath,
                  content + faxsim::SignatureTrailer("secret", "s", phone, content));
        r.phoneNumber = phone;
        if (!listNumbers.empty()) {
            r.phoneListPath = root / (name + ".csv");
            WriteFile(r.phoneListPath, listNumbers);
        }
        r.description = "Тест";
        r.attempts = 3;
        r.delay = 10;
        ReplyTree t = RequestFaxSend(r, ApiEndpointFromSettings());
        Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
        EXPECT_NE(item, nullptr);
        return item ? item->valueForKey("id", EmptyValue()).intValue() : -1;
    }

    // The query step: the real status request, counted, and checked never to overlap.
    void OpenCountingDoc() {
        OpenDoc(MakeStatusStepsWith(frame, [this](std::int32_t id, const ServiceEndpoint& to) {
            if (m_inFlight.fetch_add(1) != 0) {
                m_overlapped = true;
            }
            ReplyTree t = RequestFaxStatus(id, to);
            m_inFlight.fetch_sub(1);
            std::lock_guard lock(m_mutex);
            m_queried.push_back(id);
            return t;
        }));
        doc->SentFaxes().Load();
    }
    std::vector<std::int32_t> Queried() {
        std::lock_guard lock(m_mutex);
        return m_queried;
    }

    testing_support::FaxsimProcess m_sim;
    int m_docs = 0;
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_overlapped{false};
    std::mutex m_mutex;
    std::vector<std::int32_t> m_queried;
};

// Three single faxes, a list and a personalised list of four: one Synchronise makes eight
// queries, one after another, and the states move from queued to their final values.
TEST_F(SyncFaxsimTest, ThreeSinglesAListAndFourPersonalRecipientsMakeEightQueries) {
    StartSim({"--deliver-after-queries", "1"});
    const std::int32_t s1 = Submit("79001110001");
    const std::int32_t s2 = Submit("79001110002");
    const std::int32_t s3 = Submit("79001110003");
    const std::int32_t list = Submit("", "79002220001\r\n79002220002\r\n");
    std::vector<std::int32_t> personal;
    for (const char* phone : {"79003330001", "79003330002", "79003331000", "79003330004"}) {
        personal.push_back(Submit(phone)); // the third ends in "000": not delivered
    }
    for (std::int32_t id : {s1, s2, s3, list}) {
        ASSERT_GT(id, 0);
    }
    PutSingle("s1", 1, s1, kJobStateQueued);
    PutSingle("s2", 2, s2);
    PutSingle("s3", 3, s3);
    PutList("l", 4, list, {list + 100000, list + 100001}, kJobStateQueued);
    PutPersonal("p", 5, personal);
    OpenCountingDoc();
    ASSERT_EQ(doc->SentRecords().size(), 5u);

    CStatusSync sync(*doc);
    const std::vector<std::int32_t> expected{s1,          s2,          s3,          list,
                                             personal[0], personal[1], personal[2], personal[3]};
    EXPECT_EQ(sync.Synchronise(nullptr), 8);
    // A send finishing meanwhile stores what its dialog held: the queries already have theirs.
    for (int i = 0; i < 100; ++i) {
        Settings().UserID = std::string("demo");
        Settings().ApiHost = m_sim.HostPort();
    }
    ASSERT_TRUE(PumpReplies(8));
    EXPECT_EQ(Queried(), expected);
    // Each entry is told, the personalised list once per batch of its recipients' replies.
    EXPECT_EQ(hints.keys, (std::set<std::string>{"s1.fax", "s2.fax", "s3.fax", "l.fax", "p.fax"}));
    auto& single = Entry<CSingleFaxEntry>(0);
    EXPECT_EQ(single.m_status, kJobStateQueued);
    EXPECT_EQ(JobStateText(single.m_status), "В очереди на отправку");
    EXPECT_EQ(Entry<CSingleFaxEntry>(1).m_status, kJobStateQueued);
    EXPECT_EQ(Entry<CPersonalFaxEntry>(4).m_status, kJobStateQueued);

    // The second round finds the jobs done.
    EXPECT_EQ(sync.Synchronise(nullptr), 8);
    ASSERT_TRUE(PumpReplies(16));
    EXPECT_FALSE(m_overlapped.load());
    EXPECT_EQ(Queried().size(), 16u);
    EXPECT_EQ(single.m_status, kJobStateDelivered);
    EXPECT_EQ(JobStateText(single.m_status), "Доставлен успешно");
    EXPECT_EQ(Entry<CSingleFaxEntry>(2).m_status, kJobStateDelivered);
    EXPECT_EQ(Entry<CGroupFaxEntry>(3).m_status, kJobStateDelivered);
    auto& mailing = Entry<CPersonalFaxEntry>(4);
    EXPECT_EQ(mailing.m_recipients[0].m_status, kJobStateDelivered);
    EXPECT_EQ(mailing.m_recipients[2].m_status, kJobStateNotDelivered);
    EXPECT_EQ(mailing.m_status, kJobStateNotDelivered);

    // The job files hold the states: the next start shows them.
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("s1")).m_status, kJobStateDelivered);
    EXPECT_EQ(dynamic_cast<CGroupFaxEntry&>(*OnDisk("l")).m_status, kJobStateDelivered);
    EXPECT_EQ(dynamic_cast<CPersonalFaxEntry&>(*OnDisk("p")).m_status, kJobStateNotDelivered);
    EXPECT_TRUE(prompt.fileErrors.empty());
}

// The program's own steps: a fax sent a moment ago shows "queued" and then "delivered".
TEST_F(SyncFaxsimTest, SubmittedFaxMovesFromQueuedToDelivered) {
    StartSim({"--deliver-after-queries", "1"});
    const std::int32_t id = Submit("79001110001");
    ASSERT_GT(id, 0);
    PutSingle("sent", 1, id, kJobStateQueued);
    OpenDoc(MakeStatusSteps(frame));
    doc->SentFaxes().Load();
    CStatusSync sync(*doc);
    auto& fax = Entry<CSingleFaxEntry>(0);
    EXPECT_EQ(sync.Synchronise(nullptr), 1);
    ASSERT_TRUE(PumpReplies(1));
    EXPECT_EQ(fax.m_status, kJobStateQueued);
    EXPECT_EQ(sync.Synchronise(nullptr), 1);
    ASSERT_TRUE(PumpReplies(2));
    EXPECT_EQ(fax.m_status, kJobStateDelivered);
    EXPECT_EQ(JobStateText(fax.m_status), "Доставлен успешно");
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("sent")).m_status, kJobStateDelivered);
    EXPECT_EQ(hints.changed, 2);
}

// Failed queries (no tree) and replies without an item leave entries and job files alone;
// the next entry is still updated.
TEST_F(SyncFaxsimTest, FailedAndEmptyRepliesChangeNothing) {
    StartSim();
    const std::int32_t a = Submit("79001110001");
    const std::int32_t b = Submit("79001110002");
    const std::int32_t c = Submit("79001110003");
    PutSingle("a", 1, a);
    PutSingle("b", 2, b);
    PutSingle("c", 3, c);
    PutSingle("unknown", 4, 123); // the service knows no such job: an error reply
    const std::string aBefore = testing_support::ReadFileOrDie(Sent("a.fax"));
    const std::string bBefore = testing_support::ReadFileOrDie(Sent("b.fax"));
    OpenCountingDoc();
    CStatusSync sync(*doc);

    // Faults for the next two API replies: an HTTP error page (no tree, not applied at all),
    // then malformed XML (an empty tree, applied to nothing).
    ASSERT_NE(
        testing_support::HttpGet(m_sim.Port(), "/__control?fault=http500&count=1").find("200 OK"),
        std::string::npos);
    EXPECT_EQ(sync.Synchronise(nullptr), 4);
    // a: no tree; b, c, unknown: three trees reach the GUI thread.
    ASSERT_TRUE(PumpReplies(3));
    EXPECT_EQ(Queried().size(), 4u);
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, -1);
    EXPECT_EQ(Entry<CSingleFaxEntry>(1).m_status, kJobStateQueued);
    EXPECT_EQ(Entry<CSingleFaxEntry>(3).m_status, -1);
    EXPECT_EQ(testing_support::ReadFileOrDie(Sent("a.fax")), aBefore);
    EXPECT_EQ(hints.changed, 2);
    // The query left without a reply is said in the status bar.
    ASSERT_FALSE(frame.StatusTexts().empty());
    EXPECT_EQ(frame.StatusTexts().back().rfind("Сервис не ответил на запросов о доставке: 1.", 0),
              0u)
        << frame.StatusTexts().back();

    ASSERT_NE(
        testing_support::HttpGet(m_sim.Port(), "/__control?fault=malformed&count=2").find("200 OK"),
        std::string::npos);
    EXPECT_EQ(sync.Synchronise(nullptr), 4);
    ASSERT_TRUE(PumpReplies(7));
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, -1);
    EXPECT_EQ(Entry<CSingleFaxEntry>(1).m_status, kJobStateQueued);
    EXPECT_NE(testing_support::ReadFileOrDie(Sent("b.fax")), bBefore);
    EXPECT_EQ(Entry<CSingleFaxEntry>(2).m_status, kJobStateDelivered);
    EXPECT_EQ(hints.changed, 3);
}

// A service that never answers does not hold up closing: the query in flight is given up at
// once, not after the read time-out (made far longer than the test's limit here).
TEST_F(SyncFaxsimTest, ClosingDoesNotWaitForASilentService) {
    StartSim({"--fault", "hang"});
    const ServiceTimeouts saved = ServiceTimeoutSettings();
    ServiceTimeoutSettings().idleMs = 3600 * 1000;
    PutSingle("a", 1, 1000001);
    PutSingle("b", 2, 1000002);
    OpenCountingDoc();
    CStatusSync sync(*doc);
    EXPECT_EQ(sync.Synchronise(nullptr), 2);
    while (m_inFlight.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string before = testing_support::ReadFileOrDie(Sent("a.fax"));
    CloseDoc();
    ServiceTimeoutSettings() = saved;
    EXPECT_EQ(Queried().size(), 1u); // the second query was never started
    EXPECT_EQ(testing_support::ReadFileOrDie(Sent("a.fax")), before);
}

// The delivery report page answers the address built from the settings.
TEST_F(SyncFaxsimTest, WebGateAddressOpensTheReportPage) {
    StartSim();
    const std::int32_t id = Submit("79001110001");
    const std::string address = WebGateAddressFromSettings();
    const std::string prefix = "http://" + m_sim.HostPort();
    ASSERT_EQ(address.rfind(prefix, 0), 0u);
    const std::string page = testing_support::HttpGet(m_sim.Port(), address.substr(prefix.size()));
    EXPECT_NE(page.find("200 OK"), std::string::npos) << page;
    EXPECT_NE(page.find(std::to_string(id)), std::string::npos);

    Settings().UserPWD = "wrong";
    const std::string refused =
        testing_support::HttpGet(m_sim.Port(), WebGateAddressFromSettings().substr(prefix.size()));
    EXPECT_NE(refused.find("403"), std::string::npos);
}

} // namespace
