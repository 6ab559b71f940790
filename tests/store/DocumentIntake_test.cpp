#include "store/DocumentIntake.h"

#include "platform/Files.h"
#include "platform/SysInfo.h"
#include "store/Documents.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using testing_support::ReadFileOrDie;
using testing_support::TempDir;
using testing_support::WriteFile;

void SetMTime(const std::string& path, long seconds) {
    struct timeval tv[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimes(path.c_str(), tv), 0);
}

class DocumentIntakeTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetSystemVersionForTest(std::nullopt); }
    void UseVersion(int major) {
        platform::SetSystemVersionForTest(platform::SystemVersion{major, 0});
    }
    std::string Title(const DocumentList& docs, const std::string& name) {
        for (const auto& d : docs) {
            if (platform::BaseName(d->m_path) == name) {
                return d->m_title;
            }
        }
        ADD_FAILURE() << name << " not listed";
        return {};
    }
    TempDir dir;
    DocumentList docs;
};

TEST_F(DocumentIntakeTest, ListsAcceptedExtensionsOnlyOldestFirst) {
    WriteFile(dir / "b.TIF", "");
    WriteFile(dir / "a.pdf", "");
    WriteFile(dir / "c.docx", "");
    WriteFile(dir / "d.tag", "x");
    WriteFile(dir / "e.grp", "x");
    WriteFile(dir / "noext", "");
    WriteFile(dir / "f.shtml", "");
    ASSERT_EQ(platform::CreateDir(dir / "sub.pdf"), 0);
    SetMTime(dir / "b.TIF", 3000);
    SetMTime(dir / "a.pdf", 2000);
    SetMTime(dir / "f.shtml", 1000);
    UseVersion(6);
    LoadDocuments(docs, dir.Path());
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0]->m_path, dir / "f.shtml");
    EXPECT_EQ(docs[1]->m_path, dir / "a.pdf");
    EXPECT_EQ(docs[2]->m_path, dir / "b.TIF");
    EXPECT_EQ(docs[2]->m_time, 3000);
    EXPECT_EQ(docs[2]->m_unread, 1);
    EXPECT_EQ(docs[1]->m_title, "Загружено вручную: (a.pdf)");

    // A reload rebuilds from scratch.
    platform::DeleteFile(dir / "a.pdf");
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(docs.size(), 2u);
}

TEST_F(DocumentIntakeTest, NameFileTitlesPerSystemVersion) {
    WriteFile(dir / "crlf.tif", "");
    WriteFile(dir / "crlf.tag", "Счёт-фактура\r\nsecond line");
    WriteFile(dir / "cp.TIF", "");
    WriteFile(dir / "cp.TAG", "\xD1\xF7\xE5\xF2\n"); // "Счет" in Windows-1251
    WriteFile(dir / "tif.tif.pdf", "");
    WriteFile(dir / "tif.tif.tag", "by final extension");

    UseVersion(5);
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "crlf.tif"), "Счёт-фактура\r"); // one control character goes
    EXPECT_EQ(Title(docs, "cp.TIF"), "Счет");
    EXPECT_EQ(Title(docs, "tif.tif.pdf"), "by final extension");

    UseVersion(6);
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "crlf.tif"), "Счёт-фактура");
    EXPECT_EQ(Title(docs, "cp.TIF"), "Счет");
}

TEST_F(DocumentIntakeTest, FinishedPrintStatusBecomesTheNameFile) {
    // Printed while the program was closed: the first listing already shows the title.
    WriteFile(dir / "job.tif", "");
    WriteFile(dir / "job.grp",
              "[TW Ostrevo]\nPrint status=Printing finished successfully\nDocument name=Договор\n");
    UseVersion(6);
    LoadDocuments(docs, dir.Path());
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]->m_title, "Договор");
    EXPECT_EQ(ReadFileOrDie(dir / "job.tag"), "Договор");
    EXPECT_FALSE(platform::PathExists(dir / "job.grp"));

    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(docs[0]->m_title, "Договор");
}

