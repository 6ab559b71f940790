#include "store/VelquinDoc.h"

#include "addressbook/AddressBooks.h"
#include "addressbook/BookCommands.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"
#include "resources/Strings.h"
#include "store/ByteBuilder.h"
#include "store/sync/SyncFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

using testing_support::FakeFrame;
using testing_support::FakePrompt;
using testing_support::ReadFileOrDie;
using testing_support::TempDir;
using testing_support::WriteFile;

class VelquinDocTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(root.Path());
        ResetSettingsForTest();
        CSettings& s = Settings();
        s.DataDir = root / "data";
        s.FaxDir = root / "fax";
        for (const char* d :
             {"data", "data/SentFaxes", "data/ReceivedFaxes", "data/SavedFiles", "fax"}) {
            ASSERT_EQ(platform::CreateDir(root / d), 0);
        }
        CThreadControl::Instance().stopRequest = 0;
        CThreadControl::Instance().busy = 0;
        AddressBooks().Clear();
        AddressBooks().MakeCurrent(nullptr);
    }
    void TearDown() override { CThreadControl::Instance().stopRequest = 0; }

    std::string Sent(const std::string& name) { return root / ("data/SentFaxes/" + name); }

    // Writes a single-fax job file and an image beside it.
    void PutSingle(const std::string& stem, std::int64_t time, std::int32_t faxId,
                   const char* imageExt = ".tif") {
        CSingleFaxEntry e("title " + stem);
        e.m_time = time;
        e.m_faxId = faxId;
        e.m_recipient = "812" + std::to_string(faxId);
        e.m_path = Sent(stem + imageExt);
        WriteFile(Sent(stem + ".fax"), StoreRecord(e));
        WriteFile(e.m_path, "");
    }

    std::unique_ptr<CFaxEntryBase> ReadJob(const std::string& name) {
        return LoadSentRecord(ReadFileOrDie(Sent(name)));
    }

    TempDir root;
    FakePrompt prompt;
    FakeFrame frame;
};

TEST_F(VelquinDocTest, DamagedForeignEmptyAndOrphanJobFiles) {
    PutSingle("b", 300, 2);
    PutSingle("a", 100, 1);
    PutSingle("c", 200, 3);
    std::string good = ReadFileOrDie(Sent("c.fax"));
    WriteFile(Sent("trunc.fax"), good.substr(0, good.size() - 3));
    WriteFile(Sent("trunc.tif"), "");
    WriteFile(Sent("type4.fax"), ByteBuilder().I32(4).U16(3).Str("x").I64(0).Bytes());
    WriteFile(Sent("type4.tif"), "");
    WriteFile(Sent("empty.fax"), "");
    WriteFile(Sent("empty.tif"), "");
    PutSingle("orphan", 50, 9);
    platform::DeleteFile(Sent("orphan.tif"));

    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 3u);
    EXPECT_EQ(doc.SentRecords()[0]->m_title, "title a"); // oldest first
    EXPECT_EQ(doc.SentRecords()[1]->m_title, "title c");
    EXPECT_EQ(doc.SentRecords()[2]->m_title, "title b");
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find("trunc.fax"), std::string::npos);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_FALSE(platform::PathExists(Sent("orphan.fax")));
    for (const char* kept : {"trunc.fax", "type4.fax", "empty.fax", "a.fax"}) {
        EXPECT_TRUE(platform::PathExists(Sent(kept))) << kept;
    }
}

TEST_F(VelquinDocTest, ALargeStoreReadOnAWorkerKeepsItsOrderAndAFaxSentMeanwhile) {
    // More job files than one reader takes: ranges of the names are read by several threads.
    for (int i = 0; i < 2500; ++i) {
        char stem[16];
        std::snprintf(stem, sizeof stem, "j%04d", i);
        PutSingle(stem, 100 + i % 7, i + 1);
    }
    WriteFile(Sent("bad.fax"), "x");
    WriteFile(Sent("bad.tif"), "");
    // Job files whose names differ in case only share a key: the one sent later keeps it,
    // whichever reader found which. A job file naming another fax's image keeps its own.
    auto copyOf = [&](const std::string& stem, const std::string& of, std::int64_t time) {
        CSingleFaxEntry e("copy " + stem);
        e.m_time = time;
        e.m_path = Sent(of + ".tif");
        WriteFile(Sent(stem + ".fax"), StoreRecord(e));
        WriteFile(Sent(stem + ".tif"), "");
    };
    copyOf("J2499", "j2499", 50);  // older than j2499, read by the first reader
    copyOf("J2498", "j2498", 500); // newer than j2498, read by the first reader too
    copyOf("z-copy", "j0000", 500);
    CVelquinDoc doc(prompt, frame);
    const CSentStoreOptions options = CSentStoreOptions::FromSettings();
    auto read = std::async(std::launch::async, [&options] { return CSentFaxes::Read(options); });
    // A fax is sent while the store is read: the reading may or may not find its job file.
    PutSingle("sent", 9999, 99999);
    doc.SentFaxes().Add(ReadJob("sent.fax"));
    doc.SentFaxes().Adopt(read.get());

    const SentList& sent = doc.SentRecords();
    ASSERT_EQ(sent.size(), 2504u);
    EXPECT_EQ(doc.SentFaxes().Find("j2499.fax")->m_title, "title j2499");
    EXPECT_EQ(doc.SentFaxes().Find("j2498.fax")->m_title, "copy J2498");
    EXPECT_EQ(doc.SentFaxes().Find("j0000.fax")->m_title, "title j0000");
    EXPECT_EQ(doc.SentFaxes().Find("z-copy.fax")->m_title, "copy z-copy");
    // A reply finds its fax whichever reader indexed it, and the one sent meanwhile.
    EXPECT_EQ(doc.SentFaxes().ApplyJobStates({{1, 2}, {1250, 2}, {2500, 2}, {99999, 2}}), 4);
    EXPECT_EQ(sent.back()->m_title, "title sent");
    // Oldest first; equal times keep the order of the names.
    for (std::size_t i = 1; i < sent.size(); ++i) {
        const bool ordered =
            sent[i - 1]->m_time < sent[i]->m_time ||
            (sent[i - 1]->m_time == sent[i]->m_time && sent[i - 1]->m_title < sent[i]->m_title);
        ASSERT_TRUE(ordered) << sent[i - 1]->m_title << " before " << sent[i]->m_title;
    }
    // The damaged job file is reported once, when the entries are taken.
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find("bad.fax"), std::string::npos);
}

