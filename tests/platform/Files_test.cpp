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

// The index of a large store: every name is found whatever its case, the first of names that
// differ only in case keeps it, and near misses are not found.
TEST(Files, DirIndexFindsEveryNameOfALargeListingIgnoringCase) {
    std::vector<DirEntry> entries;
    for (int i = 0; i < 20000; ++i) {
        entries.push_back({"Fax" + std::to_string(i) + ".TIF"});
    }
    entries.push_back({"fax7.tif"}); // the same as "Fax7.TIF" but for case
    const CDirIndex index(std::move(entries));
    for (int i = 0; i < 20000; i += 7) {
        const DirEntry* e = index.Find("FAX" + std::to_string(i) + ".tif");
        ASSERT_NE(e, nullptr) << i;
        EXPECT_EQ(e->name, "Fax" + std::to_string(i) + ".TIF");
        EXPECT_EQ(index.Find("FAX" + std::to_string(i) + ".ti"), nullptr);
    }
    EXPECT_EQ(index.Find("fax20000.tif"), nullptr);
    EXPECT_EQ(CDirIndex().Find("a"), nullptr);
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

    // A rewrite keeps the mode the file has (only new files are made private).
    ASSERT_EQ(::chmod((dir / "moved").c_str(), 0644), 0);
    EXPECT_EQ(AtomicWriteFile(dir / "moved", "replaced"), kOk);
    EXPECT_EQ(testing_support::ReadFileOrDie(dir / "moved"), "replaced");
    struct stat st {};
    EXPECT_EQ(::stat((dir / "moved").c_str(), &st) == 0 ? st.st_mode & 07777 : 0, 0644u);
    EXPECT_EQ(ListDir(dir.Path()).size(), 2u); // no temporary left behind
    EXPECT_EQ(AtomicWriteFile(dir / "nodir/file", "x"), ENOENT);

    EXPECT_TRUE(LastWriteTime(dir / "moved").has_value());
    EXPECT_TRUE(CreationTime(dir / "moved").has_value());
    EXPECT_GT(FreeBytes(dir.Path()).value_or(0), 0u);
    EXPECT_FALSE(FreeBytes(dir / "nope").has_value());
}

// What only carries a store file's name is refused at once: a FIFO (whose open would wait for
// a writer), a link to an endless device, a folder, a file past the cap (sparse: nothing to
// read). A link to a regular file is followed, except for name files.
TEST(Files, StoreReadersTakeOnlyRegularFilesUpToTheirCap) {
    TempDir dir;
    WriteFile(dir / "book.abk", "book");
    ASSERT_EQ(::symlink((dir / "book.abk").c_str(), (dir / "linked.abk").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.fax").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir / "zero.fax").c_str()), 0);
    ASSERT_EQ(CreateDir(dir / "dir.fax"), kOk);
    WriteFile(dir / "huge.fax", "");
    ASSERT_EQ(::truncate((dir / "huge.fax").c_str(), kArchiveFileCap + 1), 0);
    std::string bytes = "left over";
    for (const char* name : {"fifo.fax", "zero.fax", "dir.fax"}) {
        EXPECT_EQ(ReadStoreFile(dir / name, bytes, kArchiveFileCap), EINVAL) << name;
        EXPECT_EQ(CopyFile(dir / name, dir / "copy", false), EINVAL) << name;
    }
    EXPECT_EQ(ReadStoreFile(dir / "huge.fax", bytes, kArchiveFileCap), EFBIG);
    EXPECT_EQ(CopyFile(dir / "huge.fax", dir / "copy", false, kArchiveFileCap), EFBIG);
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(PathExists(dir / "copy"));
    EXPECT_EQ(ReadStoreFile(dir / "linked.abk", bytes, 4), kOk);
    EXPECT_EQ(bytes, "book");
    EXPECT_EQ(ReadStoreFile(dir / "linked.abk", bytes, 3), EFBIG);
    EXPECT_EQ(ReadSmallFile(dir / "linked.abk", bytes, 3), ELOOP);
    EXPECT_EQ(ReadSmallFile(dir / "book.abk", bytes, 3), kOk);
    EXPECT_EQ(bytes, "boo");
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
