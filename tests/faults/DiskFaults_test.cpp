// A full disk and a read-only data directory while job files, address books and the settings
// hive are written: the files already on disk stay byte for byte as they were, no temporary
// file is left behind, the user is told which file failed, and the same save goes through
// once the fault is gone.
#include "StoreFixture.h"
#include "addressbook/AddressBooks.h"

#include "platform/Registry.h"
#include "sending/SendFaxJob.h"
#include "sending/SendJob.h"
#include "sending/TiffTestFiles.h"
#include "store/VelquinDoc.h"

namespace {

using faults::ChildLimits;
using faults::ChildResult;
using faults::Lines;
using faults::NewNames;
using faults::RunInChild;
using faults::Snapshot;
using testing_support::FakeFrame;
using testing_support::FakePrompt;

struct DiskFault {
    const char* name;
    ChildLimits limits;
    const char* errorText; // part of every file error the user sees
};

// Eight bytes fit: every write starts, and fails part-way with EFBIG.
const DiskFault kFull{"disk full", {8, false}, "File too large"};
const DiskFault kReadOnly{"read-only", {-1, true}, "Нет доступа к файлу"};

class DiskFaultTest : public faults::StoreFixture {
protected:
    // Every file error of `child`'s report names one of `paths` and carries the fault's text.
    void ExpectErrorsNaming(const ChildResult& child, const DiskFault& fault,
                            const std::vector<std::string>& paths) {
        std::vector<std::string> errors = Lines(child.report);
        ASSERT_EQ(errors.size(), paths.size()) << fault.name << ": " << child.report;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EXPECT_NE(errors[i].find(paths[i]), std::string::npos) << fault.name << errors[i];
            EXPECT_NE(errors[i].find(fault.errorText), std::string::npos)
                << fault.name << errors[i];
        }
    }
};

std::string JoinErrors(const FakePrompt& prompt) {
    std::string out;
    for (const std::string& e : prompt.fileErrors) {
        out += e + "\n";
    }
    return out;
}

TEST_F(DiskFaultTest, JobFilesStayWholeAndNoHalfNewJobFileAppears) {
    PutSingle("single", 1, 1000000001);
    PutList("list", 2, 2000000001, {1000000002, 1000000003});
    const auto before = Snapshot(SentDir());

    // The running program; the disk fills (or turns read-only) under it. The saves run in a
    // child with a copy of it.
    FakePrompt prompt;
    FakeFrame frame;
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    ASSERT_EQ(doc.SentRecords().size(), 2u);
    ASSERT_TRUE(prompt.fileErrors.empty());
    // States as replies leave them, not written yet.
    const_cast<CSingleFaxEntry&>(dynamic_cast<const CSingleFaxEntry&>(*doc.SentRecords()[0]))
        .m_status = 2;
    const_cast<CGroupFaxEntry&>(dynamic_cast<const CGroupFaxEntry&>(*doc.SentRecords()[1]))
        .m_status = 4;
    doc.SentFaxes().Touched(*doc.SentRecords()[0]);
    doc.SentFaxes().Touched(*doc.SentRecords()[1]);

    for (const DiskFault& fault : {kFull, kReadOnly}) {
        if (fault.limits.unprivileged) {
            faults::MakeReadOnly(root.Path(), SentDir());
        }
        ChildResult child = RunInChild(fault.limits, [&](std::string& report) {
            doc.SentFaxes().SaveTouched();                                 // closing the program
            doc.SentFaxes().SaveJobFile(*doc.SentRecords()[0], SentDir()); // a reply
            // A send dialog's new record.
            CSingleFaxEntry fresh("new");
            fresh.m_path = Sent("fresh.tif");
            const bool written = WriteNewJobFile(fresh, Sent("fresh.FAX"), prompt, frame);
            report = JoinErrors(prompt);
            return written || !frame.NewJobFiles().empty() ? 2 : 0;
        });
        faults::MakeWritable(SentDir());
        EXPECT_EQ(child.exitCode, 0) << fault.name << ": " << child.report;
        ExpectErrorsNaming(
            child, fault,
            {Sent("single.fax"), Sent("list.fax"), Sent("single.fax"), Sent("fresh.FAX")});
        const auto after = Snapshot(SentDir());
        EXPECT_EQ(NewNames(before, after), "") << fault.name;
        EXPECT_TRUE(after == before) << fault.name << ": a job file changed";
    }

    // The fault gone, the same save goes through.
    doc.SentFaxes().SaveTouched();
    EXPECT_TRUE(prompt.fileErrors.empty()) << JoinErrors(prompt);
    auto list = LoadSentRecord(testing_support::ReadFileOrDie(Sent("list.fax")));
    EXPECT_EQ(dynamic_cast<CGroupFaxEntry&>(*list).m_status, 4);
    auto single = LoadSentRecord(testing_support::ReadFileOrDie(Sent("single.fax")));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*single).m_status, 2);
}

