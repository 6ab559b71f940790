#include "SendJobFixture.h"

#include "FaxSim.h"
#include "addressbook/AddrBook.h"
#include "addressbook/AddressBooks.h"
#include "addressbook/BookFixture.h"
#include "platform/Encoding.h"
#include "resources/Strings.h"
#include "sending/PhoneNumbers.h"
#include "sending/SendListJob.h"
#include "store/FaxRecords.h"

using namespace sending_test;

namespace {

class ListJobTest : public SendJobFixture {
protected:
    void SetUp() override {
        SendJobFixture::SetUp();
        m_document = Settings().FaxDir + "/print.tif";
        WriteBilevelTiff(m_document, {.pages = 1});
        testing_support::WriteFile(platform::ReplaceExtension(m_document, ".tag"), "Print");
        m_image = Sent("print4B0C2A11.tif");
        platform::CopyFile(m_document, m_image, false);
        m_job = std::make_unique<CSendListJob>(m_image, "print4B0C2A11.tif", 1, m_prompt, m_frame);
        Settings().LastFaxID = 1000000010;
        m_job->Open(CurrentTime());
    }
    std::string m_document, m_image;
    std::unique_ptr<CSendListJob> m_job;
};

TEST(ListFilesTest, SendListAndNumberListBytes) {
    std::string fbl, csv;
    BuildListFiles({"88123520809 ООО Ромашка", "84951234567", "88125550000   Firm"}, 1000000010,
                   fbl, csv);
    EXPECT_EQ(fbl, "1000000010 88123520809\r\n1000000011 84951234567\r\n"
                   "1000000012 88125550000\r\n\r\n");
    EXPECT_EQ(csv, "88123520809\r\n84951234567\r\n88125550000\r\n");
}

TEST(ListLineTest, FieldsOfPhoneListAndRecipientLines) {
    CListLineFields f = SplitListLine("3520809;Ivanov;  Firm Ltd");
    EXPECT_EQ(f.number, "3520809");
    EXPECT_EQ(f.second, "Ivanov");
    EXPECT_EQ(f.third, "Firm Ltd");
    f = SplitListLine(";;Firm");
    EXPECT_EQ(f.number, "");
    EXPECT_EQ(f.third, "Firm");
    f = SplitListLine("88123520809");
    EXPECT_EQ(f.second + f.third, "");
    f = SplitListLine("812;Иванов");
    EXPECT_EQ(f.second, "Иванов");
    EXPECT_EQ(f.third, "");
    f = SplitListLine("3520809\tIvanov\tFirm");
    EXPECT_EQ(f.number + "|" + f.second + "|" + f.third, "3520809|Ivanov|Firm");
    f = SplitListLine("3520809;Ivanov\tFirm\r");
    EXPECT_EQ(f.number + "|" + f.second + "|" + f.third, "3520809|Ivanov|Firm");
    std::string number, label;
    SplitRecipientLine("88123520809   ООО Ромашка ", number, label);
    EXPECT_EQ(number, "88123520809");
    EXPECT_EQ(label, "ООО Ромашка ");
    SplitRecipientLine("84951234567", number, label);
    EXPECT_EQ(label, "");

    // Long lines are read as pieces; a line end at the end adds no line; CR LF is one end.
    std::vector<std::string> lines =
        ReadUserTextLines(std::string(1100, '1') + "\r\nb\r\n\r\nc\n", 510);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].size(), 510u);
    EXPECT_EQ(lines[2].size(), 80u);
    EXPECT_EQ(lines[3], "b");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "c");
}

