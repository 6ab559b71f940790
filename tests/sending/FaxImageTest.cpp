#include "sending/FaxImage.h"
#include "TiffTestFiles.h"
#include "support/TestSupport.h"

#include "platform/Files.h"
#include "resources/Strings.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <fcntl.h>
#include <unistd.h>

using namespace sending_test;
using testing_support::TempDir;

namespace {

struct PartInfo {
    uint16_t compression = 0, photometric = 0, pageNumber = 0, pageTotal = 0;
    uint32_t width = 0, height = 0, rowsPerStrip = 0, strips = 0;
    float xres = 0, yres = 0;
};

std::vector<PartInfo> Inspect(const std::string& path) {
    std::vector<PartInfo> out;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return out;
    }
    do {
        PartInfo i;
        TIFFGetField(t, TIFFTAG_COMPRESSION, &i.compression);
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &i.photometric);
        TIFFGetField(t, TIFFTAG_PAGENUMBER, &i.pageNumber, &i.pageTotal);
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &i.width);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &i.height);
        TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &i.rowsPerStrip);
        TIFFGetField(t, TIFFTAG_XRESOLUTION, &i.xres);
        TIFFGetField(t, TIFFTAG_YRESOLUTION, &i.yres);
        i.strips = TIFFNumberOfStrips(t);
        out.push_back(i);
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return out;
}

class FaxImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_merge = m_dir / "Merge";
        ASSERT_EQ(platform::CreateDir(m_merge), 0);
    }
    TempDir m_dir;
    std::string m_merge;
};

TEST_F(FaxImageTest, SplitsSixPagesIntoThreeGroup4PartsWithTheirOwnPageNumbers) {
    const std::string run = m_dir / "run.tif";
    WriteBilevelTiff(run, {.pages = 6, .width = 200, .height = 90});
    testing_support::WriteFile(m_merge + "/old_0001.tif", "stale");
    testing_support::WriteFile(m_merge + "/STALE.TMP", "stale");

    CSplitResult r = SplitPerRecipient(run, 2, m_merge, 0x4B0C2A11);
    ASSERT_EQ(r.error, SplitError::None) << r.detail;
    EXPECT_EQ(r.parts, 3);
    EXPECT_EQ(r.baseName, "Fax4B0C2A11");

    std::vector<std::string> names;
    for (const auto& e : platform::ListDir(m_merge)) {
        names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Fax4B0C2A11_0001.tif", "Fax4B0C2A11_0002.tif",
                                               "Fax4B0C2A11_0003.tif"}));
    for (int k = 1; k <= 3; ++k) {
        const std::string part = SplitPartPath(m_merge, r.baseName, k);
        std::vector<PartInfo> pages = Inspect(part);
        ASSERT_EQ(pages.size(), 2u) << part;
        for (uint16_t i = 0; i < 2; ++i) {
            EXPECT_EQ(pages[i].compression, COMPRESSION_CCITTFAX4);
            EXPECT_EQ(pages[i].photometric, PHOTOMETRIC_MINISWHITE);
            EXPECT_EQ(pages[i].width, 200u);
            EXPECT_EQ(pages[i].height, 90u);
            EXPECT_EQ(pages[i].rowsPerStrip, 90u);
            EXPECT_EQ(pages[i].strips, 1u);
            EXPECT_FLOAT_EQ(pages[i].xres, 204.0f);
            EXPECT_FLOAT_EQ(pages[i].yres, 196.0f);
            EXPECT_EQ(pages[i].pageNumber, i);
            EXPECT_EQ(pages[i].pageTotal, 2);
            EXPECT_EQ(ReadPixels(part, i), PagePixels(2 * (k - 1) + i, 200, 90));
        }
    }
}

