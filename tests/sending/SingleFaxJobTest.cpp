#include "SendJobFixture.h"

#include "FaxSim.h"
#include "resources/Strings.h"
#include "sending/PhoneNumbers.h"
#include "sending/SendFaxJob.h"
#include "store/FaxRecords.h"
#include "store/VelquinDoc.h"

#include <ctime>

using namespace sending_test;

namespace {

std::int64_t LocalTime(int y, int mo, int d, int h, int mi) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

class SingleFaxJobTest : public SendJobFixture {
protected:
    void SetUp() override {
        SendJobFixture::SetUp();
        m_image = Sent("report4B0C2A11.tif");
        WriteBilevelTiff(m_image, {.pages = 2});
        m_job = std::make_unique<CSendFaxJob>(m_image, "report4B0C2A11.tif", "Отчёт", m_prompt,
                                              m_frame);
        Settings().LastFaxID = 1000000007;
        m_job->Open(CurrentTime());
    }
    std::string m_image;
    std::unique_ptr<CSendFaxJob> m_job;
};

TEST(SendTimeTest, PickersSpinsAndTimeText) {
    const std::int64_t now = LocalTime(2026, 3, 5, 14, 35);
    std::int64_t date = 0, time = 0;
    InitialSendTime(now - 60, now, date, time);
    EXPECT_EQ(date, now);
    EXPECT_EQ(time, LocalTime(2026, 3, 5, 15, 0));
    InitialSendTime(LocalTime(2026, 3, 5, 23, 35), LocalTime(2026, 3, 5, 23, 10), date, time);
    EXPECT_EQ(time, LocalTime(2026, 3, 5, 23, 35));
    // At 23:xx the next full hour is tomorrow's midnight.
    InitialSendTime(0, LocalTime(2026, 3, 5, 23, 10), date, time);
    EXPECT_EQ(time, LocalTime(2026, 3, 6, 0, 0));

    EXPECT_EQ(SendTimeText(kSendAtOnce, now, now), "0000-00-00 00:00");
    EXPECT_EQ(SendTimeText(kSendAtTime, LocalTime(2026, 12, 31, 9, 0), LocalTime(2026, 1, 1, 7, 5)),
              "2026-12-31 07:05");
    EXPECT_EQ(CombineSendTime(LocalTime(2026, 12, 31, 9, 0), LocalTime(2026, 1, 1, 7, 5)),
              LocalTime(2026, 12, 31, 7, 5));

    EXPECT_EQ(SpinStep(1, -1, 1, 9), 1);
    EXPECT_EQ(SpinStep(9, 1, 1, 9), 9);
    EXPECT_EQ(SpinStep(5, -1, 5, 60), 5);
    EXPECT_EQ(SpinStep(60, 1, 5, 60), 60);
    EXPECT_EQ(SpinStep(2147483647, 1, 1, 9), 9);
}

TEST_F(SingleFaxJobTest, OpeningTakesTheStoredValues) {
    CSettings& s = Settings();
    s.LastFaxAttempts = 7;
    s.LastFaxDelay = 20;
    s.LastFaxSendASAP = 1;
    s.LastFaxSendTime = CurrentTime() + 86400;
    s.RememberPwd = false;
    CSendFaxJob job(m_image, "x.tif", "", m_prompt, m_frame);
    job.Open(CurrentTime());
    EXPECT_EQ(job.m_attempts, 7);
    EXPECT_EQ(job.m_delay, 20);
    EXPECT_TRUE(job.PickersEnabled());
    EXPECT_EQ(job.m_sendTime, s.LastFaxSendTime);
    EXPECT_EQ(job.m_password, "") << "a password that is not remembered is not shown";
    EXPECT_FALSE(job.SendEnabled());
}

TEST_F(SingleFaxJobTest, DoneBuildsTheJobLineSignsAndEveryEditNeedsDoneAgain) {
    const std::size_t size = *platform::FileSize(m_image);
    m_job->SetNumber("3520809");
    m_job->LeaveNumberField();
    EXPECT_EQ(m_job->m_number, "88123520809");
    EXPECT_FALSE(m_job->SendEnabled());
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->m_jobLine, "demo 0000-00-00 00:00 1000000007 111005010");
    EXPECT_EQ(Settings().LastFaxID, 1000000008);
    EXPECT_TRUE(m_job->SendEnabled());
    std::string bytes = testing_support::ReadFileOrDie(m_image);
    ASSERT_EQ(bytes.size(), size + 32);
    EXPECT_EQ(bytes.substr(size), faxsim::SignatureTrailer(kPassword, m_job->m_jobLine,
                                                           "88123520809", bytes.substr(0, size)));

    // Every kind of edit disables "Отправить".
    const std::vector<std::function<void()>> edits = {
        [&] { m_job->SetNumber("88123520809"); },
        [&] { m_job->SpinAttempts(1); },
        [&] { m_job->SpinDelay(-1); },
        [&] { m_job->SetSendMode(kSendAtTime); },
        [&] { m_job->Edited(); },
    };
    for (const auto& edit : edits) {
        ASSERT_TRUE(m_job->Done());
        edit();
        EXPECT_FALSE(m_job->SendEnabled());
    }
    // Each Done issued a new fax number and signed once more.
    EXPECT_EQ(Settings().LastFaxID, 1000000013);
    EXPECT_EQ(*platform::FileSize(m_image), size + 6 * 32);
    m_job->m_sendDate = m_job->m_sendTime = LocalTime(2027, 1, 2, 3, 4);
    m_job->m_attempts = 9;
    m_job->m_delay = 60;
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->m_jobLine, "demo 2027-01-02 03:04 1000000013 111009060");
    EXPECT_EQ(Settings().LastFaxSendTime, LocalTime(2027, 1, 2, 3, 4));
}