TEST_F(DocumentIntakeTest, UnfinishedOrUnknownPrintStaysUntitled) {
    WriteFile(dir / "busy.tif", "");
    WriteFile(dir / "busy.grp", "[TW Ostrevo]\nPrint status=Printing\n");
    WriteFile(dir / "nostatus.tif", "");
    WriteFile(dir / "nostatus.grp", "[TW Ostrevo]\nDocument name=X\n");
    WriteFile(dir / "noname.tif", "");
    WriteFile(dir / "noname.grp", "[TW Ostrevo]\nPrint status=Printing finished successfully\n");
    UseVersion(6);
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "busy.tif"), "");
    EXPECT_EQ(Title(docs, "nostatus.tif"), "");
    EXPECT_TRUE(platform::PathExists(dir / "busy.grp"));
    EXPECT_TRUE(platform::PathExists(dir / "nostatus.grp"));
    EXPECT_FALSE(platform::PathExists(dir / "nostatus.tag"));
    EXPECT_EQ(ReadFileOrDie(dir / "noname.tag"), "Unknown document name");

    // The first variant does not know print status files.
    UseVersion(5);
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "busy.tif"), "Загружено вручную: (busy.tif)");
}

TEST_F(DocumentIntakeTest, LongNameLinesAreCutAtTheVariantLimit) {
    WriteFile(dir / "long.tif", "");
    WriteFile(dir / "long.tag", std::string(2000, 'n'));
    UseVersion(5);
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "long.tif").size(), 511u);
    UseVersion(6);
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "long.tif").size(), 1023u);
}

TEST_F(DocumentIntakeTest, AddedDocumentTakesAStemNoOtherDocumentUses) {
    // report.tif waits with its title; the user adds report.pdf, then another Report.PDF; a
    // printer's status file claims report_3.
    TempDir from;
    WriteFile(from / "report.pdf", "pdf");
    WriteFile(from / "Report.PDF", "second");
    WriteFile(dir / "report.tif", "tif");
    WriteFile(dir / "report.TAG", "Отчёт за май");
    WriteFile(dir / "report_3.grp", "[TW Ostrevo]\nPrint status=Printing\n");
    EXPECT_EQ(AddDocumentFile(from / "report.pdf", dir.Path()), 0);
    EXPECT_EQ(AddDocumentFile(from / "Report.PDF", dir.Path()), 0);
    EXPECT_EQ(ReadFileOrDie(dir / "report.tif"), "tif");
    EXPECT_EQ(ReadFileOrDie(dir / "report_2.pdf"), "pdf");
    EXPECT_EQ(ReadFileOrDie(dir / "Report_4.PDF"), "second");
    EXPECT_EQ(AddDocumentFile(from / "missing.pdf", dir.Path()), ENOENT);

    for (int version : {5, 6}) {
        UseVersion(version);
        LoadDocuments(docs, dir.Path());
        ASSERT_EQ(docs.size(), 3u);
        EXPECT_EQ(Title(docs, "report.tif"), "Отчёт за май");
        EXPECT_EQ(Title(docs, "report_2.pdf"), "Загружено вручную: (report_2.pdf)");
    }
    // Sending the PDF removes its own name file only: report.tif keeps its title.
    for (const auto& d : docs) {
        if (platform::BaseName(d->m_path) == "report_2.pdf") {
            EXPECT_EQ(d->DeleteFiles({}, nullptr), 0);
        }
    }
    LoadDocuments(docs, dir.Path());
    EXPECT_EQ(Title(docs, "report.tif"), "Отчёт за май");
}

TEST_F(DocumentIntakeTest, OddNameAndStatusFilesAreNotReadButListingGoesOn) {
    // A FIFO as name file would block the reader for ever; a status file linked to an endless
    // device would be read until memory runs out; a name file linked elsewhere is not followed.
    WriteFile(dir / "fifo.tif", "");
    ASSERT_EQ(::mkfifo((dir / "fifo.tag").c_str(), 0644), 0);
    WriteFile(dir / "zero.tif", "");
    ASSERT_EQ(::symlink("/dev/zero", (dir / "zero.grp").c_str()), 0);
    WriteFile(dir / "linked.tif", "");
    WriteFile(dir / "secret", "not a title");
    ASSERT_EQ(::symlink((dir / "secret").c_str(), (dir / "linked.tag").c_str()), 0);
    for (int version : {5, 6}) {
        UseVersion(version);
        LoadDocuments(docs, dir.Path());
        ASSERT_EQ(docs.size(), 3u);
        EXPECT_EQ(Title(docs, "linked.tif"), "Загружено вручную: (linked.tif)");
        EXPECT_EQ(Title(docs, "fifo.tif"), "Загружено вручную: (fifo.tif)");
    }
    EXPECT_EQ(Title(docs, "zero.tif"), "");
    EXPECT_FALSE(platform::PathExists(dir / "zero.tag"));
}