TEST_F(DiskFaultTest, AddressBooksStayWhole) {
    platform::SetTelephoneCountryCodeForTest(7);
    auto book = std::make_unique<CAddrBook>("Партнёры");
    for (int i = 0; i < 200; ++i) {
        auto c = std::make_unique<CContactEntry>("8812555" + std::to_string(1000 + i));
        c->m_company = "Фирма " + std::to_string(i);
        book->AddEntry(std::move(c));
    }
    CAddrBook* raw = book.get();
    AddressBooks().Add(std::move(book));
    const std::string path = raw->GetFilePath();
    ASSERT_EQ(platform::DirName(path), BookDir());
    AddressBooks().SaveAll({});
    const auto before = Snapshot(BookDir());
    ASSERT_EQ(before.size(), 1u);
    FakePrompt prompt;
    FakeFrame frame;
    CVelquinDoc doc(prompt, frame); // its end clears the book list

    for (const DiskFault& fault : {kFull, kReadOnly}) {
        if (fault.limits.unprivileged) {
            faults::MakeReadOnly(root.Path(), BookDir());
        }
        ChildResult child = RunInChild(fault.limits, [&](std::string& report) {
            raw->AddEntry(std::make_unique<CContactEntry>("88125559999"));
            raw->m_name = "Переименована";
            AddressBooks().SaveAll([&](const std::string& e) { prompt.FileError(e); });
            report = JoinErrors(prompt);
            return 0;
        });
        faults::MakeWritable(BookDir());
        EXPECT_EQ(child.exitCode, 0) << fault.name << ": " << child.report;
        ExpectErrorsNaming(child, fault, {path});
        const auto after = Snapshot(BookDir());
        EXPECT_EQ(NewNames(before, after), "") << fault.name;
        EXPECT_TRUE(after == before) << fault.name << ": the book file changed";
    }

    // The parent's book is untouched by the children; its next save goes through.
    raw->m_name = "Переименована";
    AddressBooks().SaveAll([&](const std::string& e) { prompt.FileError(e); });
    EXPECT_TRUE(prompt.fileErrors.empty()) << JoinErrors(prompt);
    std::string error;
    auto reread = ReadBookFile(path, error);
    ASSERT_NE(reread, nullptr) << error;
    EXPECT_EQ(reread->m_name, "Переименована");
    EXPECT_EQ(reread->Size(), 200u);
    platform::SetTelephoneCountryCodeForTest(std::nullopt);
}

// Deleting from a read-only store: the user is told which file stayed, the record stays
// listed (it would come back at the next start anyway), and nothing on disk changes.
TEST_F(DiskFaultTest, DeleteFromAReadOnlyStoreKeepsTheRecordAndNamesTheFile) {
    PutSingle("single", 1, 1000000001);
    PutList("list", 2, 2000000001, {1000000002});
    testing_support::WriteFile(Sent("list.fbl"), "8495");
    testing_support::WriteFile(root / "fax/printed.tif", "II*");
    testing_support::WriteFile(root / "fax/printed.tag", "Договор");
    const auto sentBefore = Snapshot(SentDir());
    const auto faxBefore = Snapshot(root / "fax");
    FakePrompt prompt;
    FakeFrame frame;
    CVelquinDoc doc(prompt, frame);
    doc.SentFaxes().Load();
    doc.Printed().Load();
    ASSERT_EQ(doc.SentRecords().size(), 2u);
    ASSERT_EQ(doc.Printed().Records().size(), 1u);

    faults::MakeReadOnly(root.Path(), SentDir());
    faults::MakeReadOnly(root.Path(), root / "fax");
    ChildResult child = RunInChild(kReadOnly.limits, [&](std::string& report) {
        int kept = 0;
        kept += doc.SentFaxes().Remove(doc.SentRecords()[1].get()) ? 0 : 1;
        kept += doc.SentFaxes().Remove(doc.SentRecords()[0].get()) ? 0 : 1;
        kept += doc.Printed().Remove(doc.Printed().Records()[0].get()) ? 0 : 1;
        const bool listed = doc.SentRecords().size() == 2 && doc.Printed().Records().size() == 1;
        report = JoinErrors(prompt);
        return kept == 3 && listed ? 0 : 1;
    });
    faults::MakeWritable(SentDir());
    faults::MakeWritable(root / "fax");
    EXPECT_EQ(child.exitCode, 0) << child.report;
    ExpectErrorsNaming(child, kReadOnly,
                       {Sent("list.tif"), Sent("single.tif"), root / "fax/printed.tif"});
    for (const std::string& line : Lines(child.report)) {
        EXPECT_NE(line.find("запись осталась в списке"), std::string::npos) << line;
    }
    EXPECT_TRUE(Snapshot(SentDir()) == sentBefore);
    EXPECT_TRUE(Snapshot(root / "fax") == faxBefore);

    // Writable again, the same deletes go through.
    EXPECT_TRUE(doc.SentFaxes().Remove(doc.SentRecords()[1].get()));
    EXPECT_TRUE(doc.Printed().Remove(doc.Printed().Records()[0].get()));
    EXPECT_FALSE(platform::PathExists(Sent("list.fbl")));
    EXPECT_EQ(Snapshot(root / "fax").size(), 0u);
    EXPECT_TRUE(prompt.fileErrors.empty()) << JoinErrors(prompt);
}

