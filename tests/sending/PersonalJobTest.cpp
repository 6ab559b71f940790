#include "SendJobFixture.h"

#include "FaxSim.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"
#include "sending/PhoneNumbers.h"
#include "sending/SendPersonalJob.h"
#include "store/FaxRecords.h"

using namespace sending_test;

namespace {

class PersonalJobTest : public SendJobFixture {
protected:
    void Prepare(int pages, const std::string& recipients, int pagesEach) {
        m_run = Settings().FaxDir + "/run.tif";
        WriteBilevelTiff(m_run, {.pages = pages});
        testing_support::WriteFile(m_dir / "recipients.csv", recipients);
        m_job = std::make_unique<CSendPersonalJob>(m_run, m_prompt, m_frame);
        m_job->Open(CurrentTime());
        m_job->m_recipientFilePath = m_dir / "recipients.csv";
        m_job->m_pagesPerRecipient = pagesEach;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& m : m_prompt.messages) {
            t.push_back(m.text);
        }
        return t;
    }
    std::string m_run;
    std::unique_ptr<CSendPersonalJob> m_job;
};

const char* const kThree = "3520809;Ivanov;Firm\n88125550000;Петров; ООО\n88127770001;C;D\n";

TEST_F(PersonalJobTest, EachRecipientGetsItsPagesAsAnOwnFax) {
    StartSim();
    Prepare(6, kThree, 2);
    Settings().UseSMAPI = true; // Send is offered anyway
    Settings().LastFaxID = 1000000100;
    ASSERT_TRUE(m_job->Done());
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0], FormatString(LoadString(kMsgShortNumbersCompleted), "8812"))
        << "one completed number, one notice";
    EXPECT_EQ(m_job->m_lines[0], "88123520809 Ivanov Firm");
    EXPECT_EQ(m_job->m_lines[1], "88125550000 Петров ООО");
    ASSERT_TRUE(m_job->SendEnabled());
    const std::string base = m_job->m_baseName;
    EXPECT_TRUE(platform::PathExists(SplitPartPath(MergeDir(), base, 3)));

    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    EXPECT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Settings().LastFaxID, 1000000103);
    const std::string jobFile = Sent(base + ".FAX");
    ASSERT_EQ(m_frame.NewJobFiles(), std::vector<std::string>{jobFile});
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(jobFile));
    auto* run = dynamic_cast<CPersonalFaxEntry*>(record.get());
    ASSERT_NE(run, nullptr);
    ASSERT_EQ(run->m_recipients.size(), 3u);
    EXPECT_EQ(run->m_path, jobFile);
    for (int k = 0; k < 3; ++k) {
        const CAttachFaxEntry& r = run->m_recipients[k];
        EXPECT_EQ(r.m_faxId, 5000001 + k);
        EXPECT_EQ(r.m_pages, 2);
        EXPECT_EQ(r.m_path, SplitPartPath(SentDir(), base, k + 1));
        EXPECT_EQ(CountPages(r.m_path), 2);
        EXPECT_TRUE(faxsim::HasValidTrailer(testing_support::ReadFileOrDie(r.m_path), kPassword));
        EXPECT_FALSE(platform::PathExists(SplitPartPath(MergeDir(), base, k + 1)));
    }
    EXPECT_EQ(run->m_recipients[1].m_recipient, "88125550000");
    EXPECT_EQ(run->m_recipients[1].m_recipientLabel, "Петров ООО");
}

TEST_F(PersonalJobTest, EverySubmissionRefusedStillWritesTheRun) {
    StartSim();
    Prepare(3, kThree, 1);
    ASSERT_TRUE(m_job->Done());
    Settings().UserPWD = "otherpw1";
    m_prompt.messages.clear();
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Неверное имя пользователя или пароль",
                                                 "Неверное имя пользователя или пароль",
                                                 "Неверное имя пользователя или пароль",
                                                 "Не удалось отправить ни одного электронного "
                                                 "письма"}));
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(m_job->JobFilePath()));
    auto* run = dynamic_cast<CPersonalFaxEntry*>(record.get());
    ASSERT_NE(run, nullptr);
    EXPECT_TRUE(run->m_recipients.empty());
    EXPECT_TRUE(platform::PathExists(SplitPartPath(SentDir(), m_job->m_baseName, 1)));
}

