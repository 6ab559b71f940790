#include "TiffTestFiles.h"
#include "support/FaxsimProcess.h"
#include "support/ReplyServer.h"
#include "support/TestSupport.h"

#include "FaxSim.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/SendJob.h"
#include "service/FormPost.h"
#include "store/FaxRecords.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace sending_test;
using testing_support::RunShell;
using testing_support::RunVelquinTool;
using testing_support::TempDir;

namespace {

class VelquinToolSendTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        ASSERT_TRUE(m_sim.Start({"--account", "demo:secret12"}));
        testing_support::WriteFile(m_dir / "pw", "secret12\n");
        std::string out;
        ASSERT_EQ(RunVelquinTool("setup --create --fax-dir " + (m_dir / "fax") + " --data-dir " +
                                     (m_dir / "data") + " --api-host " + m_sim.HostPort() +
                                     " --user demo --password-file " + (m_dir / "pw"),
                                 out),
                  0)
            << out;
        // The store's folders are left to the commands, as on a fresh machine.
        m_doc = m_dir / "doc.tif";
        WriteBilevelTiff(m_doc, {.pages = 2});
    }
    // The service's report page for the account.
    std::string Gate() {
        return testing_support::HttpGet(m_sim.Port(), "/api/__gate.php?username=demo&password=" +
                                                          PasswordDigest("secret12"));
    }
    std::vector<platform::DirEntry> Sent(const char* pattern) {
        return platform::ListMatching(m_dir / "data/SentFaxes", pattern);
    }

    TempDir m_dir;
    testing_support::FaxsimProcess m_sim;
    std::string m_doc;
};

TEST_F(VelquinToolSendTest, SendSubmitsTheCompletedNumberAndWritesTheJobFile) {
    std::string out;
    ASSERT_EQ(RunVelquinTool("send --to 3520809 " + m_doc, out), 0) << out;
    EXPECT_NE(("\n" + out).find("\n5000001\n"), std::string::npos) << out;
    EXPECT_NE(Gate().find("<td>5000001</td><td>88123520809</td>"), std::string::npos) << Gate();

    auto images = Sent("doc*.tif");
    auto jobs = Sent("doc*.FAX");
    ASSERT_EQ(images.size(), 1u);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(platform::Stem(images[0].name), platform::Stem(jobs[0].name));
    const std::string image = m_dir / ("data/SentFaxes/" + images[0].name);
    EXPECT_TRUE(faxsim::HasValidTrailer(testing_support::ReadFileOrDie(image), "secret12"));
    auto record =
        LoadSentRecord(testing_support::ReadFileOrDie(m_dir / ("data/SentFaxes/" + jobs[0].name)));
    auto* single = dynamic_cast<CSingleFaxEntry*>(record.get());
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->m_faxId, 5000001);
    EXPECT_EQ(single->m_recipient, "88123520809");
    EXPECT_EQ(single->m_path, image);
    EXPECT_TRUE(platform::PathExists(m_doc)) << "the document itself stays";

    // The send counters were saved: the next Done takes the next fax number.
    ASSERT_EQ(RunVelquinTool("settings", out), 0);
    EXPECT_NE(out.find("1000000001"), std::string::npos) << out;

    // A "+" is dialled abroad, as the address book import reads it; the area prefix stays off.
    ASSERT_EQ(RunVelquinTool("send --to '+7 (495) 123-45-67' " + m_doc, out), 0) << out;
    EXPECT_NE(Gate().find("<td>81074951234567</td>"), std::string::npos) << Gate();
}

