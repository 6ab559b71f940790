// Files and directories that vanish under the running program: a job file deleted while
// Synchronise is under way, and the printed-documents directory deleted and made again.
#include "FaultSupport.h"

#include "store/sync/SyncFixture.h"

#include "app/Ports.h"
#include "platform/Encoding.h"
#include "service/JobState.h"

#include <filesystem>

namespace {

using testing_support::WriteFile;

class VanishTest : public sync_test::SyncFixture {
protected:
    std::string Fax(const std::string& name) const { return root / ("fax/" + name); }
    std::vector<std::string> PrintedTitles() {
        std::vector<std::string> titles;
        for (const auto& d : doc->Printed().Records()) {
            titles.push_back(d->m_title);
        }
        return titles;
    }
};

// Another program removes one fax (image and job file) and only the job file of another while
// their queries are on the way. The removed fax does not come back, not even when the program
// closes; the fax whose image is still there gets its job file again.
TEST_F(VanishTest, JobFilesDeletedWhileSynchronisingStayDeletedAcrossARestart) {
    PutSingle("gone", 1, 11);
    PutSingle("jobonly", 2, 12);
    PutSingle("kept", 3, 13);
    OpenDoc(MakeStatusStepsWith(frame, [this](std::int32_t id) {
        if (id == 11) {
            platform::DeleteFile(Sent("gone.fax"));
            platform::DeleteFile(Sent("gone.tif"));
        } else if (id == 12) {
            platform::DeleteFile(Sent("jobonly.fax"));
        }
        return sync_test::StateReply(id, kJobStateDelivered);
    }));
    doc->SentFaxes().Load();
    ASSERT_EQ(doc->SentRecords().size(), 3u);
    CStatusSync sync(*doc);
    EXPECT_EQ(sync.Synchronise(nullptr), 3);
    ASSERT_TRUE(PumpReplies(3));
    EXPECT_FALSE(platform::PathExists(Sent("gone.fax")));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("jobonly")).m_status, kJobStateDelivered);
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*OnDisk("kept")).m_status, kJobStateDelivered);
    EXPECT_TRUE(prompt.fileErrors.empty());

    doc->OnCloseDocument();
    CloseDoc();
    testing_support::FakePrompt again;
    testing_support::FakeFrame frame2;
    CVelquinDoc next(again, frame2);
    next.SentFaxes().Load();
    ASSERT_EQ(next.SentRecords().size(), 2u);
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*next.SentRecords()[0]).m_faxId, 12);
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*next.SentRecords()[1]).m_faxId, 13);
    EXPECT_FALSE(platform::PathExists(Sent("gone.fax")));
    EXPECT_TRUE(again.fileErrors.empty());
}

// FaxDir removed while the program runs: the printed list empties without an error box, the
// commands that write into FaxDir fail cleanly, and once the directory is back new prints are
// listed again and adding a document works.
TEST_F(VanishTest, PrintedDocumentsComeBackWhenFaxDirIsRecreated) {
    WriteFile(Fax("first.tif"), "II*");
    WriteFile(Fax("first.tag"), "Первый\r\n");
    OpenDoc();
    doc->Printed().Load();
    ASSERT_EQ(PrintedTitles(), std::vector<std::string>{"Первый"});

    std::filesystem::remove_all(root / "fax");
    doc->Printed().Load();
    EXPECT_TRUE(doc->Printed().Records().empty());
    EXPECT_TRUE(prompt.fileErrors.empty());
    // Forwarding a sent fax writes its name file into FaxDir: a file error naming it.
    WriteFile(Sent("old.tif"), "II*");
    doc->Printed().Forward("Счёт", Sent("old.tif"), nullptr);
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find(Fax("old.tag")), std::string::npos) << prompt.fileErrors[0];
    WriteFile(root / "added.pdf", "%PDF-1.4");
    prompt.SetNextFileName(root / "added.pdf");
    EXPECT_FALSE(doc->Printed().AddChosenFile());
    ASSERT_EQ(prompt.fileErrors.size(), 2u);
    EXPECT_EQ(prompt.fileErrors[1].rfind("Не удалось добавить " + (root / "added.pdf"), 0), 0u)
        << prompt.fileErrors[1];
    EXPECT_FALSE(platform::PathExists(root / "fax"))
        << "nothing makes a half directory behind the printer's back";

    ASSERT_EQ(platform::CreateDir(root / "fax"), 0);
    WriteFile(Fax("second.tif"), "II*");
    WriteFile(Fax("second.tag"), "Второй\r\n");
    doc->Printed().Load();
    EXPECT_EQ(PrintedTitles(), std::vector<std::string>{"Второй"});
    prompt.SetNextFileName(root / "added.pdf");
    EXPECT_TRUE(doc->Printed().AddChosenFile());
    doc->Printed().Forward("Счёт", Sent("old.tif"), nullptr);
    doc->Printed().Load();
    EXPECT_EQ(doc->Printed().Records().size(), 3u);
    EXPECT_EQ(prompt.fileErrors.size(), 2u);
    EXPECT_EQ(testing_support::ReadFileOrDie(Fax("old.tag")), platform::Utf8ToCp1251("FW: Счёт"));
}

} // namespace
