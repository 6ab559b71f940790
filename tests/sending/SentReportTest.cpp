#include "TiffTestFiles.h"
#include "support/TestSupport.h"

#include "platform/Files.h"
#include "sending/SentReport.h"
#include "service/JobState.h"
#include "store/FaxRecords.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <sstream>

using namespace sending_test;
using testing_support::RunShell;
using testing_support::RunVelquinTool;
using testing_support::TempDir;

namespace {

std::int64_t LocalTime(int y, int m, int d, int h) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

CFaxEntry Recipient(const char* number, const char* label, std::int32_t id, std::int32_t state) {
    CFaxEntry r;
    r.m_recipient = number;
    r.m_recipientLabel = label;
    r.m_faxId = id;
    r.m_status = state;
    r.m_pages = 1;
    return r;
}

// A store set up by the tool, with a single fax and a list of three sent on 2024-05-02, a
// single fax sent before 2024-05-01, each with its own image.
class SentReportStore : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::IsolateEnvironment(m_dir.Path());
        std::string out;
        ASSERT_EQ(RunVelquinTool("setup --create --fax-dir " + m_dir / "fax" + " --data-dir " +
                                     m_dir / "data",
                                 out),
                  0)
            << out;
        m_sent = m_dir / "data/SentFaxes";
        std::filesystem::create_directories(m_sent);

        CSingleFaxEntry single("Счёт № 7");
        single.m_time = LocalTime(2024, 5, 2, 10);
        static_cast<CFaxEntry&>(single) =
            Recipient("88125550101", "ООО «Ромашка»", 501, kJobStateDelivered);
        single.m_lastAttempt = LocalTime(2024, 5, 2, 11);
        Place("doc00000001", single, single);

        CGroupFaxEntry list("Договор \"Альфа\", ред. 2");
        list.m_time = LocalTime(2024, 5, 2, 12);
        list.m_recipients = {Recipient("84955550111", "Склад", 601, kJobStateDelivered),
                             Recipient("84955550112", "", 602, kJobStateNotDelivered),
                             Recipient("84955550113", "", 603, kJobStateNone)};
        list.m_recipients[1].m_serverId = "srv-602";
        list.m_recipients[1].m_attempts.push_back({1, 3, 0, LocalTime(2024, 5, 3, 9)});
        Place("doc00000002", list, list);

        CSingleFaxEntry old("Старый факс");
        old.m_time = LocalTime(2024, 4, 30, 10);
        static_cast<CFaxEntry&>(old) = Recipient("88120000000", "", 401, kJobStateQueued);
        Place("doc00000000", old, old);
    }

    void Place(const std::string& stem, CFaxEntryBase& record, CAttach& attach) {
        attach.m_path = m_sent + "/" + stem + ".tif";
        WriteBilevelTiff(attach.m_path, {.pages = 2, .width = 1728, .height = 2200});
        ASSERT_EQ(platform::AtomicWriteFile(m_sent + "/" + stem + ".fax", StoreRecord(record)), 0);
    }

    TempDir m_dir;
    std::string m_sent;
};