// A PostScript document goes through the fax printer (velquin-print and Ghostscript) and is sent
// as the fax image it made; one the printer cannot render sends nothing and says why.
TEST_F(VelquinToolSendTest, APrintableDocumentIsSentAsTheFaxPrintersImage) {
    const std::string ps = m_dir / "report.ps";
    testing_support::WriteFile(ps, "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
                                   "72 720 moveto (Report) show showpage\n");
    std::string out;
    ASSERT_EQ(RunVelquinTool("send --to 3520809 " + ps, out), 0) << out;
    EXPECT_NE(Gate().find("<td>88123520809</td>"), std::string::npos) << Gate();
    auto images = Sent("report*.tif");
    ASSERT_EQ(images.size(), 1u);
    ASSERT_EQ(RunVelquinTool("count-pages " + (m_dir / ("data/SentFaxes/" + images[0].name)), out),
              0);
    EXPECT_EQ(out, "1\n");

    const std::string broken = m_dir / "broken.pdf";
    testing_support::WriteFile(broken, "%PDF-1.4\nnot a document\n");
    EXPECT_EQ(RunVelquinTool("send --to 3520809 " + broken, out), 1);
    EXPECT_NE(out.find("the fax printer"), std::string::npos) << out;
    EXPECT_TRUE(Sent("broken*").empty());
    EXPECT_EQ(Sent("*.FAX").size(), 1u);
}

TEST_F(VelquinToolSendTest, RefusalsAndBadArguments) {
    std::string out;
    testing_support::WriteFile(m_dir / "bad", "wrongpw1\n");
    EXPECT_EQ(
        RunVelquinTool("send --to 3520809 --password-file " + (m_dir / "bad") + " " + m_doc, out),
        1);
    EXPECT_NE(out.find("Неверное имя пользователя или пароль"), std::string::npos) << out;
    EXPECT_EQ(Sent("doc*").size(), 0u) << "a refused copy is removed";

    EXPECT_EQ(RunVelquinTool("send --to 12 " + m_doc, out), 1);
    EXPECT_NE(out.find("Указан некорректный телефонный номер"), std::string::npos) << out;
    EXPECT_EQ(RunVelquinTool("send --to 3520809 --attempts 10 " + m_doc, out), 2);
    EXPECT_EQ(RunVelquinTool("send --to 3520809 --at 2026-13-01 " + m_doc, out), 2);
    EXPECT_EQ(RunVelquinTool("send " + m_doc, out), 2);

    ASSERT_EQ(testing_support::HttpGet(m_sim.Port(), "/__control?fault=http500").find("ok") !=
                  std::string::npos,
              true);
    EXPECT_EQ(RunVelquinTool("send --to 3520809 " + m_doc, out), 1);
    EXPECT_NE(out.find("the reply of " + m_sim.HostPort() + " cannot be read"), std::string::npos)
        << out;
    EXPECT_EQ(Sent("*").size(), 0u);
    // The one-off password did not replace the stored one.
    EXPECT_EQ(RunVelquinTool("send --to 3520809 " + m_doc, out), 0) << out;
}

TEST_F(VelquinToolSendTest, SendListPostsTheNumberList) {
    const std::string numbers = "3520809;Иванов;ООО Ромашка\r\n84951234567;;\r\n";
    testing_support::WriteFile(m_dir / "numbers.csv", platform::Utf8ToCp1251(numbers));
    std::string out;
    ASSERT_EQ(RunVelquinTool("send-list --numbers " + (m_dir / "numbers.csv") +
                                 " --attempts 2 --delay 15 --at \"2030-01-02 03:04\" " + m_doc,
                             out),
              0)
        << out;
    EXPECT_NE(("\n" + out).find("\n5000001\n"), std::string::npos) << out;
    EXPECT_NE(Gate().find("список: 2 номеров"), std::string::npos) << Gate();
    auto lists = Sent("doc*.FBL");
    ASSERT_EQ(lists.size(), 1u);
    std::string fbl = testing_support::ReadFileOrDie(m_dir / ("data/SentFaxes/" + lists[0].name));
    EXPECT_EQ(fbl.substr(0, fbl.size() - 32),
              "1000000000 88123520809\r\n1000000001 84951234567\r\n\r\n");
    auto jobs = Sent("doc*.FAX");
    ASSERT_EQ(jobs.size(), 1u);
    auto record =
        LoadSentRecord(testing_support::ReadFileOrDie(m_dir / ("data/SentFaxes/" + jobs[0].name)));
    auto* list = dynamic_cast<CGroupFaxEntry*>(record.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->m_listId, 5000001);
    ASSERT_EQ(list->m_recipients.size(), 2u);
    EXPECT_EQ(list->m_recipients[0].m_recipientLabel, "ООО Ромашка");
    EXPECT_EQ(list->m_recipients[0].m_pages, 2);

    // The same list saved as "Unicode text".
    testing_support::WriteFile(m_dir / "numbers.csv", testing_support::UnicodeText(numbers, true));
    ASSERT_EQ(RunVelquinTool("send-list --numbers " + (m_dir / "numbers.csv") + " " + m_doc, out),
              0);
    EXPECT_NE(out.find("2 numbers accepted as job 5000002"), std::string::npos) << out;

    EXPECT_EQ(RunVelquinTool("send-list --numbers " + (m_dir / "none.csv") + " " + m_doc, out), 1);
    EXPECT_NE(out.find("Не могу открыть файл с данными"), std::string::npos) << out;
}

