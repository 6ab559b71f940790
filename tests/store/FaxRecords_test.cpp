#include "store/FaxRecords.h"

#include "platform/Files.h"
#include "store/ByteBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// "Отчёт" in Windows-1251.
const std::string kCpTitle = "\xCE\xF2\xF7\xB8\xF2";

CFaxEntry SampleEntry(std::int32_t faxId) {
    CFaxEntry e;
    e.m_recipient = "88123520809";
    e.m_recipientLabel = "ООО Ромашка";
    e.m_serverId = "S-" + std::to_string(faxId);
    e.m_faxId = faxId;
    e.m_status = 2;
    e.m_created = 1700000000;
    e.m_lastAttempt = 1700000100;
    e.m_pages = 3;
    e.m_attempts.push_back({1, 0, 12345, 1700000050});
    return e;
}

// The CFaxEntry part of SampleEntry as it must appear in a file.
ByteBuilder& AppendSampleEntry(ByteBuilder& b, std::int32_t faxId) {
    std::string server = "S-" + std::to_string(faxId);
    return b.U16(5)
        .Str("88123520809")
        .I64(1700000000)
        .I64(1700000100)
        .I32(3)
        .I32(1)
        .I32(1)
        .I32(0)
        .I32(12345)
        .I64(1700000050)
        .Str(server)
        .I32(faxId)
        .I32(2)
        .Str("\xCE\xCE\xCE \xD0\xEE\xEC\xE0\xF8\xEA\xE0");
}

TEST(FaxRecordLayoutTest, SingleFaxIsWrittenFieldByField) {
    CSingleFaxEntry single("Отчёт");
    single.m_time = 0x0102030405060708LL;
    static_cast<CFaxEntry&>(single) = SampleEntry(1000000007);
    single.m_path = "/data/SentFaxes/Fax0000ABCD.TIF";
    single.m_unread = 0;

    ByteBuilder expected;
    expected.I32(1).U16(3).Str(kCpTitle).I64(0x0102030405060708LL);
    AppendSampleEntry(expected, 1000000007);
    expected.U16(2).Str("/data/SentFaxes/Fax0000ABCD.TIF").U8(0).U16(1);
    EXPECT_EQ(StoreRecord(single), expected.Bytes());

    auto loaded = LoadSentRecord(expected.Bytes());
    ASSERT_NE(loaded, nullptr);
    auto* s = dynamic_cast<CSingleFaxEntry*>(loaded.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_title, "Отчёт");
    EXPECT_EQ(s->m_recipientLabel, "ООО Ромашка");
    EXPECT_EQ(s->m_attempts, single.m_attempts);
    EXPECT_EQ(s->m_path, single.m_path);
    EXPECT_EQ(s->m_unread, 0);
}

