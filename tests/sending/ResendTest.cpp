#include "TiffTestFiles.h"

#include "sending/FaxImage.h"
#include "sending/Resend.h"
#include "service/JobState.h"
#include "store/SentFaxes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// A signed image: `digest` is its trailer's last 16 bytes.
std::string WriteSigned(const std::string& path, const std::string& digest) {
    testing_support::WriteFile(path, "II*_fax_image_bytes" + std::string(16, 'S') + digest);
    return path;
}

} // namespace

TEST(ResendTest, AnEarlierSendIsTheLatestOfTheLastSevenDaysToTheNumberWithTheSameDigest) {
    testing_support::TempDir dir;
    const std::string same(16, 'A');
    const std::int64_t now = 2000000000;
    SentList sent;
    auto single = [&](const char* stem, const char* number, std::int64_t age, std::int32_t state,
                      const std::string& digest) {
        auto e = std::make_unique<CSingleFaxEntry>("Договор");
        e->m_time = now - age;
        e->m_recipient = number;
        e->m_status = state;
        e->m_path = WriteSigned(dir.Path() + "/" + stem + ".tif", digest);
        sent.push_back(std::move(e));
    };
    single("old", "88125550101", kEarlierSendWindow + 60, kJobStateDelivered, same);
    single("other", "88125550102", 60, kJobStateDelivered, same);
    single("changed", "88125550101", 30, kJobStateDelivered, std::string(16, 'B'));
    const std::vector<std::string> numbers = {"88125550101"};
    EXPECT_FALSE(FindEarlierSend(sent, dir.Path(), same, numbers, now));

    // A list's recipient counts; of two matches the later is named, with its recipient's state.
    auto list = std::make_unique<CGroupFaxEntry>("Рассылка");
    list->m_time = now - 3600;
    list->m_recipients.resize(2);
    list->m_recipients[1].m_recipient = "88125550101";
    list->m_recipients[1].m_status = kJobStateNotDelivered;
    list->m_path = WriteSigned(dir.Path() + "/list.tif", same);
    sent.push_back(std::move(list));
    single("first", "88125550101", 7200, kJobStateDelivered, same);
    const auto earlier = FindEarlierSend(sent, dir.Path(), same, numbers, now);
    ASSERT_TRUE(earlier);
    EXPECT_EQ(earlier->time, now - 3600);
    EXPECT_EQ(earlier->state, kJobStateNotDelivered);
    EXPECT_EQ(ImageDigest(dir.Path() + "/list.tif"), same);
}

TEST(ResendTest, APersonalRunIsTheUndeliveredPagesOnlyAndNeedsEqualParts) {
    testing_support::TempDir dir;
    CPersonalFaxEntry mailing("Письма");
    const int pages[] = {2, 2, 2, 1};
    const std::int32_t states[] = {kJobStateNotDelivered, kJobStateDelivered, kJobStateNotDelivered,
                                   kJobStateDelivered};
    for (int i = 0; i < 4; ++i) {
        CAttachFaxEntry r;
        r.m_recipient = "8812555010" + std::to_string(i);
        r.m_recipientLabel = i == 0 ? "ООО Ромашка" : "";
        r.m_status = states[i];
        r.m_path = dir.Path() + "/p" + std::to_string(i) + ".tif";
        sending_test::BilevelSpec spec;
        spec.pages = pages[i];
        sending_test::WriteBilevelTiff(r.m_path, spec);
        mailing.m_recipients.push_back(r);
    }
    CResendRun run;
    ASSERT_EQ(BuildResendRun(mailing, dir.Path(), dir.Path(), run), "");
    EXPECT_EQ(run.recipients, 2);
    EXPECT_EQ(run.pagesPerRecipient, 2);
    EXPECT_EQ(CountPages(run.runPath), 4);
    EXPECT_EQ(testing_support::ReadFileOrDie(run.recipientsPath),
              "88125550100;ООО;Ромашка\r\n88125550102;;\r\n");

    // A one-page recipient among two-page ones cannot share the run.
    mailing.m_recipients[3].m_status = kJobStateNotDelivered;
    EXPECT_NE(BuildResendRun(mailing, dir.Path(), dir.Path(), run).find("(2 и 1)"),
              std::string::npos);
}
