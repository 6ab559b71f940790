// The fax printer as Velquin's intake sees it: velquin-print and its CUPS backend run as
// programs, their files listed by LoadDocuments.
#include "app/DirWatcher.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "store/DocumentIntake.h"
#include "support/TestSupport.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tiffio.h>

using testing_support::BuildDir;
using testing_support::ReadFileOrDie;
using testing_support::RunShell;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const char* const kThreePages = "%!PS\n"
                                "/Helvetica findfont 48 scalefont setfont\n"
                                "1 1 3 { 72 720 moveto (Page ) show 3 string cvs show "
                                "72 72 moveto 450 0 rlineto stroke showpage } for\n";

std::string Program(const char* name) {
    return BuildDir() + "/tools/velquin-tool/" + name;
}

struct TiffFacts {
    int pages = 0;
    std::uint32_t width = 0, height = 0;
    std::uint16_t compression = 0, bits = 0, photometric = 0;
    float xres = 0, yres = 0;
};

TiffFacts ReadFacts(const std::string& path) {
    TiffFacts f;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        return f;
    }
    f.pages = TIFFNumberOfDirectories(tif);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &f.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &f.yres);
    TIFFClose(tif);
    return f;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : platform::ListDir(dir)) {
        names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Two passes of the intake: the first turns the finished print status into the name file,
// the second reads it (the watcher's reload does the same).
std::vector<std::pair<std::string, std::string>> ListTwice(const std::string& dir) {
    DocumentList docs;
    LoadDocuments(docs, dir);
    LoadDocuments(docs, dir);
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& d : docs) {
        out.emplace_back(platform::BaseName(d->m_path), d->m_title);
    }
    std::sort(out.begin(), out.end());
    return out;
}

using Listing = std::vector<std::pair<std::string, std::string>>;

class VelquinPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        m_fax = m_dir / "fax";
        platform::CreateDir(m_fax);
        m_ps = m_dir / "report.ps";
        WriteFile(m_ps, kThreePages);
        if (!platform::PathExists("/usr/bin/gs")) {
            GTEST_SKIP() << "Ghostscript is not installed";
        }
    }
    std::string Print(const std::string& args) {
        std::string out;
        m_rc = RunShell(Program("velquin-print") + " " + args, out);
        return out;
    }
    TempDir m_dir;
    std::string m_fax, m_ps;
    int m_rc = -1;
};

} // namespace

TEST_F(VelquinPrintTest, ThreePagePostScriptBecomesAFineGroup4FaxTitledByTheIntake) {
    std::string out = Print("--fax-dir " + m_fax + " --title 'Отчёт за май' " + m_ps);
    ASSERT_EQ(m_rc, 0) << out;
    // Only the image and its print status: no work files left behind.
    ASSERT_EQ(Names(m_fax), (std::vector<std::string>{"report.grp", "report.tif"}));
    TiffFacts f = ReadFacts(m_fax + "/report.tif");
    EXPECT_EQ(f.pages, 3);
    EXPECT_EQ(f.width, 1728u);
    EXPECT_NEAR(f.height, 2292u, 2);
    EXPECT_EQ(f.compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(f.bits, 1);
    EXPECT_EQ(f.photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_FLOAT_EQ(f.xres, 204);
    EXPECT_FLOAT_EQ(f.yres, 196);
    EXPECT_EQ(platform::ReadIniString(m_fax + "/report.grp", "TW Ostrevo", "Print status", "", 256),
              "Printing finished successfully");

    // The first pass names it and writes the name file; the next one reads it back.
    DocumentList docs;
    LoadDocuments(docs, m_fax);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]->m_title, "Отчёт за май");
    EXPECT_EQ(ReadFileOrDie(m_fax + "/report.tag"), platform::Utf8ToCp1251("Отчёт за май"));
    EXPECT_FALSE(platform::PathExists(m_fax + "/report.grp"));
    LoadDocuments(docs, m_fax);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]->m_title, "Отчёт за май");
}

TEST_F(VelquinPrintTest, StandardResolutionLetterPaperAndTitlesFromFileNames) {
    std::string out = Print("--fax-dir " + m_fax + " --standard --letter " + m_ps);
    ASSERT_EQ(m_rc, 0) << out;
    TiffFacts f = ReadFacts(m_fax + "/report.tif");
    EXPECT_EQ(f.pages, 3);
    EXPECT_EQ(f.width, 1728u);
    EXPECT_NEAR(f.height, 1078u, 2); // 11 inches at 98 dpi
    EXPECT_FLOAT_EQ(f.yres, 98);

    // The same file again, and a fax image printed from standard input: nothing is replaced.
    out = Print("--fax-dir " + m_fax + " " + m_ps);
    ASSERT_EQ(m_rc, 0) << out;
    out =
        Print("--fax-dir " + m_fax + " --title '  \"Quoted\" name ' - < " + m_fax + "/report.tif");
    ASSERT_EQ(m_rc, 0) << out;
    Listing want = {{"_Quoted_ name.tif", "  \"Quoted\" name "},
                    {"report.tif", "report"},
                    {"report_2.tif", "report"}};
    EXPECT_EQ(ListTwice(m_fax), want);
    // Named after its title, and a fax image keeps its pages.
    EXPECT_EQ(ReadFacts(m_fax + "/_Quoted_ name.tif").pages, 3);
}