TEST_F(PersonalJobTest, UnansweredRecipientsAreLeftOutAndTheUserIsTold) {
    StartSim();
    Prepare(3, kThree, 1);
    ASSERT_TRUE(m_job->Done());
    m_prompt.messages.clear();
    SimFault("http500", 2);
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    ASSERT_EQ(m_prompt.messages.size(), 1u);
    EXPECT_EQ(m_prompt.messages[0].text, LoadString(kMsgNoSubmitReply));
    ASSERT_NE(m_job->Record(), nullptr);
    ASSERT_EQ(m_job->Record()->m_recipients.size(), 1u);
    EXPECT_EQ(m_job->Record()->m_recipients[0].m_recipient, "88127770001");
}

// A recipient file saved as "Unicode text" is read like any other. A service never reached gets
// nothing, and the user is told just that, not that the faxes may have gone.
TEST_F(PersonalJobTest, UnicodeRecipientsAndAServiceNeverReached) {
    Prepare(3, testing_support::UnicodeText(kThree, false), 1); // nothing listens at ApiHost
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->m_lines[1], "88125550000 Петров ООО");
    m_prompt.messages.clear();
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(LoadString(kMsgSubmitNotSent)),
                                                 std::string(LoadString(kMsgNothingSent))}));
}

TEST_F(PersonalJobTest, DoneRefusalsInOrder) {
    Prepare(5, kThree, 2);
    m_job->m_password = "short";
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts().back(), LoadString(kMsgBadPasswordLength));
    m_job->m_password = kPassword;
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts().back(), LoadString(kMsgPhonesPagesMismatch));

    m_job->m_recipientFilePath = m_dir / "none.csv";
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts()[Texts().size() - 2], LoadString(kMsgCannotOpenSendFile));
    EXPECT_EQ(Texts().back(), LoadString(kMsgNoPhonesInFile));
    m_job->m_recipientFilePath = "a.csv";
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts()[Texts().size() - 2], LoadString(kMsgNoSendFile));

    testing_support::WriteFile(m_dir / "recipients.csv", "");
    m_job->m_recipientFilePath = m_dir / "recipients.csv";
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts().back(), LoadString(kMsgNoPhonesInFile));

    testing_support::WriteFile(m_dir / "recipients.csv", "88123520809\n");
    testing_support::WriteFile(m_run, "not a tiff");
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts().back(), LoadString(kMsgUnreadablePrintFile));
    EXPECT_FALSE(m_job->SendEnabled());

    // Blank lines are recipients too: two lines, one page each.
    WriteBilevelTiff(m_run, {.pages = 2});
    testing_support::WriteFile(m_dir / "recipients.csv", "88123520809;a;b\n\n");
    m_job->m_pagesPerRecipient = 1;
    const std::size_t shown = Texts().size();
    EXPECT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->m_lines[1], "8812  ");
    EXPECT_EQ(Texts().size(), shown + 1) << "the completed blank line brings message 2044";
}

TEST_F(PersonalJobTest, ARunWithADamagedPageSendsNothing) {
    Prepare(1, "88123520809\n88123520810\n", 1);
    CTiffBuilder builder(false);
    auto pixels = PagePixels(0, 64, 40);
    WriteBytes(m_run, builder.Build({CTiffBuilder::BilevelPage(pixels, 64, 40),
                                     CTiffBuilder::BilevelPage(pixels, 64, 40, 50)}));
    ASSERT_EQ(CountPages(m_run), 2);
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(Texts().back(), LoadString(kMsgDamagedFile));
    EXPECT_FALSE(m_job->SendEnabled());
}

} // namespace