TEST_F(FaxImageTest, SplitCarriesMultiStripAndUnnumberedPages) {
    // Ghostscript writes pages in several strips, and some printers write no page numbers.
    const std::string run = m_dir / "run.tif";
    WriteBilevelTiff(run, {.pages = 3,
                           .width = 120,
                           .height = 70,
                           .compression = 1,
                           .rowsPerStrip = 16,
                           .pageNumbers = false});
    CSplitResult r = SplitPerRecipient(run, 2, m_merge, 1);
    ASSERT_EQ(r.error, SplitError::None) << r.detail;
    ASSERT_EQ(r.parts, 2); // the last part is shorter
    std::vector<PartInfo> first = Inspect(SplitPartPath(m_merge, r.baseName, 1));
    std::vector<PartInfo> last = Inspect(SplitPartPath(m_merge, r.baseName, 2));
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(first[1].rowsPerStrip, 16u);
    EXPECT_EQ(first[1].strips, 5u);
    EXPECT_EQ(first[1].pageNumber, 1);
    EXPECT_EQ(first[1].pageTotal, 2);
    EXPECT_EQ(last[0].pageNumber, 0);
    EXPECT_EQ(last[0].pageTotal, 1);
    EXPECT_EQ(ReadPixels(SplitPartPath(m_merge, r.baseName, 1), 1), PagePixels(1, 120, 70));
    EXPECT_EQ(ReadPixels(SplitPartPath(m_merge, r.baseName, 2), 0), PagePixels(2, 120, 70));
}

TEST_F(FaxImageTest, SplitRefusesBadInput) {
    EXPECT_EQ(SplitPerRecipient(m_dir / "missing.tif", 1, m_merge).error, SplitError::OpenInput);
    testing_support::WriteFile(m_dir / "text.tif", "%PDF-1.4 not a tiff");
    EXPECT_EQ(SplitPerRecipient(m_dir / "text.tif", 1, m_merge).error, SplitError::OpenInput);
    const std::string run = m_dir / "run.tif";
    WriteBilevelTiff(run, {.pages = 2});
    EXPECT_EQ(SplitPerRecipient(run, 0, m_merge).error, SplitError::BadPagesPerRecipient);
    // A Merge directory that cannot be made.
    EXPECT_EQ(SplitPerRecipient(run, 1, m_dir / "no/such/Merge").error, SplitError::MergeDir);
}

TEST_F(FaxImageTest, CountPages) {
    const std::string run = m_dir / "run.tif";
    WriteBilevelTiff(run, {.pages = 10});
    EXPECT_EQ(CountPages(run), 10);
    EXPECT_EQ(CountPages(m_dir / "missing.tif"), 0);
    testing_support::WriteFile(m_dir / "bigtiff.tif", std::string("II\x2B\0\x08\0\0\0", 8));
    EXPECT_EQ(CountPages(m_dir / "bigtiff.tif"), 0);
    testing_support::WriteFile(m_dir / "empty.tif", "");
    EXPECT_EQ(CountPages(m_dir / "empty.tif"), 0);
}

TEST_F(FaxImageTest, CopyPagesRewritesInGroup4AndDeletesTheInputOnRequest) {
    const std::string in = m_dir / "in.tif";
    const std::string out = m_dir / "out.tif";
    WriteBilevelTiff(in, {.pages = 2, .width = 300, .height = 50, .compression = 1});
    ASSERT_TRUE(CopyPages(in, out, false));
    EXPECT_TRUE(platform::PathExists(in));
    std::vector<PartInfo> pages = Inspect(out);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(pages[1].pageNumber, 1);
    EXPECT_EQ(pages[1].pageTotal, 2);
    EXPECT_EQ(ReadPixels(out, 1), PagePixels(1, 300, 50));

    ASSERT_TRUE(CopyPages(in, m_dir / "out2.tif", true));
    EXPECT_FALSE(platform::PathExists(in));
}

TEST_F(FaxImageTest, CopyPagesNamesLayoutsItCannotHandle) {
    const std::string in = m_dir / "tiled.tif";
    const std::string out = m_dir / "out.tif";
    WriteBilevelTiff(in, {.pages = 1, .width = 32, .height = 32, .compression = 1, .tiled = true});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(CopyPages(in, out, true));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("tiffcp: " + in + ": Don't know how to copy/convert image.\n"),
              std::string::npos)
        << err;
    EXPECT_TRUE(platform::PathExists(in)); // kept after a failure
    EXPECT_FALSE(platform::PathExists(out));

    testing_support::WriteFile(m_dir / "junk.tif", "II*\0garbage");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(CopyPages(m_dir / "junk.tif", out, false));
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(platform::PathExists(out));
}