TEST_F(VelquinDocTest, PageFileImagesAndEqualTimesKeepTheirOrder) {
    PutSingle("Fax0001", 100, 1, "_0001.tif");
    PutSingle("Fax0002", 100, 2, ".TIF");
    PutSingle("Fax0003", 100, 3, "_0002.tif"); // only a second page: orphan
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 2u);
    EXPECT_EQ(doc.SentRecords()[0]->m_title, "title Fax0001");
    EXPECT_EQ(doc.SentRecords()[1]->m_title, "title Fax0002");
    EXPECT_FALSE(platform::PathExists(Sent("Fax0003.fax")));
}

TEST_F(VelquinDocTest, OldSentFaxesAreRemovedWithTheirCompanions) {
    PutSingle("old", 1, 1);
    WriteFile(Sent("old.FBL"), "list");
    WriteFile(Sent("unrelated.csv"), "1");
    Settings().DeleteSentAfterDays = true;
    Settings().SentDeleteDays = 30;
    {
        CVelquinDoc doc(prompt, frame);
        doc.SentFaxes().Load();
        EXPECT_EQ(doc.SentRecords().size(), 1u); // created just now
    }
    Settings().SentDeleteDays = 0;
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    EXPECT_TRUE(doc.SentRecords().empty());
    EXPECT_FALSE(platform::PathExists(Sent("old.tif")));
    EXPECT_FALSE(platform::PathExists(Sent("old.FBL")));
    EXPECT_FALSE(platform::PathExists(Sent("old.fax")));
    EXPECT_TRUE(platform::PathExists(Sent("unrelated.csv")));
}

// What the sent faxes' owner told, as "kind key" lines.
struct SentEvents {
    explicit SentEvents(CSentFaxes& sent)
        : subscription(sent.Subscribe([this](const CSentChange& c) {
              static const char* const kKinds[] = {"reset", "added", "changed", "removed"};
              seen.push_back(std::string(kKinds[static_cast<int>(c.kind)]) + " " + c.key);
          })) {}
    std::vector<std::string> seen;
    CSentFaxes::CSubscription subscription;
};

TEST_F(VelquinDocTest, OneBatchOfStatesChangesEveryKindAndTellsEachEntryOnce) {
    PutSingle("single", 1, 1000000001);
    CGroupFaxEntry list("list");
    list.m_listId = 2000000001;
    list.m_path = Sent("list.tif");
    list.m_time = 2;
    list.m_recipients.resize(2);
    list.m_recipients[0].m_faxId = 1000000002;
    list.m_recipients[1].m_faxId = 1000000003;
    WriteFile(Sent("list.fax"), StoreRecord(list));
    WriteFile(Sent("list.tif"), "");
    CPersonalFaxEntry pers("pers");
    pers.m_listId = 2000000002;
    pers.m_path = Sent("pers.tif");
    pers.m_time = 3;
    pers.m_recipients.resize(2);
    pers.m_recipients[0].m_faxId = 1000000004;
    pers.m_recipients[1].m_faxId = 1000000005;
    WriteFile(Sent("pers.FAX"), StoreRecord(pers));
    WriteFile(Sent("pers.tif"), "");

    CVelquinDoc doc(prompt, frame);
    SentEvents events(doc.SentFaxes());
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 3u);

    // Replies about each kind, one of them twice (the later one counts), and an unknown id.
    EXPECT_EQ(doc.SentFaxes().ApplyJobStates({{1000000001, 4},
                                              {2000000001, 6},
                                              {1000000004, 2},
                                              {1000000005, 3},
                                              {1000000001, 2},
                                              {42, 2}}),
              3);
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*ReadJob("single.fax")).m_status, 2);
    auto listBack = ReadJob("list.fax");
    EXPECT_EQ(dynamic_cast<CGroupFaxEntry&>(*listBack).m_status, 6);
    EXPECT_EQ(dynamic_cast<CGroupFaxEntry&>(*listBack).m_recipients[1].m_status, 6);
    auto persBack = ReadJob("pers.FAX"); // rewritten under its own name
    EXPECT_EQ(platform::ListMatching(root / "data/SentFaxes", "pers.fax").size(), 1u);
    EXPECT_EQ(dynamic_cast<CPersonalFaxEntry&>(*persBack).m_status, 3); // all final, one failed
    EXPECT_EQ(events.seen, (std::vector<std::string>{"reset ", "changed single.fax",
                                                     "changed list.fax", "changed pers.fax"}));
    EXPECT_TRUE(prompt.fileErrors.empty());
}