TEST_F(DiskFaultTest, SettingsHiveStaysWhole) {
    Settings().UserID = "alpha";
    ASSERT_EQ(SaveSettings(), 0);
    const auto before = Snapshot(RegistryDir());
    ASSERT_EQ(before.count("HKEY_LOCAL_MACHINE.reg"), 1u);
    const std::string hive = platform::HivePath(platform::Hive::LocalMachine);

    for (const DiskFault& fault : {kFull, kReadOnly}) {
        if (fault.limits.unprivileged) {
            faults::MakeReadOnly(root.Path(), RegistryDir());
        }
        ChildResult child = RunInChild(fault.limits, [&](std::string& report) {
            Settings().UserID = "bravo";
            FakePrompt prompt;
            const bool saved = SaveSettings(prompt);
            report = JoinErrors(prompt);
            return saved ? 1 : 0;
        });
        faults::MakeWritable(RegistryDir());
        EXPECT_EQ(child.exitCode, 0) << fault.name << ": saving reported success";
        ExpectErrorsNaming(child, fault, {hive});
        const auto after = Snapshot(RegistryDir());
        EXPECT_EQ(NewNames(before, after), "") << fault.name;
        EXPECT_TRUE(after == before) << fault.name << ": the hive changed";
    }

    Settings().UserID = "bravo";
    ASSERT_EQ(SaveSettings(), 0);
    platform::CRegKey key;
    ASSERT_EQ(key.Open(platform::Hive::LocalMachine, kMainKey), 0);
    EXPECT_EQ(key.Value("UserID")->bytes, "bravo");
}

// The send dialogs spend fax ids when "Готово" is pressed; a settings hive that cannot take
// the next id is a file error the user sees, and the dialog goes on.
TEST_F(DiskFaultTest, SendDialogTellsTheUserWhenTheNextIdsCannotBeSaved) {
    Settings().SMTPMailFrom = std::string(40000, 'x'); // a hive larger than the image
    ASSERT_EQ(SaveSettings(), 0);
    const auto before = Snapshot(RegistryDir());
    const std::string image = Sent("report.tif");
    sending_test::WriteBilevelTiff(image, {.pages = 1});
    ASSERT_LT(platform::FileSize(image).value_or(0), 20000u);

    ChildResult child = RunInChild({20000, false}, [&](std::string& report) {
        FakePrompt prompt;
        FakeFrame frame;
        CSendFaxJob job(image, "report.tif", "", prompt, frame);
        job.Open(CurrentTime());
        job.m_password = "secret12";
        job.SetNumber("88123520809");
        const bool done = job.Done();
        report = JoinErrors(prompt);
        return done && prompt.messages.empty() ? 0 : 1;
    });
    EXPECT_EQ(child.exitCode, 0) << child.report;
    ExpectErrorsNaming(child, kFull, {platform::HivePath(platform::Hive::LocalMachine)});
    EXPECT_TRUE(Snapshot(RegistryDir()) == before);
}

} // namespace