TEST_F(SingleFaxJobTest, DoneRefusals) {
    m_job->SetNumber("8 (12) 3");
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(m_job->m_number, "8123");
    m_job->SetNumber("1-2-3-4");
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(m_job->m_number, "1234");
    ASSERT_EQ(m_prompt.messages.size(), 2u);
    EXPECT_EQ(m_prompt.messages[1].text, LoadString(kMsgBadPhoneNumber));
    EXPECT_EQ(m_prompt.messages[1].icon, MsgIcon::Stop);

    m_job->SetNumber("3520809");
    m_job->m_singlePages = true;
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(m_prompt.messages.back().text, "Option 'Send as single pages' not implemented yet");
    EXPECT_EQ(Settings().LastFaxID, 1000000007) << "no fax number was issued";
    EXPECT_FALSE(m_job->SendEnabled());
}

TEST_F(SingleFaxJobTest, AcceptedSubmissionWritesTheJobFileAndTheDocumentTakesIt) {
    StartSim();
    m_job->SetNumber("3520809");
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    EXPECT_TRUE(m_prompt.messages.empty());
    EXPECT_EQ(m_job->m_faxNumber, 5000001);
    const std::string jobFile = Sent("report4B0C2A11.FAX");
    EXPECT_EQ(m_job->JobFilePath(), jobFile);
    ASSERT_EQ(m_frame.NewJobFiles(), std::vector<std::string>{jobFile});
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(jobFile));
    auto* single = dynamic_cast<CSingleFaxEntry*>(record.get());
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->m_faxId, 5000001);
    EXPECT_EQ(single->m_recipient, "88123520809");
    EXPECT_EQ(single->m_path, m_image);
    EXPECT_EQ(single->m_title, "");
}

TEST_F(SingleFaxJobTest, RefusedAndUnansweredSubmissionsKeepTheDialogOpen) {
    StartSim();
    m_job->SetNumber("3520809");
    ASSERT_TRUE(m_job->Done());
    Settings().UserPWD = "otherpw1"; // what the request carries
    EXPECT_EQ(m_job->Send(), SendOutcome::StayOpen);
    ASSERT_EQ(m_prompt.messages.size(), 1u);
    EXPECT_EQ(m_prompt.messages[0].text, "Неверное имя пользователя или пароль");
    EXPECT_TRUE(m_job->SendEnabled()) << "Send may be pressed again";

    Settings().UserPWD = kPassword;
    for (const char* fault : {"http500", "notxml", "malformed", "cut"}) {
        SimFault(fault);
        EXPECT_EQ(m_job->Send(), SendOutcome::StayOpen) << fault;
    }
    // Each unanswered press says the fax may have gone, so a second press is a choice.
    ASSERT_EQ(m_prompt.messages.size(), 5u);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(m_prompt.messages[i].text, LoadString(kMsgNoSubmitReply)) << i;
    }
    EXPECT_TRUE(m_frame.NewJobFiles().empty());
    EXPECT_FALSE(platform::PathExists(Sent("report4B0C2A11.FAX")));
    // And the next answer goes through.
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
}

// The job file is written before the post: where it cannot be, the service never gets the fax.
TEST_F(SingleFaxJobTest, AJobFileThatCannotBeWrittenStopsTheSendBeforeThePost) {
    StartSim();
    const std::string jobFile = Sent("report4B0C2A11.FAX");
    platform::CreateDir(jobFile);
    testing_support::WriteFile(jobFile + "/keep", "x");
    m_job->SetNumber("3520809");
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->Send(), SendOutcome::StayOpen);
    ASSERT_EQ(m_prompt.fileErrors.size(), 1u);
    EXPECT_NE(m_prompt.fileErrors[0].find(jobFile), std::string::npos) << m_prompt.fileErrors[0];
    EXPECT_TRUE(m_frame.NewJobFiles().empty());
    EXPECT_FALSE(m_job->Recorded());

    platform::DeleteFile(jobFile + "/keep");
    ::rmdir(jobFile.c_str());
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    EXPECT_TRUE(m_job->Recorded());
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(jobFile));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*record).m_faxId, 5000001) << "the first job";
}

TEST_F(SingleFaxJobTest, HiddenSaveWritesTheJobFileWithoutPosting) {
    m_job->SetNumber("3520809");
    m_job->PickContact("88125550000", "Ромашка", "Иванов");
    EXPECT_EQ(m_job->m_recipientLabel, "Ромашка, Иванов");
    ASSERT_TRUE(m_job->Done());
    ASSERT_TRUE(m_job->Save());
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(Sent("report4B0C2A11.FAX")));
    auto* single = dynamic_cast<CSingleFaxEntry*>(record.get());
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->m_faxId, 1000000007);
    EXPECT_EQ(single->m_title, "Ромашка, Иванов");
    m_job->SetNumber("88125550001");
    EXPECT_EQ(m_job->m_recipientLabel, "") << "typing clears the label";
}

} // namespace