TEST_F(VelquinDocTest, AddedAndRemovedEntriesAreToldByTheirKeys) {
    CVelquinDoc doc(prompt, frame);
    SentEvents events(doc.SentFaxes());
    PutSingle("New", 5, 7);
    doc.SentFaxes().Add(ReadJob("New.fax"));
    ASSERT_EQ(doc.SentRecords().size(), 1u);
    EXPECT_EQ(doc.SentFaxes().Find("new.fax"), doc.SentRecords()[0].get());
    doc.SentFaxes().Remove(doc.SentRecords()[0].get());
    EXPECT_TRUE(doc.SentRecords().empty());
    EXPECT_FALSE(platform::PathExists(Sent("New.fax")));
    EXPECT_FALSE(platform::PathExists(Sent("New.tif")));
    EXPECT_EQ(events.seen, (std::vector<std::string>{"added new.fax", "removed new.fax"}));
    // A subscription ends with its handle.
    events.subscription.Reset();
    doc.SentFaxes().Load();
    EXPECT_EQ(events.seen.size(), 2u);
}

TEST_F(VelquinDocTest, ClosingWritesOnlyTheJobFilesOfEntriesChangedInPlace) {
    PutSingle("a", 1, 1);
    PutSingle("b", 2, 2);
    ASSERT_EQ(platform::MoveFile(Sent("b.fax"), Sent("b.FAX")), 0);
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 2u);
    // A job file that changed on disk meanwhile is not written over by an untouched entry.
    WriteFile(Sent("a.fax"), "changed elsewhere");
    doc.SentFaxes().MarkRead(*doc.SentRecords()[1]); // the user opened it
    doc.OnCloseDocument();
    EXPECT_EQ(platform::ListMatching(root / "data/SentFaxes", "*.fax").size(), 2u);
    EXPECT_EQ(AttachOf(*ReadJob("b.FAX"))->m_unread, 0);
    EXPECT_EQ(testing_support::ReadFileOrDie(Sent("a.fax")), "changed elsewhere");
    EXPECT_TRUE(prompt.fileErrors.empty());
}

std::string WaitForFile(const std::string& path);

TEST_F(VelquinDocTest, ForwardToNewFaxTitlesAndNeverOverwrites) {
    // A printed document of the same file name waits in FaxDir with its title.
    PutSingle("fwd", 1, 5);
    WriteFile(root / "fax/fwd.tif", "waiting");
    WriteFile(root / "fax/fwd.tag", "Ждёт отправки");
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    auto& single = dynamic_cast<CSingleFaxEntry&>(*doc.SentRecords()[0]);
    doc.Printed().Forward("Счёт", single.m_path, &single);
    doc.Printed().Forward("", single.m_path, &single);
    doc.Printed().Forward("", single.m_path, nullptr);
    doc.Printed().Forward("x", "", &single);
    EXPECT_EQ(ReadFileOrDie(root / "fax/fwd.tif"), "waiting");
    EXPECT_EQ(ReadFileOrDie(root / "fax/fwd.tag"), "Ждёт отправки");
    EXPECT_EQ(ReadFileOrDie(root / "fax/fwd_2.tag"), "FW: \xD1\xF7\xB8\xF2");
    EXPECT_EQ(ReadFileOrDie(root / "fax/fwd_3.tag"), "FW: Fax on 8125");
    EXPECT_EQ(ReadFileOrDie(root / "fax/fwd_4.tag"), "");
    EXPECT_FALSE(platform::PathExists(root / "fax/fwd_5.tag"));
    for (const char* copy : {"fax/fwd_2.tif", "fax/fwd_3.tif", "fax/fwd_4.tif"}) {
        EXPECT_TRUE(platform::PathExists(root / copy)) << copy;
    }

    platform::SetSystemVersionForTest(platform::SystemVersion{6, 2});
    doc.Printed().Load();
    ASSERT_EQ(doc.Printed().Records().size(), 4u);
    std::vector<std::string> titles;
    for (const auto& d : doc.Printed().Records()) {
        titles.push_back(d->m_title);
    }
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles,
              (std::vector<std::string>{"", "FW: Fax on 8125", "FW: Счёт", "Ждёт отправки"}));
    platform::SetSystemVersionForTest(std::nullopt);

    // A copy that cannot be made leaves no name file behind and is reported.
    doc.Printed().Forward("Нет", Sent("gone.tif"), nullptr);
    EXPECT_FALSE(platform::PathExists(root / "fax/gone.tag"));
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find(Sent("gone.tif")), std::string::npos);
}

