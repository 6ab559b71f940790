// A service that cuts its reply, never answers or sends an HTTP error page, for every kind of
// submission and for status queries: nothing the user printed or sent is lost, no job file
// appears for a fax the service never confirmed, and the same action succeeds once the service
// answers again.
#include "FaultSupport.h"

#include "sending/SendJobFixture.h"
#include "store/sync/SyncFixture.h"

#include "FaxSim.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"
#include "sending/SendFaxJob.h"
#include "sending/SendListJob.h"
#include "sending/SendPersonalJob.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "store/FaxRecords.h"
#include "support/FaxsimProcess.h"

#include <atomic>

namespace {

using faults::NewNames;
using faults::Snapshot;
using sending_test::kPassword;

// Short waits so that a service that never answers is given up quickly.
class ShortTimeouts {
public:
    ShortTimeouts() : m_saved(ServiceTimeoutSettings()) {
        ServiceTimeoutSettings().connectMs = 2000;
        ServiceTimeoutSettings().idleMs = 400;
    }
    ~ShortTimeouts() { ServiceTimeoutSettings() = m_saved; }

private:
    ServiceTimeouts m_saved;
};

const char* const kReplyFaults[] = {"cut", "hang", "http500"};

class SendFaultTest : public sending_test::SendJobFixture {
protected:
    void SetUp() override {
        SendJobFixture::SetUp();
        // The printed document the user chose, with its name file.
        m_printed = Settings().FaxDir + "/report.tif";
        sending_test::WriteBilevelTiff(m_printed, {.pages = 2});
        testing_support::WriteFile(platform::ReplaceExtension(m_printed, ".tag"), "Отчёт");
        m_image = Sent("report4B0C2A11.tif");
        ASSERT_EQ(platform::CopyFile(m_printed, m_image, false), 0);
        StartSim();
    }

    ShortTimeouts m_timeouts;
    std::string m_printed, m_image;
};

TEST_F(SendFaultTest, SingleFaxLosesNothingToAFaultyServiceAndGoesThroughAfterwards) {
    CSendFaxJob job(m_image, platform::BaseName(m_image), "Отчёт", m_prompt, m_frame);
    job.Open(CurrentTime());
    job.SetNumber("88123520809");
    ASSERT_TRUE(job.Done());
    const auto faxDir = Snapshot(Settings().FaxDir);
    const auto sent = Snapshot(SentDir());
    const std::int32_t nextId = Settings().LastFaxID;

    for (const char* fault : kReplyFaults) {
        SimFault(fault);
        EXPECT_EQ(job.Send(), SendOutcome::StayOpen) << fault;
        EXPECT_TRUE(job.SendEnabled()) << fault << ": Send can be pressed again";
        EXPECT_TRUE(Snapshot(Settings().FaxDir) == faxDir) << fault;
        EXPECT_TRUE(Snapshot(SentDir()) == sent)
            << fault << ": " << NewNames(sent, Snapshot(SentDir()));
        EXPECT_TRUE(m_frame.NewJobFiles().empty()) << fault;
        EXPECT_EQ(Settings().LastFaxID, nextId) << fault;
    }
    EXPECT_TRUE(m_prompt.fileErrors.empty());

    ASSERT_EQ(job.Send(), SendOutcome::Submitted);
    const std::string jobFile = Sent("report4B0C2A11.FAX");
    ASSERT_EQ(m_frame.NewJobFiles(), std::vector<std::string>{jobFile});
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(jobFile));
    auto& single = dynamic_cast<CSingleFaxEntry&>(*record);
    EXPECT_GT(single.m_faxId, 0);
    EXPECT_EQ(single.m_path, m_image);
    EXPECT_EQ(testing_support::ReadFileOrDie(m_image), sent.at("report4B0C2A11.tif"));
}

TEST_F(SendFaultTest, ListLeavesThePrintedDocumentAlone) {
    CSendListJob job(m_image, platform::BaseName(m_image), 2, m_prompt, m_frame);
    job.Open(CurrentTime());
    job.m_lines = {"88123520809 Firm", "84951234567"};
    job.LinesEdited();
    ASSERT_TRUE(job.Done());
    const auto faxDir = Snapshot(Settings().FaxDir);
    const auto sent = Snapshot(SentDir());

    for (const char* fault : kReplyFaults) {
        SimFault(fault);
        EXPECT_EQ(job.Send(), SendOutcome::StayOpen) << fault;
        EXPECT_TRUE(Snapshot(Settings().FaxDir) == faxDir) << fault;
        EXPECT_TRUE(Snapshot(SentDir()) == sent)
            << fault << ": " << NewNames(sent, Snapshot(SentDir()));
        EXPECT_TRUE(m_frame.NewJobFiles().empty()) << fault;
    }
    // Every unanswered press was told, so that a second one is the user's choice.
    ASSERT_EQ(m_prompt.messages.size(), std::size(kReplyFaults));
    for (const auto& shown : m_prompt.messages) {
        EXPECT_EQ(shown.text, LoadString(kMsgNoSubmitReply));
    }

    ASSERT_EQ(job.Send(), SendOutcome::Submitted);
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(Sent("report4B0C2A11.FAX")));
    auto& list = dynamic_cast<CGroupFaxEntry&>(*record);
    EXPECT_GT(list.m_listId, 0);
    EXPECT_EQ(list.m_recipients.size(), 2u);
    EXPECT_TRUE(Snapshot(Settings().FaxDir) == faxDir) << "the send command removes the document";
}