TEST_F(ListJobTest, RecipientListEditing) {
    CEditList list(m_job->m_lines, m_prompt);
    // A phone list in Windows-1251 with a label, a line without digits and a duplicate.
    const std::string file = m_dir / "phones.csv";
    testing_support::WriteFile(file,
                               platform::Utf8ToCp1251(";;Firm\r\n"
                                                      "5550000;Иванов;ООО Ромашка\r\n"
                                                      "8812555;x;prefix of a listed one\r\n"));
    ASSERT_TRUE(list.AddFromFile(file));
    EXPECT_EQ(m_job->m_lines, (std::vector<std::string>{"8812 Firm", "88125550000 ООО Ромашка"}));
    ASSERT_EQ(m_prompt.messages.size(), 1u) << "message 2045 once for the batch";
    EXPECT_EQ(m_prompt.messages[0].text, LoadString(kMsgDuplicateNumbers));

    EXPECT_EQ(list.AddTyped("3520809"), CEditList::AddResult::Added);
    EXPECT_EQ(list.AddTyped("8 812 352-08-09"), CEditList::AddResult::Duplicate);
    EXPECT_EQ(list.AddTyped("1234"), CEditList::AddResult::Ignored);
    EXPECT_EQ(m_job->m_lines.back(), "88123520809");
    // A second read: ";;Firm" is now a prefix duplicate of "8812 Firm".
    ASSERT_TRUE(list.AddFromFile(file));
    EXPECT_EQ(m_job->m_lines.size(), 3u);
    EXPECT_EQ(m_prompt.messages.size(), 2u);

    EXPECT_FALSE(list.AddFromFile("a.csv"));
    EXPECT_EQ(m_prompt.messages.back().text, LoadString(kMsgNoSendFile));
    EXPECT_FALSE(list.AddFromFile(m_dir / "missing.csv"));
    EXPECT_EQ(m_prompt.messages.back().text, LoadString(kMsgCannotOpenSendFile));

    // "Прервать" while a list is read off the GUI thread: nothing of it is taken, no message.
    const std::size_t shown = m_prompt.messages.size();
    CPhoneListRead read = list.StartFileRead(file);
    CEditList::ReadFile(read, [](std::size_t, std::size_t) { return false; });
    EXPECT_TRUE(read.cancelled);
    EXPECT_FALSE(list.TakeFileRead(std::move(read)));
    EXPECT_EQ(m_job->m_lines.size(), 3u);
    EXPECT_EQ(m_prompt.messages.size(), shown);

    EXPECT_EQ(list.DeleteAt(2), 1);
    EXPECT_EQ(list.DeleteAt(0), 0);
    list.DeleteAll();
    m_job->LinesEdited();
    EXPECT_FALSE(m_job->DoneEnabled());
}

TEST_F(ListJobTest, AddressBookGroupsAreAddedRecursivelyOnce) {
    AddressBooks().Clear();
    auto book = std::make_unique<CAddrBook>("a");
    auto other = std::make_unique<CAddrBook>("b");
    auto c1 = std::make_unique<CContactEntry>("88123520809");
    c1->m_company = "Ромашка";
    c1->m_person = "Иванов";
    auto c2 = std::make_unique<CContactEntry>("84951234567");
    auto g1 = std::make_unique<CGroupEntry>("g1");
    auto g2 = std::make_unique<CGroupEntry>("g2");
    // g1 -> c1, g2; g2 (in the other book) -> c2, g1, c1: a cycle and a repeated member.
    g1->m_members = {c1->m_guid, g2->m_guid};
    g2->m_members = {c2->m_guid, g1->m_guid, c1->m_guid};
    const CAddrBookEntry* picked = g1.get();
    const CAddrBookEntry* contact = c1.get();
    book->AddEntry(std::move(c1));
    book->AddEntry(std::move(g1));
    other->AddEntry(std::move(c2));
    other->AddEntry(std::move(g2));
    AddressBooks().Add(std::move(book));
    AddressBooks().Add(std::move(other));

    CEditList list(m_job->m_lines, m_prompt);
    list.AddEntries({picked, contact});
    EXPECT_EQ(m_job->m_lines,
              (std::vector<std::string>{"88123520809 Ромашка, Иванов", "84951234567 , "}));
    EXPECT_EQ(m_prompt.messages.size(), 1u);
    AddressBooks().Clear();
}

// Picking the top of a chain of groups deeper than the stack once crashed the window.
TEST_F(ListJobTest, ADeepChainOfGroupsIsWalkedWithoutRecursion) {
    AddressBooks().Clear();
    AddressBooks().Add(std::make_unique<CAddrBook>("a"));
    const CGroupEntry* chain =
        abk_test::AddGroupChain(*AddressBooks().back(), 100'000, "88123520809", "84951234567");

    CEditList(m_job->m_lines, m_prompt).AddEntries({chain});
    EXPECT_EQ(m_job->m_lines, (std::vector<std::string>{"88123520809 , ", "84951234567 , "}));
    AddressBooks().Clear();
}

TEST_F(ListJobTest, DoneWritesBothListsSignsAndIssuesIds) {
    m_job->m_lines = {"88123520809 ООО Ромашка", "84951234567", "88125550000 Firm"};
    m_job->LinesEdited();
    m_job->m_notifyFailure = true;
    m_job->m_attempts = 3;
    m_job->m_delay = 10;
    Settings().LastListID = 2000000005;
    const std::string image = testing_support::ReadFileOrDie(m_image);
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->m_jobLine, "demo 0000-00-00 00:00 2000000005 101003010");
    EXPECT_EQ(Settings().LastFaxID, 1000000013);
    EXPECT_EQ(Settings().LastListID, 2000000006);

    const std::string body = "1000000010 88123520809\r\n1000000011 84951234567\r\n"
                             "1000000012 88125550000\r\n\r\n";
    EXPECT_EQ(testing_support::ReadFileOrDie(Sent("print4B0C2A11.FBL")),
              body + faxsim::SignatureTrailer(kPassword, m_job->m_jobLine, "sendlist", body));
    EXPECT_EQ(testing_support::ReadFileOrDie(Sent("print4B0C2A11.csv")),
              "88123520809\r\n84951234567\r\n88125550000\r\n");
    EXPECT_EQ(testing_support::ReadFileOrDie(m_image),
              image + faxsim::SignatureTrailer(kPassword, m_job->m_jobLine, "sendlist", image));

    const std::unique_ptr<CFaxEntryBase> entry = LoadSentRecord(m_job->RecordBytes());
    const auto* record = dynamic_cast<const CGroupFaxEntry*>(entry.get());
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->m_recipients.size(), 3u);
    EXPECT_EQ(record->m_recipients[0].m_recipientLabel, "ООО Ромашка");
    EXPECT_EQ(record->m_recipients[2].m_faxId, 1000000012);
    EXPECT_EQ(record->m_listId, 2000000005);
    EXPECT_TRUE(m_job->SendEnabled());
    m_job->m_notifySuccess = true;
    m_job->Edited();
    EXPECT_FALSE(m_job->SendEnabled());
}