TEST_F(VelquinDocTest, SentEntryWithAnotherKindOfCopySurvivesRestarts) {
    // A PDF added by hand and sent as it is: its copy in SentFaxes keeps the extension.
    PutSingle("report5F3A", 10, 1, ".pdf");
    // Job files whose named file is no copy of theirs are orphans as before.
    PutSingle("other", 20, 2, ".pdf");
    platform::DeleteFile(Sent("other.pdf"));
    WriteFile(Sent("stranger.pdf"), "");
    {
        CSingleFaxEntry e("self");
        e.m_path = Sent("self.fax");
        WriteFile(Sent("self.fax"), StoreRecord(e));
    }
    {
        CSingleFaxEntry e("foreign");
        e.m_path = Sent("stranger.pdf");
        WriteFile(Sent("foreign.fax"), StoreRecord(e));
    }
    for (int start = 0; start < 2; ++start) {
        CVelquinDoc doc(prompt, frame);
        doc.SentFaxes().Load();
        doc.OnCloseDocument();
        ASSERT_EQ(doc.SentRecords().size(), 1u);
        EXPECT_EQ(doc.SentRecords()[0]->m_title, "title report5F3A");
    }
    EXPECT_TRUE(platform::PathExists(Sent("report5F3A.fax")));
    for (const char* orphan : {"other.fax", "self.fax", "foreign.fax"}) {
        EXPECT_FALSE(platform::PathExists(Sent(orphan))) << orphan;
    }
    EXPECT_TRUE(prompt.fileErrors.empty());
}

TEST_F(VelquinDocTest, DeleteAndViewStayInsideTheStore) {
    // The store was restored into a new DataDir: the job files still name the old place, where
    // another copy of the store lives on. A job file edited to name a document elsewhere.
    const std::string oldSent = root / "old/SentFaxes";
    ASSERT_EQ(platform::CreateDir(root / "old"), 0);
    ASSERT_EQ(platform::CreateDir(oldSent), 0);
    WriteFile(root / "precious.tif", "mine");
    CSingleFaxEntry single("single");
    single.m_time = 1;
    single.m_path = root / "precious.tif";
    WriteFile(Sent("precious.fax"), StoreRecord(single));
    CGroupFaxEntry list("list");
    list.m_time = 2;
    list.m_path = oldSent + "/List.TIF";
    WriteFile(Sent("list.fax"), StoreRecord(list));
    CPersonalFaxEntry personal("personal");
    personal.m_time = 3;
    personal.m_path = oldSent + "/mail.FAX";
    personal.m_recipients.resize(2);
    personal.m_recipients[0].m_path = oldSent + "/mail_0001.tif";
    personal.m_recipients[1].m_path = oldSent + "/../../precious.tif";
    WriteFile(Sent("mail.FAX"), StoreRecord(personal));
    for (const char* name : {"precious.tif", "list.tif", "list.fbl", "mail_0001.tif"}) {
        WriteFile(Sent(name), "new place");
        WriteFile(oldSent + "/" + name, "old place");
    }
    const auto oldBefore = platform::ListDir(oldSent).size();

    ASSERT_EQ(platform::CreateDir(root / "prog"), 0);
    WriteFile(root / "prog/opener",
              "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.out.tmp\"\nmv \"$0.out.tmp\" \"$0.out\"\n");
    ASSERT_EQ(::chmod((root / "prog/opener").c_str(), 0755), 0);
    ::setenv("VELQUIN_OPENER", (root / "prog/opener").c_str(), 1);
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 3u);
    EXPECT_TRUE(doc.Viewers().ShowSentFile(*AttachOf(*doc.SentRecords()[1])));
    ::unsetenv("VELQUIN_OPENER");

    while (!doc.SentRecords().empty()) {
        ASSERT_TRUE(doc.SentFaxes().Remove(doc.SentRecords()[0].get()));
    }
    EXPECT_TRUE(platform::ListDir(Sent("")).empty());
    EXPECT_EQ(ReadFileOrDie(root / "precious.tif"), "mine");
    EXPECT_EQ(platform::ListDir(oldSent).size(), oldBefore);
    EXPECT_TRUE(prompt.fileErrors.empty());
    EXPECT_EQ(WaitForFile(root / "prog/opener.out"), Sent("list.tif"));
}
// Waits for a file a started program writes (the program runs detached).
std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000 && !platform::PathExists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string text;
    platform::ReadFile(path, text);
    return text;
}