TEST_F(FaxImageTest, PrintedPagesComeOutByteForByteAsTiffcpWritesThemAndBadCodesFail) {
    // Pages as Ghostscript prints them are kept as they are; stored another way (big-endian,
    // several strips, the other fill order, LZW, uncompressed) they are encoded again. Either
    // way the file is the one `tiffcp -c g4` writes.
    const std::string ps = m_dir / "text.ps";
    const std::string printed = m_dir / "printed.tif";
    testing_support::WriteFile(ps, "%!PS\n/Helvetica findfont 11 scalefont setfont\n"
                                   "1 1 3 { 72 720 moveto (Page ) show 3 string cvs show\n"
                                   "700 -14 300 { 72 exch moveto (The quick brown fox jumps "
                                   "over the lazy dog 0123456789) show } for showpage } for\n");
    std::string output;
    ASSERT_EQ(testing_support::RunShell("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=tiffg4 "
                                        "-r204x196 -sOutputFile=" +
                                            printed + " " + ps,
                                        output),
              0)
        << output;
    for (const std::string options :
         {"", "-B", "-r 100", "-f lsb2msb", "-B -r 64 -f lsb2msb", "-c lzw", "-c none"}) {
        const std::string in = m_dir / "in.tif";
        const std::string ref = m_dir / "tiffcp.tif";
        const std::string ours = m_dir / "ours.tif";
        ASSERT_EQ(testing_support::RunShell("tiffcp " + options + " " + printed + " " + in +
                                                " && tiffcp -c g4 " + in + " " + ref,
                                            output),
                  0)
            << output;
        bool damaged = true;
        ASSERT_TRUE(CopyPages(in, ours, false, &damaged)) << options;
        EXPECT_FALSE(damaged);
        EXPECT_EQ(ReadBytes(ours), ReadBytes(ref)) << "tiffcp " << options;
    }

    // Codes no decoder can read in the second page, kept in Group 4 or stored in LZW (decoded
    // a strip at a time): the copy fails and says why, and the split refuses the run as
    // damaged, however the page would have been written. The parts after it are rewritten at
    // the same time as it; none of them is left behind.
    const std::string lzw = m_dir / "printed-lzw.tif";
    ASSERT_EQ(testing_support::RunShell("tiffcp -c lzw " + printed + " " + lzw, output), 0)
        << output;
    for (const std::string& sound : {printed, lzw}) {
        uint64_t* offsets = nullptr;
        TIFF* t = TIFFOpen(sound.c_str(), "r");
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(TIFFSetDirectory(t, 1) && TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets));
        const std::size_t at = static_cast<std::size_t>(offsets[0]) + 4000;
        TIFFClose(t);
        std::vector<std::uint8_t> bytes = ReadBytes(sound);
        std::fill(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 8,
                  0xFF);
        const std::string bad = m_dir / "bad.tif";
        WriteBytes(bad, bytes);
        ::testing::internal::CaptureStderr();
        bool damaged = false;
        EXPECT_FALSE(CopyPages(bad, m_dir / "out.tif", false, &damaged)) << sound;
        EXPECT_TRUE(damaged) << sound;
        EXPECT_FALSE(platform::PathExists(m_dir / "out.tif"));
        CSplitResult r = SplitPerRecipient(bad, 1, m_merge, 5);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(r.error, SplitError::DamagedPage) << r.detail;
        EXPECT_EQ(r.parts, 1);
        EXPECT_TRUE(platform::PathExists(SplitPartPath(m_merge, r.baseName, 1)));
        EXPECT_FALSE(platform::PathExists(SplitPartPath(m_merge, r.baseName, 2)));
        EXPECT_FALSE(platform::PathExists(SplitPartPath(m_merge, r.baseName, 3)));
        EXPECT_FALSE(platform::PathExists(m_merge + "/" + r.baseName + "_0003.tmp"));
    }
}