// The owner of a folder's documents tells every change with the document's key, in the order
// a reload would list them; a delete that fails is reported, keeps the record and tells
// nothing; a subscriber whose handle is gone hears nothing more.
TEST_F(DocumentIntakeTest, OwnerAnnouncesEachChangeByKeyUntilTheSubscriberGoes) {
    using Kind = CDocumentChange::Kind;
    UseVersion(6);
    WriteFile(dir / "Old.TIF", "II*");
    WriteFile(dir / "Old.tag", "Contract");
    SetMTime(dir / "Old.TIF", 1000);
    WriteFile(dir / "new.pdf", "%PDF");
    SetMTime(dir / "new.pdf", 2000);
    TempDir elsewhere;
    WriteFile(elsewhere / "scan.tif", "II*");
    testing_support::FakePrompt prompt;
    CDocuments documents(prompt, [this] { return dir.Path(); });
    std::vector<std::pair<Kind, std::string>> told;
    std::vector<std::string> titles;
    auto subscription = documents.Subscribe([&](const CDocumentChange& change) {
        told.emplace_back(change.kind, change.key);
        if (change.record != nullptr) {
            titles.push_back(change.record->m_title);
        }
    });
    auto keys = [](const auto& records) {
        std::vector<std::string> out;
        for (const auto& d : records) {
            out.push_back(FileKey(*d));
        }
        return out;
    };

    documents.Load();
    EXPECT_EQ(keys(documents.Records()), (std::vector<std::string>{"old.tif", "new.pdf"}));
    ASSERT_EQ(documents.AddFile(elsewhere / "scan.tif", "Scan"), 0);
    ASSERT_EQ(documents.AddFile(elsewhere / "scan.tif"), 0);
    EXPECT_EQ(documents.AddFile(elsewhere / "missing.tif"), ENOENT);
    EXPECT_EQ(keys(documents.Records()), keys(ReadDocuments(dir.Path()).records));
    EXPECT_EQ(titles, (std::vector<std::string>{"Scan", "Загружено вручную: (scan_2.tif)"}));

    // The image became a directory meanwhile: it cannot be deleted.
    ASSERT_EQ(platform::DeleteFile(dir / "new.pdf"), 0);
    ASSERT_EQ(platform::CreateDir(dir / "new.pdf"), 0);
    WriteFile(dir / "new.pdf/inside", "");
    EXPECT_FALSE(documents.Remove(documents.Find("new.pdf")));
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find(dir / "new.pdf"), std::string::npos);
    EXPECT_NE(documents.Find("new.pdf"), nullptr);

    EXPECT_TRUE(documents.Remove(documents.Find("old.tif")));
    EXPECT_FALSE(platform::PathExists(dir / "Old.TIF"));
    EXPECT_FALSE(platform::PathExists(dir / "Old.tag"));
    documents.MarkRead(*documents.Find("scan.tif"));
    documents.MarkRead(*documents.Find("scan.tif")); // read already: nothing to tell
    EXPECT_EQ(told, (std::vector<std::pair<Kind, std::string>>{{Kind::Reset, ""},
                                                               {Kind::Added, "scan.tif"},
                                                               {Kind::Added, "scan_2.tif"},
                                                               {Kind::Removed, "old.tif"},
                                                               {Kind::Changed, "scan.tif"}}));

    subscription.Reset();
    documents.Load();
    EXPECT_TRUE(documents.Remove(documents.Find("scan_2.tif")));
    EXPECT_EQ(told.size(), 5u);
}

} // namespace