TEST_F(VelquinDocTest, ShowFilePassesThePathAsOneArgument) {
    ASSERT_EQ(platform::CreateDir(root / "prog"), 0);
    const std::string script = "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$0.out.tmp\"\n"
                               "mv \"$0.out.tmp\" \"$0.out\"\n";
    WriteFile(root / "prog/TWTiffView", script);
    ASSERT_EQ(::chmod((root / "prog/TWTiffView").c_str(), 0755), 0);
    WriteFile(root / "prog/opener", script);
    ASSERT_EQ(::chmod((root / "prog/opener").c_str(), 0755), 0);
    Settings().ProgDir = root / "prog";
    CVelquinDoc doc(prompt, frame);
    CFaxDocument image(root / "fax/my \"odd\" name.tif", 0, "");
    WriteFile(image.m_path, "II*");

    Settings().UseOwnViewer = true;
    EXPECT_TRUE(doc.Viewers().ShowFile(image));
    EXPECT_EQ(WaitForFile(root / "prog/TWTiffView.out"), "1|" + image.m_path);

    Settings().UseOwnViewer = false;
    ::setenv("VELQUIN_OPENER", (root / "prog/opener").c_str(), 1);
    EXPECT_TRUE(doc.Viewers().ShowFile(image));
    EXPECT_EQ(WaitForFile(root / "prog/opener.out"), "1|" + image.m_path);

    // A document that is no fax image goes to the desktop's program even when the own viewer
    // is chosen.
    platform::DeleteFile(root / "prog/opener.out");
    Settings().UseOwnViewer = true;
    CFaxDocument pdf(root / "fax/report.PDF", 0, "");
    WriteFile(pdf.m_path, "%PDF-1.4");
    EXPECT_TRUE(doc.Viewers().ShowFile(pdf));
    EXPECT_EQ(WaitForFile(root / "prog/opener.out"), "1|" + pdf.m_path);
    ::unsetenv("VELQUIN_OPENER");
}

// The received faxes are read on a worker, which reports nothing; the GUI thread adopts them,
// reports the damaged job file and announces the new list.
TEST_F(VelquinDocTest, ReceivedFaxesReadOnAWorkerAndAdopted) {
    CReceivedFax fax(root / "data/ReceivedFaxes/In.tif");
    fax.m_from = "4951112233";
    CArchive ar;
    fax.Serialize(ar);
    WriteFile(root / "data/ReceivedFaxes/in.fax", ar.Buffer());
    WriteFile(root / "data/ReceivedFaxes/bad.fax", ar.Buffer().substr(0, 5));
    CVelquinDoc doc(prompt, frame);
    std::vector<CRecordChange<CReceivedFax>::Kind> told;
    auto subscription = doc.Received().Subscribe(
        [&](const CRecordChange<CReceivedFax>& change) { told.push_back(change.kind); });
    auto read = std::async(std::launch::async, ReadReceivedFaxes, doc.Received().Directory());
    CFolderRead<CReceivedFax> found = read.get();
    EXPECT_TRUE(prompt.fileErrors.empty());
    EXPECT_TRUE(told.empty());
    doc.Received().Adopt(std::move(found));
    ASSERT_EQ(doc.Received().Records().size(), 1u);
    ASSERT_NE(doc.Received().Find("in.tif"), nullptr);
    EXPECT_EQ(doc.Received().Find("in.tif")->m_from, "4951112233");
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find(root / "data/ReceivedFaxes/bad.fax"), std::string::npos);
    EXPECT_EQ(told, std::vector{CRecordChange<CReceivedFax>::Kind::Reset});
}

TEST_F(VelquinDocTest, LoadStoreLoadsEverythingAndTheBooksArriveAsOneReset) {
    PutSingle("s", 1, 1);
    WriteFile(root / "fax/p.tif", "");
    CVelquinDoc doc(prompt, frame);
    std::vector<CBookChange::Kind> books;
    auto bookChanges =
        AddressBooks().Subscribe([&](const CBookChange& c) { books.push_back(c.kind); });
    std::vector<std::string> loaded;
    auto printed = doc.Printed().Subscribe([&](const CDocumentChange&) { loaded.push_back("p"); });
    auto saved = doc.Saved().Subscribe([&](const CDocumentChange&) { loaded.push_back("s"); });
    auto received = doc.Received().Subscribe(
        [&](const CRecordChange<CReceivedFax>&) { loaded.push_back("r"); });
    EXPECT_TRUE(loaded.empty());
    doc.LoadStore();
    doc.WaitForStore();
    AddressBooks().WaitForLoader();
    EXPECT_TRUE(doc.StoreLoaded());
    EXPECT_EQ(loaded, (std::vector<std::string>{"p", "s", "r"}));
    // The default book is made in the hand-over, which the book views hear as one reset.
    EXPECT_EQ(books, std::vector{CBookChange::Kind::Reset});
    EXPECT_EQ(doc.SentRecords().size(), 1u);
    EXPECT_EQ(doc.Printed().Records().size(), 1u);
    EXPECT_EQ(frame.AddressBooksLoadedCount(), 1);
    ASSERT_EQ(AddressBooks().size(), 1u);
    EXPECT_EQ(AddressBooks()[0]->m_name, "Мои Контакты");
    EXPECT_EQ(CurrentBook(), AddressBooks()[0]);
    doc.LoadStore(); // no second load
    EXPECT_EQ(frame.AddressBooksLoadedCount(), 1);
}