TEST_F(FaxImageTest, SignatureTrailerBytes) {
    // MD5("abc") = 900150983cd24fb0d6963f7d28e17f72 (RFC 1321), reached both ways.
    const std::vector<std::uint8_t> md5abc = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                              0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    const std::string path = m_dir / "job.tif";
    testing_support::WriteFile(path, "bc");
    ASSERT_TRUE(SignJobFile("a", "c", "b", path));
    std::vector<std::uint8_t> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 2u + 32u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 2, bytes.begin() + 18), md5abc);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 18, bytes.end()), md5abc);

    // Signed twice: a second trailer whose D2 covers the first.
    testing_support::WriteFile(path, "");
    ASSERT_TRUE(SignJobFile("abc", "", "", path));
    ASSERT_TRUE(SignJobFile("abc", "", "", path));
    bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 16), md5abc);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 16, bytes.begin() + 32), md5abc);
    EXPECT_NE(std::vector<std::uint8_t>(bytes.begin() + 48, bytes.end()), md5abc);
}

TEST_F(FaxImageTest, SigningNeedsAnExistingFileNobodyElseHolds) {
    const std::string path = m_dir / "job.tif";
    EXPECT_FALSE(SignJobFile("pw", "sendlist", "s", path));
    EXPECT_FALSE(platform::PathExists(path));

    testing_support::WriteFile(path, "data");
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(SignJobFile("pw", "sendlist", "s", path));
    ::close(fd);
    EXPECT_EQ(ReadBytes(path).size(), 4u);
    EXPECT_TRUE(SignJobFile("pw", "sendlist", "s", path));
}

TEST_F(FaxImageTest, CopyDocumentToSentMakesAUniqueCopy) {
    const std::string sent = m_dir / "SentFaxes";
    ASSERT_EQ(platform::CreateDir(sent), 0);
    const std::string doc = m_dir / "report.TIF";
    testing_support::WriteFile(doc, "image bytes");
    testing_support::FakePrompt prompt;

    std::optional<std::string> a = CopyDocumentToSent(doc, sent, prompt);
    std::optional<std::string> b = CopyDocumentToSent(doc, sent, prompt);
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b); // two sends within a second do not share a copy
    for (const std::string& copy : {*a, *b}) {
        std::string name = platform::BaseName(copy);
        ASSERT_EQ(name.size(), std::string("report").size() + 8 + 4) << name;
        EXPECT_EQ(name.substr(0, 6), "report");
        EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 6), 14u) << name;
        EXPECT_EQ(name.substr(14), ".TIF");
        EXPECT_EQ(testing_support::ReadFileOrDie(copy), "image bytes");
    }
    EXPECT_TRUE(prompt.fileErrors.empty());
}

TEST_F(FaxImageTest, CopyDocumentToSentReportsAFailedCopy) {
    testing_support::FakePrompt prompt;
    EXPECT_FALSE(CopyDocumentToSent(m_dir / "gone.tif", m_dir.Path(), prompt));
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find("gone.tif"), std::string::npos);

    testing_support::WriteFile(m_dir / "doc.tif", "x");
    EXPECT_FALSE(CopyDocumentToSent(m_dir / "doc.tif", m_dir / "no-such-dir", prompt));
    ASSERT_EQ(prompt.fileErrors.size(), 2u);
    EXPECT_NE(prompt.fileErrors[1].find("no-such-dir"), std::string::npos);
}

// A FIFO named like a printed document froze the window at "Отправить факс" (the copy waited
// for a writer); a link to /dev/zero was copied without end. Each reader of a document refuses
// them at once, before libtiff opens anything, and the send says which file it is.
TEST_F(FaxImageTest, DocumentsThatAreNoFilesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo((m_dir / "scan.tif").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (m_dir / "zero.tif").c_str()), 0);
    const std::string sent = m_dir / "SentFaxes";
    ASSERT_EQ(platform::CreateDir(sent), 0);
    for (const std::string& doc : {m_dir / "scan.tif", m_dir / "zero.tif"}) {
        testing_support::FakePrompt prompt;
        EXPECT_FALSE(CopyDocumentToSent(doc, sent, prompt));
        ASSERT_EQ(prompt.fileErrors.size(), 1u);
        EXPECT_EQ(prompt.fileErrors[0], FormatString(LoadString(9446), doc));
        EXPECT_EQ(CountPages(doc), 0);
        EXPECT_FALSE(CopyPages(doc, m_dir / "out.tif", false));
        EXPECT_EQ(SplitPerRecipient(doc, 1, m_merge).error, SplitError::OpenInput);
    }
    EXPECT_TRUE(platform::ListDir(sent).empty());
}

} // namespace