TEST_F(VelquinPrintTest, FaxDirComesFromTheSettings) {
    std::string out;
    // Not set up yet: a clear message and nothing written.
    out = Print(m_ps);
    EXPECT_EQ(m_rc, 1);
    EXPECT_NE(out.find("velquin-tool setup"), std::string::npos) << out;
    ASSERT_EQ(testing_support::RunVelquinTool("setup --fax-dir " + m_fax + " --data-dir " +
                                                  (m_dir / "data") + " --create",
                                              out),
              0)
        << out;
    const mode_t umask = ::umask(022);
    out = Print(m_ps);
    ::umask(umask);
    ASSERT_EQ(m_rc, 0) << out;
    EXPECT_EQ(ListTwice(m_fax), (Listing{{"report.tif", "report"}}));
    // The printed fax is the user's alone, its name file too.
    for (const std::string& name : Names(m_fax)) {
        struct stat st {};
        ASSERT_EQ(::stat((m_fax + "/" + name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
    }
}

TEST_F(VelquinPrintTest, FailuresSayWhyAndLeaveNothingInFaxDir) {
    std::string out = Print("--fax-dir " + m_dir / "missing" + " " + m_ps);
    EXPECT_EQ(m_rc, 1);
    EXPECT_NE(out.find("does not exist"), std::string::npos) << out;

    out = Print("--fax-dir " + m_fax + " " + m_dir / "absent.pdf");
    EXPECT_EQ(m_rc, 1);
    EXPECT_NE(out.find("cannot read"), std::string::npos) << out;

    WriteFile(m_dir / "notes.txt", "plain words");
    out = Print("--fax-dir " + m_fax + " " + m_dir / "notes.txt");
    EXPECT_EQ(m_rc, 1);
    EXPECT_NE(out.find("neither PDF"), std::string::npos) << out;

    EXPECT_EQ(RunShell("VELQUIN_GS=" + m_dir / "no-gs " + Program("velquin-print") + " --fax-dir " +
                           m_fax + " " + m_ps,
                       out),
              1);
    EXPECT_NE(out.find("ghostscript"), std::string::npos) << out;

    WriteFile(m_dir / "broken.ps", "%!PS\n/nosuchoperator load\n");
    out = Print("--fax-dir " + m_fax + " " + m_dir / "broken.ps");
    EXPECT_EQ(m_rc, 1);
    EXPECT_NE(out.find("Ghostscript could not render"), std::string::npos) << out;

    std::string pdf = "%PDF-1.4\n" + std::string(100, 'x'); // a cut PDF
    WriteFile(m_dir / "cut.pdf", pdf);
    out = Print("--fax-dir " + m_fax + " " + m_dir / "cut.pdf");
    EXPECT_EQ(m_rc, 1) << out;

    WriteFile(m_dir / "cut.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
    out = Print("--fax-dir " + m_fax + " " + m_dir / "cut.png");
    EXPECT_EQ(m_rc, 1) << out;

    EXPECT_EQ(Names(m_fax), std::vector<std::string>{});
}

// A PDF of `pages` pages that all show one page object: a small file that takes long to render.
std::string ManyPagePdf(int pages) {
    const std::string content = "72 72 m 500 700 l S";
    std::string kids;
    for (int i = 0; i < pages; ++i) {
        kids += "3 0 R ";
    }
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream"};
    std::string pdf = "%PDF-1.4\n", xref = "0000000000 65535 f \n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%010zu 00000 n \n", pdf.size());
        xref += offset;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string size = std::to_string(objects.size() + 1);
    return pdf + "xref\n0 " + size + "\n" + xref + "trailer\n<< /Size " + size +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
}

// Documents that would hold the print queue end at the job's bounds, each with its reason (the
// backend hands it to CUPS's log) and nothing left in FaxDir. The bounds are lowered to keep
// the test short; `timeout` only keeps an unbounded print from hanging the suite.
TEST_F(VelquinPrintTest, HostileDocumentsStopAtTheJobsBoundsAndSayWhy) {
    WriteFile(m_dir / "loop.ps", "%!PS\n{1 pop} loop\n");
    WriteFile(m_dir / "strings.ps", "%!PS\n/a [] def { /a [ a 65000 string ] def } loop\n");
    WriteFile(m_dir / "pages.pdf", ManyPagePdf(100000));
    struct Case {
        const char *file, *bounds, *reason;
    };
    // Without -dLastPage the PDF would render all its pages and meet the time bound instead.
    for (const Case& c : {Case{"loop.ps", "CPU_SECONDS=2", "2 seconds of processor time"},
                          Case{"strings.ps", "MEMORY_MB=200", "200 MB of memory"},
                          Case{"pages.pdf", "MAX_PAGES=3 VELQUIN_PRINT_CPU_SECONDS=30",
                               "(1024 MB per file, 3 pages)"}}) {
        std::string out;
        int rc =
            RunShell(std::string("VELQUIN_PRINT_") + c.bounds + " timeout -s KILL 120 " +
                         Program("velquin-print") + " --fax-dir " + m_fax + " " + (m_dir / c.file),
                     out);
        EXPECT_EQ(rc, 1) << c.file << ": " << out;
        EXPECT_NE(out.find(c.reason), std::string::npos) << c.file << ": " << out;
        EXPECT_EQ(Names(m_fax), std::vector<std::string>{}) << c.file;
    }
}

// Printing for a real user through CUPS is the "cups" suite; here the backend by hand, as
// CUPS calls it, for what needs no other user.
TEST_F(VelquinPrintTest, CupsBackendNamesItsDeviceAndNeverPrintsForRoot) {
    std::string out;
    std::string backend = Program("velquin-backend");
    // Discovery: no arguments.
    ASSERT_EQ(RunShell(backend, out), 0) << out;
    EXPECT_EQ(out.rfind("direct velquin ", 0), 0u) << out;
    EXPECT_EQ(RunShell(backend + " too few", out), 1);

    ASSERT_EQ(testing_support::RunVelquinTool("setup --fax-dir " + m_fax + " --data-dir " +
                                                  (m_dir / "data") + " --create",
                                              out),
              0)
        << out;
    std::string env = "DEVICE_URI=velquin:/ PRINTER=Velquin-Fax TMPDIR=" + m_dir.Path() + " ";
    // A job claiming root, or a system account, fails with an ERROR line for CUPS's log.
    for (const char* user : {"root", "daemon", "nobody"}) {
        EXPECT_EQ(RunShell(env + backend + " 17 " + user + " t 1 '' < " + m_ps, out), 1) << user;
        EXPECT_NE(out.find("ERROR: the fax printer does not print for"), std::string::npos) << out;
    }
    EXPECT_EQ(RunShell(env + backend + " 18 no-such-user-here t 1 '' < " + m_ps, out), 1);
    EXPECT_NE(out.find("ERROR: unknown user"), std::string::npos) << out;
    EXPECT_EQ(Names(m_fax), std::vector<std::string>{});
}

TEST_F(VelquinPrintTest, TheWatcherAnnouncesAFinishedPrint) {
    testing_support::FakeFrame frame;
    CDirWatcherThread watcher;
    watcher.Start(m_fax, frame);
    std::string out = Print("--fax-dir " + m_fax + " " + m_ps);
    ASSERT_EQ(m_rc, 0) << out;
    // Wait for the reload command (a generous bound, only against a hang).
    for (int i = 0; i < 400 && frame.PostedCommands().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    watcher.Stop();
    ASSERT_FALSE(frame.PostedCommands().empty());
    EXPECT_EQ(frame.PostedCommands().front(), 1026);
    Listing want = {{"report.tif", "report"}};
    EXPECT_EQ(ListTwice(m_fax), want);
}

TEST(UserGuideTest, TheBuiltGuideIsOneMhtmlPageWithItsScreenshots) {
    std::string path = BuildDir() + "/tools/velquin-tool/Help/TWVelquin.MHT";
    if (!platform::PathExists(path)) {
        GTEST_SKIP() << "the user guide is not built (no base64)";
    }
    std::string mht = ReadFileOrDie(path);
    const std::string boundary = "----=_NextPart_Velquin_Help";
    EXPECT_EQ(mht.rfind("From: <Saved by Velquin>\r\n", 0), 0u);
    EXPECT_NE(mht.find("Content-Type: multipart/related;"), std::string::npos);
    // The page first, then each image once; the closing boundary ends the file.
    std::size_t html = mht.find("Content-Type: text/html; charset=\"utf-8\"");
    std::size_t image = mht.find("Content-Type: image/png");
    ASSERT_NE(html, std::string::npos);
    ASSERT_NE(image, std::string::npos);
    EXPECT_LT(html, image);
    EXPECT_NE(mht.find("Content-Location: file:///twtiffview.png\r\n"), std::string::npos);
    EXPECT_EQ(mht.substr(mht.size() - boundary.size() - 6), "--" + boundary + "--\r\n");
    // Lines stay within the 78 columns of mail (the count includes the CR).
    std::size_t longest = 0, start = 0;
    for (std::size_t at = mht.find('\n'); at != std::string::npos; at = mht.find('\n', start)) {
        longest = std::max(longest, at - start);
        start = at + 1;
    }
    EXPECT_LE(longest, 79u);
}