// A run of three: the second recipient's post hangs, the third's reply is cut. The first is
// recorded; the others' signed pages stay in the store, where nothing deletes them.
TEST_F(SendFaultTest, PersonalRunKeepsThePagesOfRecipientsTheServiceNeverConfirmed) {
    const std::string run = Settings().FaxDir + "/run.tif";
    sending_test::WriteBilevelTiff(run, {.pages = 3});
    testing_support::WriteFile(m_dir / "recipients.csv",
                               "3520809;Ivanov;Firm\n88125550000;Петров;ООО\n88127770001;C;D\n");
    CSendPersonalJob job(run, m_prompt, m_frame);
    job.Open(CurrentTime());
    job.m_recipientFilePath = m_dir / "recipients.csv";
    job.m_pagesPerRecipient = 1;
    ASSERT_TRUE(job.Done());
    m_prompt.messages.clear();
    const std::string runBytes = testing_support::ReadFileOrDie(run);

    auto posting = job.PrepareSend().value();
    ASSERT_EQ(posting.items.size(), 3u);
    auto results = CSendPersonalJob::Post(posting, [&](int done) {
        if (done == 0) {
            SimFault("hang");
        } else if (done == 1) {
            SimFault("cut");
        }
    });
    EXPECT_EQ(job.FinishSend(posting, results), SendOutcome::Submitted);
    EXPECT_TRUE(m_prompt.fileErrors.empty());
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(job.JobFilePath()));
    auto& mailing = dynamic_cast<CPersonalFaxEntry&>(*record);
    ASSERT_EQ(mailing.m_recipients.size(), 1u);
    EXPECT_EQ(mailing.m_recipients[0].m_recipient, "88123520809");
    for (const auto& item : posting.items) {
        EXPECT_TRUE(platform::PathExists(item.imagePath)) << item.imagePath;
        EXPECT_TRUE(
            faxsim::HasValidTrailer(testing_support::ReadFileOrDie(item.imagePath), kPassword));
    }
    EXPECT_EQ(testing_support::ReadFileOrDie(run), runBytes);
}

// --- status synchronisation ----------------------------------------------------------------

class SyncFaultTest : public sync_test::SyncFixture {
protected:
    void SetUp() override {
        SyncFixture::SetUp();
        ASSERT_TRUE(m_sim.Start({"--account", "demo:secret", "--deliver-after-queries", "0"}));
        CSettings& s = Settings();
        s.ApiHost = m_sim.HostPort();
        s.UserID = "demo";
        s.UserPWD = "secret";
    }
    std::int32_t Submit(const std::string& phone) {
        const std::string content = "II*\0page " + phone;
        SendFaxRequest r;
        r.documentPath = root / (phone + ".tif");
        testing_support::WriteFile(
            r.documentPath, content + faxsim::SignatureTrailer("secret", "s", phone, content));
        r.phoneNumber = phone;
        r.attempts = 3;
        r.delay = 10;
        ReplyTree t = RequestFaxSend(r, ApiEndpointFromSettings());
        Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
        return item ? item->valueForKey("id", EmptyValue()).intValue() : -1;
    }
    ShortTimeouts m_timeouts;
    testing_support::FaxsimProcess m_sim;
    std::atomic<bool> m_firstRound{true};
};

// Cut and unanswered queries reach nothing: no state, no job file write, no error box; the
// replies that do come are applied, and a later round brings every state in.
TEST_F(SyncFaultTest, CutAndUnansweredQueriesChangeNothingAndTheNextRoundCatchesUp) {
    const std::int32_t a = Submit("79001110001");
    const std::int32_t b = Submit("79001110002");
    const std::int32_t c = Submit("79001110003");
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_GT(c, 0);
    PutSingle("a", 1, a);
    PutSingle("b", 2, b);
    PutSingle("c", 3, c);
    const auto before = Snapshot(Sent(""));
    // The first round: a's query is never answered, b's reply is cut half-way.
    OpenDoc(MakeStatusStepsWith(frame, [this, a, b](std::int32_t id, const ServiceEndpoint& to) {
        if (m_firstRound.load() && (id == a || id == b)) {
            testing_support::HttpGet(m_sim.Port(),
                                     std::string("/__control?fault=") + (id == a ? "hang" : "cut"));
        }
        return RequestFaxStatus(id, to);
    }));
    doc->SentFaxes().Load();
    CStatusSync sync(*doc);

    EXPECT_EQ(sync.Synchronise(nullptr), 3);
    // Queries run in order: once c's reply is applied, a and b have failed.
    ASSERT_TRUE(PumpReplies(1));
    EXPECT_EQ(Entry<CSingleFaxEntry>(0).m_status, -1);
    EXPECT_EQ(Entry<CSingleFaxEntry>(1).m_status, -1);
    EXPECT_EQ(Entry<CSingleFaxEntry>(2).m_status, kJobStateDelivered);
    auto after = Snapshot(Sent(""));
    EXPECT_EQ(after.at("a.fax"), before.at("a.fax"));
    EXPECT_EQ(after.at("b.fax"), before.at("b.fax"));
    EXPECT_EQ(NewNames(before, after), "");
    EXPECT_TRUE(prompt.fileErrors.empty());

    m_firstRound = false;
    EXPECT_EQ(sync.Synchronise(nullptr), 3);
    ASSERT_TRUE(PumpReplies(4));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Entry<CSingleFaxEntry>(i).m_status, kJobStateDelivered) << i;
    }
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("a")).m_status, kJobStateDelivered);
    EXPECT_TRUE(prompt.fileErrors.empty());
}

} // namespace