// A service other than the simulator: replies in Windows-1251 without an encoding
// declaration or with a document type declaration, acceptances without a usable job id, a reply
// cut short and an error page; then no service at all.
TEST_F(VelquinToolSendTest, CodePageRepliesAreReadAndUnansweredSubmissionsAreTold) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n";
    const std::string refused =
        head + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><response><error code=\"7\" message=\"" +
        platform::Utf8ToCp1251("Недостаточно средств на счёте") + "\"/></response>";
    auto accepted = [&](const std::string& doctype, const std::string& item) {
        return head + "<?xml version=\"1.0\"?>" + doctype +
               "<response><error code=\"0\" message=\"" + platform::Utf8ToCp1251("Факс принят") +
               "\" details=\"\"/><data>" + item + "</data></response>";
    };
    const std::string cut = head + "<?xml version=\"1.0\"?><response><error code=\"0\"";
    const std::string errorPage =
        "HTTP/1.0 502 Bad Gateway\r\n\r\n<html><body>Bad Gateway</body></html>";
    testing_support::CReplyServer server({refused, accepted("", "<item id=\"4711\"/>"),
                                          accepted("<!DOCTYPE response>", "<item id=\"4712\"/>"),
                                          accepted("", "<item/>"),
                                          accepted("", "<item id=\"-5\"/>"), cut, errorPage});
    std::string out;
    const std::string setup =
        "setup --fax-dir " + (m_dir / "fax") + " --data-dir " + (m_dir / "data") + " --api-host ";
    ASSERT_EQ(RunVelquinTool(setup + server.HostPort(), out), 0) << out;
    const std::string told(LoadString(kMsgNoSubmitReply));
    const std::string sendOne = "send --to 3520809 " + m_doc;

    EXPECT_EQ(RunVelquinTool(sendOne, out), 1);
    EXPECT_NE(out.find("Недостаточно средств на счёте"), std::string::npos) << out;
    for (const char* id : {"4711", "4712"}) {
        ASSERT_EQ(RunVelquinTool(sendOne, out), 0) << out;
        EXPECT_NE(("\n" + out).find("\n" + std::string(id) + "\n"), std::string::npos) << out;
    }
    // No job id, a negative one, a cut reply, an error page: the fax may have gone, but no job
    // is recorded.
    testing_support::WriteFile(m_dir / "numbers.csv", "3520809\r\n84951234567\r\n");
    const std::string sendList = "send-list --numbers " + (m_dir / "numbers.csv") + " " + m_doc;
    for (const std::string& command : {sendOne, sendOne, sendOne, sendList}) {
        EXPECT_EQ(RunVelquinTool(command, out), 1);
        EXPECT_NE(out.find(told), std::string::npos) << out;
        EXPECT_NE(out.find("cannot be read"), std::string::npos) << out;
    }
    EXPECT_EQ(Sent("doc*.FAX").size(), 2u);
    EXPECT_EQ(server.Requests(), 7);

    // A connection refused: nothing was sent, and the user is told so.
    ASSERT_EQ(RunVelquinTool(setup + "127.0.0.1:1", out), 0) << out; // nothing listens there
    for (const std::string& command : {sendOne, sendList}) {
        EXPECT_EQ(RunVelquinTool(command, out), 1);
        EXPECT_NE(out.find(LoadString(kMsgSubmitNotSent)), std::string::npos) << out;
        EXPECT_NE(out.find("nothing was sent"), std::string::npos) << out;
    }
}