TEST(FaxRecordLayoutTest, ListsAndReceivedFaxes) {
    ByteBuilder list;
    list.I32(2)
        .U16(3)
        .Str("L")
        .I64(5)
        .U16(2)
        .Str("/s/L.tif")
        .U8(1)
        .U16(2)
        .I32(2000000001)
        .I32(-1)
        .I32(2);
    AppendSampleEntry(list, 11);
    AppendSampleEntry(list, 12);
    auto rec = LoadSentRecord(list.Bytes());
    auto* group = dynamic_cast<CGroupFaxEntry*>(rec.get());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->m_listId, 2000000001);
    ASSERT_EQ(group->m_recipients.size(), 2u);
    EXPECT_EQ(group->m_recipients[1].m_faxId, 12);
    EXPECT_EQ(StoreRecord(*group), list.Bytes());
    // Written recipient by recipient, the same bytes; then the header again after the answer.
    CGroupFaxEntry header = *group;
    header.m_recipients.clear();
    CListRecordBytes built(header, 0);
    for (CFaxEntry& r : group->m_recipients) {
        built.Add(r);
    }
    EXPECT_EQ(built.Finish(header), list.Bytes());
    header.m_listId = group->m_listId = 2000000002;
    header.m_status = group->m_status = 0;
    built.WriteHeader(header);
    EXPECT_EQ(built.Bytes(), StoreRecord(*group));

    ByteBuilder personal;
    personal.I32(3).U16(3).Str("P").I64(6).U16(2).Str("/s/P.tif").U8(1).U16(1).I32(7).I32(0).I32(1);
    AppendSampleEntry(personal, 21).U16(2).Str("/m/P_0001.tif").U8(1);
    rec = LoadSentRecord(personal.Bytes());
    auto* pers = dynamic_cast<CPersonalFaxEntry*>(rec.get());
    ASSERT_NE(pers, nullptr);
    ASSERT_EQ(pers->m_recipients.size(), 1u);
    EXPECT_EQ(pers->m_recipients[0].m_path, "/m/P_0001.tif");
    EXPECT_EQ(StoreRecord(*pers), personal.Bytes());

    ByteBuilder received;
    received.Str("to")
        .Str("from")
        .Str("srv")
        .I32(4)
        .I32(60)
        .I64(1700000000)
        .U16(2)
        .Str("/r/a.tif")
        .U8(1)
        .Str("F-1");
    CReceivedFax fax;
    CArchive in(received.Bytes());
    fax.Serialize(in);
    EXPECT_EQ(fax.m_from, "from");
    EXPECT_EQ(fax.m_duration, 60);
    EXPECT_EQ(fax.m_faxId, "F-1");
    CArchive out;
    fax.Serialize(out);
    EXPECT_EQ(out.Buffer(), received.Bytes());
}

TEST(FaxRecordLayoutTest, OlderVersionsReadAsDefined) {
    // Base version 2 (4-byte time), entry version 2 (server id only), attach version 1.
    ByteBuilder v2;
    v2.I32(1)
        .U16(2)
        .Str("old")
        .I32(1000)
        .U16(2)
        .Str("123")
        .I32(10)
        .I32(20)
        .I32(1)
        .I32(0)
        .Str("srv")
        .U16(1)
        .Str("/s/old.tif")
        .U16(1);
    auto rec = LoadSentRecord(v2.Bytes());
    auto* s = dynamic_cast<CSingleFaxEntry*>(rec.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_time, 1000);
    EXPECT_EQ(s->m_created, 10);
    EXPECT_EQ(s->m_lastAttempt, 20);
    EXPECT_EQ(s->m_serverId, "srv");
    EXPECT_EQ(s->m_faxId, 0);
    EXPECT_EQ(s->m_status, -1);
    EXPECT_EQ(s->m_recipientLabel, "");
    EXPECT_EQ(s->m_path, "/s/old.tif");
    EXPECT_EQ(s->m_unread, 0);

    // Version 0 pieces carry nothing; a list of version 1 ends after its version.
    ByteBuilder list;
    list.I32(2).U16(0).U16(0).U16(1);
    rec = LoadSentRecord(list.Bytes());
    auto* g = dynamic_cast<CGroupFaxEntry*>(rec.get());
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->m_recipients.empty());
    EXPECT_EQ(g->m_listId, 0);
    EXPECT_EQ(g->m_status, -1);
    EXPECT_EQ(g->m_path, "");

    ByteBuilder personal;
    personal.I32(3).U16(3).Str("p").I64(1).U16(2).Str("x").U8(1).U16(0);
    rec = LoadSentRecord(personal.Bytes());
    ASSERT_NE(dynamic_cast<CPersonalFaxEntry*>(rec.get()), nullptr);

    // Entry version 4: times still 4 bytes wide.
    ByteBuilder v4;
    v4.I32(1)
        .U16(3)
        .Str("")
        .I64(0)
        .U16(4)
        .Str("n")
        .I32(-1)
        .I32(7)
        .I32(0)
        .I32(0)
        .Str("")
        .I32(5)
        .I32(3)
        .Str("lbl")
        .U16(2)
        .Str("")
        .U8(1)
        .U16(1);
    rec = LoadSentRecord(v4.Bytes());
    s = dynamic_cast<CSingleFaxEntry*>(rec.get());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_created, -1);
    EXPECT_EQ(s->m_lastAttempt, 7);
    EXPECT_EQ(s->m_faxId, 5);
    EXPECT_EQ(s->m_recipientLabel, "lbl");
}