TEST_F(VelquinDocTest, LoaderReadsBooksReportsDamageAndCloseWritesThemBack) {
    ASSERT_EQ(platform::CreateDir(root / "data/AddressBook"), 0);
    CAddrBook book("Партнёры");
    book.AddEntry(std::make_unique<CContactEntry>("88123520809"));
    const Guid bookGuid = book.m_guid;
    WriteFile(root / "data/AddressBook/a.abk", WriteBook(book));
    WriteFile(root / "data/AddressBook/b.abk", WriteBook(book).substr(0, 30));
    WriteFile(root / "data/AddressBook/c.ABK", "\x01\x02not a book");
    {
        CVelquinDoc doc(prompt, frame);
        AddressBooks().StartLoader();
        AddressBooks().WaitForLoader();
        EXPECT_FALSE(AddressBooks().LoaderBusy());
        ASSERT_EQ(AddressBooks().size(), 1u);
        EXPECT_EQ(AddressBooks()[0]->m_name, "Партнёры");
        ASSERT_EQ(prompt.fileErrors.size(), 1u);
        EXPECT_NE(prompt.fileErrors[0].find("b.abk"), std::string::npos);
        EXPECT_EQ(CThreadControl::Instance().busy.load(), 0);

        AddressBooks().Rename(*AddressBooks()[0], "Изменено");
        EXPECT_TRUE(doc.CanCloseFrame());
        EXPECT_EQ(CThreadControl::Instance().stopRequest.load(), 2);
        doc.OnCloseDocument();
    }
    EXPECT_TRUE(AddressBooks().empty());
    // Written where it was read: no file under its GUID name appears beside it.
    EXPECT_FALSE(platform::PathExists(book.GetFilePath()));
    auto saved = ReadBook(ReadFileOrDie(root / "data/AddressBook/a.abk"));
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_guid, bookGuid);
    EXPECT_EQ(saved->m_name, "Изменено");

    // The next start reads it from there, and the book, unchanged, is not written again on
    // exit (the same file, not a new one).
    prompt.fileErrors.clear();
    CThreadControl::Instance().stopRequest = 0;
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat((root / "data/AddressBook/a.abk").c_str(), &before), 0);
    {
        CVelquinDoc doc(prompt, frame);
        AddressBooks().StartLoader();
        AddressBooks().WaitForLoader();
        ASSERT_EQ(AddressBooks().size(), 1u);
        EXPECT_EQ(AddressBooks()[0]->m_name, "Изменено");
        EXPECT_TRUE(doc.CanCloseFrame());
        doc.OnCloseDocument();
    }
    ASSERT_EQ(::stat((root / "data/AddressBook/a.abk").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

// Files that only carry a store file's name: a FIFO (its open waited for ever: the books never
// arrived and the close never ended), a link to /dev/zero (read until memory ran out), a sparse
// file past the cap. Each is named once, the rest loads and the close ends.
TEST_F(VelquinDocTest, StoreFilesThatAreNoFilesAreToldAndTheRestLoads) {
    PutSingle("good", 1, 1);
    ASSERT_EQ(platform::CreateDir(root / "data/AddressBook"), 0);
    WriteFile(root / "data/AddressBook/good.abk", WriteBook(*std::make_unique<CAddrBook>("Ок")));
    const std::string books = root / "data/AddressBook/", received = root / "data/ReceivedFaxes/";
    std::vector<std::string> expected;
    for (const std::string& path : {Sent("fifo.fax"), received + "fifo.fax", books + "fifo.abk"}) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        expected.push_back(FormatString(LoadString(9446), path));
    }
    for (const std::string& path : {Sent("zero.fax"), books + "zero.abk"}) {
        ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
        expected.push_back(FormatString(LoadString(9446), path));
    }
    WriteFile(Sent("huge.fax"), "");
    ASSERT_EQ(::truncate(Sent("huge.fax").c_str(), platform::kArchiveFileCap + 1), 0);
    expected.push_back(FormatString(LoadString(9434), Sent("huge.fax"), std::strerror(EFBIG)));
    for (const char* image : {"fifo.tif", "zero.tif", "huge.tif"}) {
        WriteFile(Sent(image), ""); // job files with their images: read, not orphans
    }
    CVelquinDoc doc(prompt, frame);
    doc.LoadStore();
    doc.WaitForStore();
    AddressBooks().WaitForLoader();
    EXPECT_EQ(doc.SentRecords().size(), 1u);
    ASSERT_EQ(AddressBooks().size(), 1u);
    EXPECT_EQ(AddressBooks()[0]->m_name, "Ок");
    std::sort(expected.begin(), expected.end());
    std::sort(prompt.fileErrors.begin(), prompt.fileErrors.end());
    EXPECT_EQ(prompt.fileErrors, expected);
    EXPECT_TRUE(doc.CanCloseFrame());
    doc.OnCloseDocument();
}

// A frame whose GUI thread is "busy" until released, to hold the loader mid-way.
class GatedFrame : public FakeFrame {
public:
    bool RunOnGuiThread(const std::function<void()>& work) override {
        gate.wait();
        return FakeFrame::RunOnGuiThread(work);
    }
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
};

TEST_F(VelquinDocTest, ClosingWhileBooksLoadAsksFirst) {
    GatedFrame gated;
    CVelquinDoc doc(prompt, gated);
    AddressBooks().StartLoader();
    ASSERT_TRUE(AddressBooks().LoaderBusy());
    prompt.SetNextAnswer(MsgAnswer::No);
    EXPECT_FALSE(doc.CanCloseFrame());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(CThreadControl::Instance().stopRequest.load(), 0);
    prompt.SetNextAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(doc.CanCloseFrame());
    gated.open.set_value();
    doc.OnCloseDocument();
    EXPECT_FALSE(AddressBooks().LoaderBusy());
}

TEST_F(VelquinDocTest, ABookNotReadWholeIsToldOnceAndNeverWritten) {
    ASSERT_EQ(platform::CreateDir(root / "data/AddressBook"), 0);
    // Two contacts with a record of a kind the reader does not know in place of the second:
    // it stops there, and the second contact is only in the file.
    CAddrBook book("Клиенты");
    book.AddEntry(std::make_unique<CContactEntry>("88123520809"));
    const std::size_t secondRecord = WriteBook(book).size();
    book.AddEntry(std::make_unique<CContactEntry>("84951234567"));
    std::string bytes = WriteBook(book);
    bytes[secondRecord] = 9;
    const std::string path = root / ("data/AddressBook/" + book.FileName());
    WriteFile(path, bytes);
    {
        CVelquinDoc doc(prompt, frame);
        AddressBooks().SetSaveDelay(std::chrono::milliseconds(0));
        AddressBooks().StartLoader();
        AddressBooks().WaitForLoader();
        ASSERT_EQ(AddressBooks().size(), 1u);
        EXPECT_EQ(AddressBooks()[0]->Size(), 1u);
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_NE(prompt.messages[0].text.find(path), std::string::npos);
        EXPECT_EQ(prompt.messages[0].icon, MsgIcon::Warning);

        // Opened again by hand: the loaded book is kept and said to be that book.
        WriteFile(root / "copy.abk", bytes);
        EXPECT_EQ(OpenBookFile(root / "copy.abk", prompt, &frame), AddressBooks()[0]);
        // An edit, the background save's delay and the close leave the file as it is.
        AddressBooks()[0]->AddEntry(std::make_unique<CContactEntry>("88120000000"));
        EXPECT_TRUE(doc.CanCloseFrame());
        doc.OnCloseDocument();
    }
    EXPECT_EQ(ReadFileOrDie(path), bytes);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_NE(prompt.messages[1].text.find(root / "copy.abk"), std::string::npos);
    EXPECT_TRUE(prompt.fileErrors.empty());
}

TEST_F(VelquinDocTest, ABookWhoseIdIsLoadedIsFocusedNotLoadedTwice) {
    ASSERT_EQ(platform::CreateDir(root / "data/AddressBook"), 0);
    CAddrBook book("Партнёры");
    book.AddEntry(std::make_unique<CContactEntry>("88123520809"));
    CAddrBook other("Другая");
    // Two copies filed by hand under other names, neither under the book's own name.
    WriteFile(root / "data/AddressBook/a-copy.abk", WriteBook(book));
    book.m_name = "Партнёры (старая копия)";
    WriteFile(root / "data/AddressBook/b-copy.abk", WriteBook(book));
    const struct timespec longAgo[2] = {{1000000, 0}, {1000000, 0}}; // the older file
    ASSERT_EQ(::utimensat(AT_FDCWD, (root / "data/AddressBook/b-copy.abk").c_str(), longAgo, 0), 0);
    WriteFile(root / "data/AddressBook/other.abk", WriteBook(other));
    WriteFile(root / "elsewhere.abk", WriteBook(book));
    {
        CVelquinDoc doc(prompt, frame);
        AddressBooks().StartLoader();
        AddressBooks().WaitForLoader();
        ASSERT_EQ(AddressBooks().size(), 2u);
        CAddrBook* loaded = FindBook(book.m_guid);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->m_name, "Партнёры");
        AddressBooks().MakeCurrent(FindBook(other.m_guid));

        // "Открыть" on a third copy: the loaded book becomes current, no second one appears.
        EXPECT_EQ(OpenBookFile(root / "elsewhere.abk", prompt, &frame), loaded);
        EXPECT_EQ(AddressBooks().size(), 2u);
        EXPECT_EQ(CurrentBook(), loaded);
        loaded->AddEntry(std::make_unique<CContactEntry>("84951234567"));
        EXPECT_TRUE(doc.CanCloseFrame());
        doc.OnCloseDocument();
    }
    auto saved = ReadBook(ReadFileOrDie(root / "data/AddressBook/a-copy.abk"));
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_name, "Партнёры");
    EXPECT_EQ(saved->Size(), 2u);
    ASSERT_EQ(prompt.messages.size(), 1u); // "a copy of a loaded book"
    EXPECT_NE(prompt.messages[0].text.find("elsewhere.abk"), std::string::npos);
}