// A real full disk (a small tmpfs as SentFaxes; needs root to mount): the record of a send is
// made before the post, so a disk without room for it stops the send before the service has the
// fax, and a disk that fills while the service answers still keeps the accepted fax's record.
// A refusal of 7 MB kept the window busy for 21 s: what is shown is its start, cut between
// characters and marked; a refusal of a thousand lines is cut too.
TEST_F(VelquinToolSendTest, AHugeRefusalIsShownCut) {
    auto refusal = [](const std::string& text) {
        return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?>"
               "<response><error code=\"7\" message=\"" +
               text + "\"/></response>";
    };
    std::string wide = "x", tall;
    while (wide.size() < (7u << 20)) {
        wide += "Отказ"; // two bytes a letter: a cut after an odd count of bytes splits one
    }
    for (int i = 0; i < 1000; ++i) {
        tall += "строка&#10;";
    }
    testing_support::CReplyServer server({refusal(wide), refusal(tall)});
    std::string out;
    ASSERT_EQ(RunVelquinTool("setup --fax-dir " + (m_dir / "fax") + " --data-dir " +
                                 (m_dir / "data") + " --api-host " + server.HostPort(),
                             out),
              0)
        << out;

    EXPECT_EQ(RunVelquinTool("send --to 3520809 " + m_doc, out), 1);
    const std::string shown = "x" + std::string(wide, 1, 2 * (kMaxShownChars - 1)) + "…";
    EXPECT_NE(out.find(shown + "\n"), std::string::npos) << out.substr(0, 200);
    EXPECT_LT(out.size(), shown.size() + 1000);
    EXPECT_EQ(RunVelquinTool("send --to 3520809 " + m_doc, out), 1);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = out.find("строка", at)) != std::string::npos; ++at) {
        ++lines;
    }
    EXPECT_EQ(lines, kMaxShownLines) << out;
    EXPECT_NE(out.find("строка…"), std::string::npos) << out;
}

TEST_F(VelquinToolSendTest, AFullDiskNeverLosesAnAcceptedFax) {
    const std::string sent = m_dir / "data/SentFaxes";
    std::string out;
    std::filesystem::create_directories(sent);
    if (::geteuid() != 0 || RunShell("mount -t tmpfs -o size=256k,mode=0700 tmpfs " + sent, out)) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << out;
    }
    struct Unmount {
        std::string dir;
        ~Unmount() {
            std::string ignored;
            RunShell("umount " + dir, ignored);
        }
    } unmount{sent};
    auto fill = [&] { RunShell("dd if=/dev/zero of=" + sent + "/fill bs=4k 2>/dev/null", out); };

    // Room for the copy of the document, none for its job file.
    const std::uint64_t pages = (*platform::FileSize(m_doc) + 32 + 4095) / 4096;
    RunShell("dd if=/dev/zero of=" + sent + "/room bs=4k count=" + std::to_string(pages), out);
    fill();
    platform::DeleteFile(sent + "/room");
    EXPECT_EQ(RunVelquinTool("send --to 3520809 " + m_doc, out), 1);
    EXPECT_NE(out.find(".FAX"), std::string::npos) << out;
    EXPECT_EQ(Gate().find("88123520809"), std::string::npos) << "posted without a record";
    EXPECT_TRUE(Sent("doc*").empty());
    platform::DeleteFile(sent + "/fill");

    // The disk fills while the service answers.
    testing_support::HttpGet(m_sim.Port(), "/__control?fault=delay&delay=1500");
    std::atomic<int> code{-1};
    std::string told;
    std::thread send([&] { code = RunVelquinTool("send --to 3520809 " + m_doc, told); });
    while (Sent("doc*.FAX").empty() && code < 0) {
        ::usleep(10000);
    }
    fill();
    send.join();
    ASSERT_EQ(code, 0) << told;
    auto jobs = Sent("doc*.FAX");
    ASSERT_EQ(jobs.size(), 1u);
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(sent + "/" + jobs[0].name));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*record).m_faxId, 5000001);
}

} // namespace