TEST(FaxRecordLayoutTest, LongTitleUsesThreeBytePrefix) {
    CSingleFaxEntry single(std::string(255, 'x'));
    std::string bytes = StoreRecord(single);
    EXPECT_EQ(bytes.substr(4, 5), ByteBuilder().U16(3).U8(255).U16(255).Bytes());
    auto rec = LoadSentRecord(bytes);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->m_title, std::string(255, 'x'));
}

TEST(FaxRecordLayoutTest, DamagedAndForeignJobFiles) {
    EXPECT_EQ(LoadSentRecord(""), nullptr);
    EXPECT_EQ(LoadSentRecord(ByteBuilder().I32(4).U16(3).Bytes()), nullptr);
    EXPECT_EQ(LoadSentRecord(ByteBuilder().I32(0).Bytes()), nullptr);
    EXPECT_THROW(LoadSentRecord("\x01\x00"), CArchiveException);

    CSingleFaxEntry single("t");
    single.m_path = "/x.tif";
    std::string full = StoreRecord(single);
    for (std::size_t cut = 4; cut < full.size(); ++cut) {
        EXPECT_THROW(LoadSentRecord(full.substr(0, cut)), CArchiveException) << cut;
    }
    // Hostile counts: attempts and recipients claiming far more than the file holds.
    ByteBuilder attempts;
    attempts.I32(1).U16(3).Str("").I64(0).U16(5).Str("").I64(0).I64(0).I32(0).I32(0x7FFFFFFF);
    EXPECT_THROW(LoadSentRecord(attempts.Bytes()), CArchiveException);
    ByteBuilder recipients;
    recipients.I32(2).U16(3).Str("").I64(0).U16(2).Str("").U8(0).U16(2).I32(0).I32(0).I32(-5);
    EXPECT_THROW(LoadSentRecord(recipients.Bytes()), CArchiveException);
}

TEST(FaxRecordLayoutTest, CorruptedJobFilesFailCleanly) {
    CPersonalFaxEntry pers("Рассылка");
    pers.m_path = "/s/p.tif";
    pers.m_recipients.resize(3);
    for (auto& r : pers.m_recipients) {
        static_cast<CFaxEntry&>(r) = SampleEntry(4);
        r.m_path = "/m/r.tif";
    }
    const std::string good = StoreRecord(pers);
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string bad = good;
        for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips) {
            bad[rng() % bad.size()] = static_cast<char>(rng());
        }
        try {
            LoadSentRecord(bad);
        } catch (const CArchiveException&) {
        }
    }
}

TEST(FaxRecordUpdateTest, UpdateFromCopiesDeliveryResults) {
    CSingleFaxEntry mine("a");
    mine.m_faxId = 5;
    CSingleFaxEntry theirs("b");
    static_cast<CFaxEntry&>(theirs) = SampleEntry(5);
    mine.UpdateFrom(theirs);
    EXPECT_EQ(mine.m_serverId, "S-5");
    EXPECT_EQ(mine.m_status, 2);
    EXPECT_EQ(mine.m_pages, 3);
    EXPECT_EQ(mine.m_attempts.size(), 1u);
    EXPECT_EQ(mine.m_recipient, ""); // not a delivery result
    EXPECT_EQ(mine.m_title, "a");

    CGroupFaxEntry list("l");
    list.m_recipients = {CFaxEntry(), CFaxEntry()};
    list.m_recipients[0].m_faxId = 11;
    list.m_recipients[1].m_faxId = 12;
    CGroupFaxEntry update("u");
    update.m_status = 0;
    update.m_recipients = {SampleEntry(12)};
    list.UpdateFrom(update);
    EXPECT_EQ(list.m_status, 0);
    EXPECT_EQ(list.m_recipients[0].m_status, -1);
    EXPECT_EQ(list.m_recipients[1].m_serverId, "S-12");

    // A single fax is no list: nothing changes; a list carries no CFaxEntry for a single.
    list.UpdateFrom(theirs);
    EXPECT_EQ(list.m_status, 0);
    CSingleFaxEntry untouched("x");
    untouched.UpdateFrom(list);
    EXPECT_EQ(untouched.m_status, -1);

    CPersonalFaxEntry pers("p");
    pers.m_recipients.resize(1);
    pers.m_recipients[0].m_faxId = 21;
    pers.m_recipients[0].m_path = "/m/own.tif";
    CPersonalFaxEntry pupdate("q");
    pupdate.m_status = 3;
    pupdate.m_recipients.resize(1);
    static_cast<CFaxEntry&>(pupdate.m_recipients[0]) = SampleEntry(21);
    pers.UpdateFrom(pupdate);
    EXPECT_EQ(pers.m_status, 3);
    EXPECT_EQ(pers.m_recipients[0].m_serverId, "S-21");
    EXPECT_EQ(pers.m_recipients[0].m_path, "/m/own.tif");

    auto copy = pers.Clone();
    pers.m_recipients.clear();
    EXPECT_EQ(dynamic_cast<CPersonalFaxEntry&>(*copy).m_recipients.size(), 1u);
}

