#include "platform/Files.h"

#include "support/TestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(Files, WildcardsIgnoreCase) {
    EXPECT_TRUE(WildcardMatch("*.fax", "JOB.FAX"));
    EXPECT_TRUE(WildcardMatch("*.fax", ".fax"));
    EXPECT_FALSE(WildcardMatch("*.fax", "job.fax.bak"));
    EXPECT_TRUE(WildcardMatch("Fax????????_*.tif", "Fax0000ABCD_0001.TIF"));
    EXPECT_FALSE(WildcardMatch("a?c", "ac"));
    EXPECT_TRUE(WildcardMatch("*a*b*c*", "xxaxxbxxcxx"));
    EXPECT_FALSE(WildcardMatch("*a*b*c", "xxaxxbxxcxx"));
}

TEST(Files, PathPiecesAndCompanionsKeepDirectoryAndStem) {
    EXPECT_EQ(ReplaceExtension("/data/Tif.Files/Report.tif.TIF", ".fax"),
              "/data/Tif.Files/Report.tif.fax");
    EXPECT_EQ(ReplaceExtension("/a.b/noext", ".tag"), "/a.b/noext.tag");
    EXPECT_EQ(Stem("/x/y/Doc.Tif"), "Doc");
    EXPECT_EQ(Extension("/x.d/file"), "");
    EXPECT_EQ(DirName("file"), "");

    TempDir dir;
    WriteFile(dir / "Report.TIF", "x");
    WriteFile(dir / "Report.FAX", "y");
    EXPECT_EQ(CompanionPath(dir / "Report.TIF", ".fax"), dir / "Report.FAX");
    EXPECT_EQ(CompanionPath(dir / "Report.TIF", ".tag"), dir / "Report.tag"); // none yet
    EXPECT_EQ(FindNoCase(dir / "report.tif").value(), dir / "Report.TIF");
    EXPECT_FALSE(FindNoCase(dir / "other.tif"));

    CDirIndex index(dir.Path());
    ASSERT_NE(index.Find("REPORT.fax"), nullptr);
    EXPECT_EQ(index.Find("REPORT.fax")->name, "Report.FAX");
    EXPECT_EQ(index.Find("Report"), nullptr);
    EXPECT_EQ(ListMatching(dir.Path(), "*.tif").size(), 1u);
}

TEST(Files, DeleteTellsNotFoundFromOtherFailures) {
    TempDir dir;
    WriteFile(dir / "a", "1");
    EXPECT_EQ(DeleteFile(dir / "a"), kOk);
    EXPECT_EQ(DeleteFile(dir / "a"), kNotFound);
    ASSERT_EQ(CreateDir(dir / "sub"), kOk);
    EXPECT_EQ(CreateDir(dir / "sub"), kOk); // already there
    int err = DeleteFile(dir / "sub");
    EXPECT_NE(err, kOk);
    EXPECT_NE(err, kNotFound);
    EXPECT_EQ(CreateDir(dir / "missing/deeper"), ENOENT); // one level only
}

TEST(Files, CopyMoveAndAtomicWrite) {
    TempDir dir;
    WriteFile(dir / "src", "payload");
    EXPECT_EQ(CopyFile(dir / "src", dir / "dst", true), kOk);
    EXPECT_EQ(CopyFile(dir / "src", dir / "dst", true), EEXIST);
    WriteFile(dir / "src", "newer");
    EXPECT_EQ(CopyFile(dir / "src", dir / "dst", false), kOk);
    EXPECT_EQ(testing_support::ReadFileOrDie(dir / "dst"), "newer");
    EXPECT_EQ(CopyFile(dir / "none", dir / "x", false), kNotFound);
    EXPECT_FALSE(PathExists(dir / "x"));

    EXPECT_EQ(MoveFile(dir / "dst", dir / "moved"), kOk);
    EXPECT_FALSE(PathExists(dir / "dst"));

    EXPECT_EQ(AtomicWriteFile(dir / "moved", "replaced"), kOk);
    EXPECT_EQ(testing_support::ReadFileOrDie(dir / "moved"), "replaced");
    EXPECT_EQ(ListDir(dir.Path()).size(), 2u); // no temporary left behind
    EXPECT_EQ(AtomicWriteFile(dir / "nodir/file", "x"), ENOENT);

    EXPECT_TRUE(LastWriteTime(dir / "moved").has_value());
    EXPECT_TRUE(CreationTime(dir / "moved").has_value());
    EXPECT_GT(FreeBytes(dir.Path()).value_or(0), 0u);
    EXPECT_FALSE(FreeBytes(dir / "nope").has_value());
}

// A names-only listing tells files from folders as the full one does, a link by its target.
TEST(Files, NamesOnlyListingAgreesWithTheFullOne) {
    TempDir dir;
    WriteFile(dir / "a.fax", "x");
    ASSERT_EQ(CreateDir(dir / "Sub"), kOk);
    ASSERT_EQ(::symlink((dir / "Sub").c_str(), (dir / "link").c_str()), 0);
    auto kinds = [](std::vector<DirEntry> entries) {
        std::map<std::string, bool> out;
        for (const DirEntry& e : entries) {
            out[e.name] = e.isDir;
        }
        return out;
    };
    const auto full = kinds(ListDir(dir.Path()));
    EXPECT_EQ(full, (std::map<std::string, bool>{{"Sub", true}, {"a.fax", false}, {"link", true}}));
    EXPECT_EQ(kinds(ListDir(dir.Path(), nullptr, ListDetail::Names)), full);
    CDirIndex index(dir.Path(), ListDetail::Names);
    ASSERT_NE(index.Find("A.FAX"), nullptr);
    EXPECT_EQ(MatchingFiles(index, "*.fax").size(), 1u);
}

TEST(Files, IniReadsFollowTheOriginalSemantics) {
    TempDir dir;
    const std::string ini = dir / "job.grp";
    WriteFile(ini, "; comment\r\n[Other]\r\nKey=wrong\r\n[TW Ostrevo]\r\n  print status = "
                   "\"Printing finished successfully\"  \r\nDocument name=Отчёт\r\n");
    EXPECT_EQ(ReadIniString(ini, "tw ostrevo", "Print Status", "", 256),
              "Printing finished successfully");
    EXPECT_EQ(ReadIniString(ini, "TW Ostrevo", "Document name", "", 256), "Отчёт");
    EXPECT_EQ(ReadIniString(ini, "TW Ostrevo", "Print status", "", 9), "Printing");
    EXPECT_EQ(ReadIniString(ini, "TW Ostrevo", "Missing", "dflt", 256), "dflt");
    EXPECT_EQ(ReadIniString(dir / "none.ini", "A", "B", "dflt", 256), "dflt");

    ASSERT_EQ(WriteIniString(ini, "TW Ostrevo", "Print status", "Printing"), kOk);
    ASSERT_EQ(WriteIniString(ini, "New", "K", "v"), kOk);
    EXPECT_EQ(ReadIniString(ini, "TW Ostrevo", "Print status", "", 256), "Printing");
    EXPECT_EQ(ReadIniString(ini, "Other", "Key", "", 256), "wrong");
    EXPECT_EQ(ReadIniString(ini, "New", "K", "", 256), "v");
}