TEST_F(ListJobTest, DoneRefusals) {
    m_job->m_lines = {"88123520809"};
    m_job->LinesEdited();
    m_job->m_userName = "";
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(m_prompt.messages.back().text, LoadString(kMsgBadUserIdLength));
    m_job->m_userName = "demo";
    m_job->m_password = "secret1";
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(m_prompt.messages.back().text, LoadString(kMsgBadPasswordLength));
    EXPECT_EQ(m_prompt.messages.back().icon, MsgIcon::Stop);
    m_job->m_password = kPassword;
    m_job->m_listName = std::string(129, 'x');
    EXPECT_FALSE(m_job->Done());
    m_job->m_listName = "Рассылка";

    // A send list that cannot be created: nothing is saved or signed.
    platform::CreateDir(Sent("print4B0C2A11.FBL"));
    testing_support::WriteFile(Sent("print4B0C2A11.FBL/keep"), "x");
    const auto size = platform::FileSize(m_image);
    EXPECT_FALSE(m_job->Done());
    EXPECT_EQ(m_prompt.messages.back().text, "!! Cannot create FBL file !!!");
    EXPECT_EQ(Settings().LastFaxID, 1000000011) << "an id once taken is never given again";
    EXPECT_EQ(platform::FileSize(m_image), size);
    EXPECT_FALSE(m_job->SendEnabled());
}

TEST_F(ListJobTest, AcceptedListSubmission) {
    StartSim();
    m_job->m_lines = {"88123520809 Firm", "84951234567"};
    m_job->LinesEdited();
    ASSERT_TRUE(m_job->Done());
    EXPECT_EQ(m_job->Send(), SendOutcome::Submitted);
    EXPECT_TRUE(m_prompt.messages.empty());
    const std::string jobFile = Sent("print4B0C2A11.FAX");
    ASSERT_EQ(m_frame.NewJobFiles(), std::vector<std::string>{jobFile});
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(jobFile));
    auto* list = dynamic_cast<CGroupFaxEntry*>(record.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->m_listId, 5000001);
    EXPECT_EQ(list->m_status, 4);
    EXPECT_EQ(list->m_recipients.size(), 2u);
    EXPECT_EQ(list->m_title, m_job->m_listName);
}

TEST_F(ListJobTest, RefusedAndUnansweredListSubmissions) {
    StartSim();
    m_job->m_lines = {"88123520809 Firm"};
    m_job->LinesEdited();
    ASSERT_TRUE(m_job->Done());
    // An empty number list: the service refuses with a message and details.
    testing_support::WriteFile(Sent("print4B0C2A11.csv"), "");
    EXPECT_EQ(m_job->Send(), SendOutcome::StayOpen);
    ASSERT_EQ(m_prompt.messages.size(), 1u);
    EXPECT_EQ(m_prompt.messages[0].text, "Не указан номер получателя: список номеров пуст");
    testing_support::WriteFile(Sent("print4B0C2A11.csv"), "88123520809\r\n");
    SimFault("http500");
    EXPECT_EQ(m_job->Send(), SendOutcome::StayOpen);
    ASSERT_EQ(m_prompt.messages.size(), 2u);
    EXPECT_EQ(m_prompt.messages[1].text, LoadString(kMsgNoSubmitReply));
    EXPECT_TRUE(m_frame.NewJobFiles().empty());
}

} // namespace