TEST(FaxRecordDeleteTest, DeletesImageAndCompanionsIgnoringCase) {
    TempDir dir;
    WriteFile(dir / "Fax1.TIF", "img");
    WriteFile(dir / "Fax1.FAX", "job");
    WriteFile(dir / "Fax1.FBL", "list");
    WriteFile(dir / "own1.tif", "r1");
    WriteFile(dir / "keep.fax", "other");
    CPersonalFaxEntry pers("p");
    pers.m_path = dir / "Fax1.TIF";
    pers.m_recipients.resize(1);
    pers.m_recipients[0].m_path = dir / "own1.tif";
    EXPECT_EQ(pers.DeleteFiles({}, nullptr), 0);
    EXPECT_FALSE(platform::PathExists(dir / "Fax1.TIF"));
    EXPECT_FALSE(platform::PathExists(dir / "Fax1.FAX"));
    EXPECT_TRUE(platform::PathExists(dir / "Fax1.FBL")); // only lists own a send list
    EXPECT_FALSE(platform::PathExists(dir / "own1.tif"));

    CGroupFaxEntry list("l");
    list.m_path = dir / "Fax1.TIF";
    EXPECT_EQ(list.DeleteFiles({}, nullptr), 0); // the image is already gone
    EXPECT_FALSE(platform::PathExists(dir / "Fax1.FBL"));
    EXPECT_TRUE(platform::PathExists(dir / "keep.fax"));

    // A printed document's companion is its name file.
    WriteFile(dir / "doc.pdf", "pdf");
    WriteFile(dir / "doc.tag", "name");
    CFaxDocument doc(dir / "doc.pdf", 0, "name");
    EXPECT_EQ(doc.DeleteFiles({}, nullptr), 0);
    EXPECT_FALSE(platform::PathExists(dir / "doc.tag"));

    CFaxDocument empty;
    EXPECT_EQ(empty.DeleteFiles({}, nullptr), 0);
}

TEST(FaxRecordDeleteTest, FailedDeleteIsReportedAndNotMaskedByMissingCompanion) {
    TempDir dir;
    // A directory in place of the image cannot be unlinked.
    ASSERT_EQ(platform::CreateDir(dir / "busy.tif"), 0);
    WriteFile(dir / "busy.tif/inner", "x");
    WriteFile(dir / "busy.fax", "job");
    CSingleFaxEntry single("s");
    single.m_path = "/elsewhere/busy.tif"; // found by its name in the store's folder
    std::string failed;
    EXPECT_NE(single.DeleteFiles(dir.Path(), &failed), 0);
    EXPECT_EQ(failed, dir / "busy.tif");
    EXPECT_TRUE(platform::PathExists(dir / "busy.tif"));
    // The job file stays with the image it describes.
    EXPECT_TRUE(platform::PathExists(dir / "busy.fax"));
}

} // namespace