// The mean darkness (0 white .. 1 black) of page `page` rendered in grey: the thumbnail covers most
// of it.
double PageDarkness(const std::string& pdf, int page) {
    std::string pgm;
    const std::string n = std::to_string(page);
    if (RunShell("pdftoppm -gray -r 20 -f " + n + " -l " + n + " " + pdf, pgm) != 0) {
        return -1;
    }
    // "P5\n<w> <h>\n255\n" then one byte per pixel.
    std::istringstream in(pgm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    double dark = 0;
    for (int i = 0; i < w * h; ++i) {
        dark += (255 - in.get()) / 255.0;
    }
    return magic == "P5" && w * h > 0 ? dark / (w * h) : -1;
}

TEST_F(SentReportStore, PdfHasSummaryAndAPagePerRecipient) {
    const std::string pdf = m_dir / "proof.pdf";
    std::string out;
    ASSERT_EQ(RunVelquinTool("report --since 2024-05-01 --format pdf --output " + pdf, out), 0)
        << out;
    ASSERT_EQ(RunShell("pdfinfo " + pdf, out), 0);
    EXPECT_NE(out.find("Pages:           5\n"), std::string::npos) << out;
    ASSERT_EQ(RunShell("pdftotext " + pdf + " -", out), 0);
    for (const char* text :
         {"Счёт № 7", "88125550101", "ООО «Ромашка»", "501", "2024-05-02 11:00:00",
          "Сводка по рассылке", "Получателей: 3", "Договор \"Альфа\", ред. 2", "84955550113",
          "srv-602", "2024-05-03 09:00:00", "Доставлен успешно: 1", "Не доставлен: 1",
          "Нет сведений: 1"}) {
        EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    }
    EXPECT_EQ(out.find("Старый факс"), std::string::npos);
    EXPECT_EQ(out.find("Изображение"), std::string::npos) << out;
    // The list's image is in the file once, drawn on each of its three pages.
    ASSERT_EQ(RunShell("pdfimages -list " + pdf + " | awk 'NR > 2 {print $1, $11}'", out), 0);
    std::istringstream images(out);
    std::vector<std::pair<int, int>> pageObject;
    for (int page = 0, object = 0; images >> page >> object;) {
        pageObject.emplace_back(page, object);
    }
    ASSERT_EQ(pageObject.size(), 4u) << out;
    EXPECT_EQ(pageObject[0].first, 1);
    EXPECT_EQ(pageObject[1], std::make_pair(3, pageObject[1].second));
    EXPECT_EQ(pageObject[3], std::make_pair(5, pageObject[1].second));
    EXPECT_EQ(pageObject[2].second, pageObject[1].second);
    EXPECT_NE(pageObject[0].second, pageObject[1].second);
    // The thumbnail shows the page in its own polarity: a third of the image is dark, and it
    // covers about half the page (inverted, the page would be twice as dark).
    const double darkness = PageDarkness(pdf, 1);
    EXPECT_GT(darkness, 0.1);
    EXPECT_LT(darkness, 0.25);
}

TEST_F(SentReportStore, CsvFiltersByDateAndStateAndQuotes) {
    std::string out;
    ASSERT_EQ(RunVelquinTool("report --since 2024-05-01 --format csv", out), 0) << out;
    std::istringstream lines(out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 5u) << out;
    EXPECT_EQ(rows[0],
              "Документ,Номер,Получатель,Страниц,Задание,Отправлен,Состояние,Сведения от\r");
    EXPECT_EQ(rows[1], "Счёт № 7,88125550101,ООО «Ромашка»,1,501,2024-05-02 10:00:00,Доставлен "
                       "успешно,2024-05-02 11:00:00\r");
    EXPECT_EQ(rows[3], "\"Договор \"\"Альфа\"\", ред. 2\",84955550112,,1,srv-602,2024-05-02 "
                       "12:00:00,Не доставлен,2024-05-03 09:00:00\r");
    const std::string unknown = ",Нет сведений,\r";
    EXPECT_EQ(rows[4].substr(rows[4].size() - unknown.size()), unknown) << rows[4];

    ASSERT_EQ(RunVelquinTool("report --since=2024-04-01 --state queued --format csv", out), 0);
    EXPECT_NE(out.find("\r\nСтарый факс,88120000000,"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    ASSERT_EQ(RunVelquinTool("report --since 2024-04-01 --state none --format csv --output " +
                                 m_dir / "none.csv",
                             out),
              0);
    const std::string none = testing_support::ReadFileOrDie(m_dir / "none.csv");
    EXPECT_EQ(std::count(none.begin(), none.end(), '\n'), 2) << none;
    EXPECT_NE(none.find("84955550113"), std::string::npos) << none;

    for (const char* bad : {"--format csv", "--since 2024-02-30 --format csv",
                            "--since 2024-05-01 --format xml", "--since 2024-05-01 --format pdf",
                            "--since 2024-05-01 --state lost --format csv", "--since"}) {
        EXPECT_EQ(RunVelquinTool(std::string("report ") + bad, out), 2) << bad;
        EXPECT_NE(out.find("usage: velquin-tool report"), std::string::npos) << out;
    }
}

TEST(SentReportTest, MissingOrDamagedImageGetsNoticeAndFailedWriteLeavesNothing) {
    TempDir dir;
    testing_support::WriteFile(dir / "bad.tif", std::string("II*\0\x08\0\0\0\xff\xff", 10));
    CPersonalFaxEntry mailing("Уведомления");
    mailing.m_time = LocalTime(2024, 5, 2, 10);
    for (const char* image : {"gone.tif", "bad.tif"}) {
        CAttachFaxEntry r;
        static_cast<CFaxEntry&>(r) = Recipient("88125550121", "", 701, kJobStateQueued);
        r.m_path = dir / image;
        mailing.m_recipients.push_back(r);
    }
    const std::string pdf = dir / "proof.pdf";
    ASSERT_EQ(SaveProof({&mailing}, dir.Path(), pdf), "");
    std::string out;
    ASSERT_EQ(RunShell("pdftotext " + pdf + " -", out), 0);
    EXPECT_NE(out.find("Изображение факса не найдено"), std::string::npos) << out;
    EXPECT_NE(out.find("Изображение факса не удалось прочитать"), std::string::npos) << out;

    // Cannot create the file; cannot put the finished file in place (a folder is there).
    EXPECT_NE(SaveProof({&mailing}, dir.Path(), dir / "no/such/dir/p.pdf")
                  .find("Не удалось записать отчёт"),
              std::string::npos);
    std::filesystem::create_directory(dir / "taken.pdf");
    EXPECT_NE(SaveProof({&mailing}, dir.Path(), dir / "taken.pdf").find("taken.pdf"),
              std::string::npos);
    EXPECT_NE(SaveProof({}, dir.Path(), dir / "empty.pdf"), "");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bad.tif", "proof.pdf", "taken.pdf"}));
}

} // namespace