TEST_F(VelquinDocTest, CommittedEditsAreSavedSoonWhileTheGuiGoesOn) {
    // Workers hand their work to this thread, so book data is only ever touched here.
    sync_test::GuiQueueFrame gui;
    CVelquinDoc doc(prompt, gui);
    AddressBooks().SetSaveDelay(std::chrono::milliseconds(5));
    AddressBooks().StartLoader();
    ASSERT_TRUE(gui.PumpUntil([&](int) { return !AddressBooks().LoaderBusy(); }));
    AddressBooks().WaitForLoader();
    ASSERT_EQ(AddressBooks().size(), 1u);
    const std::string path = CurrentBook()->GetFilePath();
    auto contactsOnDisk = [&] {
        std::string bytes;
        std::unique_ptr<CAddrBook> b;
        if (platform::ReadFile(path, bytes) == 0) {
            b = ReadBook(bytes);
        }
        int contacts = -1;
        int groups = 0;
        if (b) {
            CountEntries(*b, contacts, groups);
        }
        return contacts;
    };
    auto newContact = [](const std::string& number) {
        return RunNewContactCommand(
            [&](CContactEdit& e) {
                e.number = number;
                e.areaCode = "812";
                return e.Apply();
            },
            nullptr);
    };

    // The contact dialog's OK: the book is on disk soon after, with no close.
    ASSERT_NE(newContact("3520809"), nullptr);
    ASSERT_TRUE(gui.PumpUntil([&](int) { return contactsOnDisk() == 1; }));

    // Edits go on while earlier ones are being written.
    for (int i = 0; i < 300; ++i) {
        ASSERT_NE(newContact(std::to_string(1000000 + i)), nullptr);
        if (i % 30 == 0) {
            gui.PumpUntil([](int) { return true; });
            std::this_thread::yield();
        }
    }
    ASSERT_TRUE(gui.PumpUntil([&](int) { return contactsOnDisk() == 301; }));
    // A group filed, then deleted from the tree; a contact edited in place.
    auto groupsOnDisk = [&] {
        std::string bytes;
        int contacts = 0;
        int groups = -1;
        if (platform::ReadFile(path, bytes) == 0) {
            if (auto b = ReadBook(bytes)) {
                CountEntries(*b, contacts, groups);
            }
        }
        return groups;
    };
    auto g = std::make_unique<CGroupEntry>("Клиенты");
    const Guid group = g->m_guid;
    CurrentBook()->AddEntry(std::move(g));
    ASSERT_TRUE(gui.PumpUntil([&](int) { return groupsOnDisk() == 1; }));
    AddressBooks().Delete(group);
    ASSERT_TRUE(gui.PumpUntil([&](int) { return groupsOnDisk() == 0; }));
    CContactEntry* first = static_cast<CContactEntry*>(CurrentBook()->Entries().front());
    CContactEdit edit(first);
    edit.person = "Иванов";
    ASSERT_TRUE(edit.Apply());
    edit.CopyBackInto(*first);
    ASSERT_TRUE(gui.PumpUntil([&](int) {
        std::string bytes;
        return platform::ReadFile(path, bytes) == 0 &&
               bytes.find("\xC8\xE2\xE0\xED\xEE\xE2") != std::string::npos;
    }));
    EXPECT_TRUE(prompt.fileErrors.empty());

    gui.Shutdown();
    EXPECT_TRUE(doc.CanCloseFrame());
    doc.OnCloseDocument();
    EXPECT_EQ(contactsOnDisk(), 301);
}

TEST_F(VelquinDocTest, StatusWorkersQueryThenApplyInOrder) {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::int32_t> applied;
    CStatusWorkers::CSteps steps;
    steps.query = [](std::int32_t id, const ServiceEndpoint&) -> CStatusWorkers::Reply {
        if (id == 0) {
            return nullptr; // no tree
        }
        return std::make_shared<std::int32_t>(id * 10);
    };
    steps.apply = [&](CSentFaxes&, std::vector<CStatusWorkers::Reply> replies) {
        std::lock_guard<std::mutex> lock(m);
        for (const auto& reply : replies) {
            applied.push_back(*static_cast<std::int32_t*>(reply.get()));
        }
        cv.notify_all();
    };
    CVelquinDoc doc(prompt, frame, steps);
    for (std::int32_t id : {1, 0, 2, 3}) {
        doc.Status().QueueQuery(id);
    }
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return applied.size() == 3; });
    EXPECT_EQ(applied, (std::vector<std::int32_t>{10, 20, 30}));
}

} // namespace
