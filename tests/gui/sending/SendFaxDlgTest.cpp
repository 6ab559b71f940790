#include "GuiTestSupport.h"
#include "TiffTestFiles.h"

#include "app/Settings.h"
#include "gui/sending/SendFaxDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/SentFaxView.h"
#include "platform/Files.h"
#include "sending/SentReport.h"
#include "support/FaxsimProcess.h"

#include "FaxSim.h"
#include "platform/Registry.h"
#include "store/FaxRecords.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <unistd.h>

using gui_test::CellText;
using gui_test::CGuiFixture;
using gui_test::SentRow;
using gui_test::SentRowCount;
using gui_test::WaitFor;

namespace {

template <typename W> W* Child(QWidget* dlg, const char* name) {
    W* w = dlg->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Drives the modal dialog once it is up: `script` runs inside its event loop.
void WhenDialogShows(std::function<void(CSendFaxDlg&)> script) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, script = std::move(script)] {
        auto* dlg = qobject_cast<CSendFaxDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr) {
            return;
        }
        timer->stop();
        script(*dlg);
        timer->deleteLater();
    });
    timer->start();
}

void TypeNumber(CSendFaxDlg& dlg, const char* number) {
    auto* edit = Child<QLineEdit>(&dlg, "1039");
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(number));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
}

// Presses "Отправить" and waits for the reply to be applied.
void SendAndWait(CSendFaxDlg& dlg) {
    bool finished = false;
    QObject::connect(&dlg, &CSendFaxDlg::SendFinished, &dlg, [&finished] { finished = true; });
    Child<QPushButton>(&dlg, "1")->click();
    ASSERT_TRUE(WaitFor([&] { return finished; }, 30000));
}

struct SendFixture {
    CGuiFixture f;
    testing_support::FaxsimProcess sim;
    std::string document;
    std::string account = "demo:secret";

    void Start(const std::string& password) {
        ASSERT_TRUE(sim.Start({"--account", account, "--deliver-after-queries", "0"}));
        document = f.FaxDir() + "/report.tif";
        sending_test::BilevelSpec spec;
        spec.pages = 2;
        sending_test::WriteBilevelTiff(document, spec);
        testing_support::WriteFile(f.FaxDir() + "/report.tag", "Quarter report");
        f.apiHost = sim.HostPort();
        f.password = password;
        f.Start();
        Settings().RememberPwd = true;
        Settings().UserPWD = password;
    }
    CNewFaxView& View() { return *f.Frame().NewFaxView(); }
    void SelectFirst() { gui_test::ClickItem(View(), View().topLevelItem(0)); }
    std::vector<std::string> SentFiles() {
        std::vector<std::string> names;
        if (std::filesystem::exists(f.SentDir())) {
            for (const auto& e : std::filesystem::directory_iterator(f.SentDir())) {
                names.push_back(e.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(SendFaxDlgTest, SendsATypedShortNumberAndTheJobReachesTheSentTree) {
    SendFixture s;
    s.Start("secret");
    ASSERT_EQ(s.View().topLevelItemCount(), 1);
    EXPECT_EQ(s.View().topLevelItem(0)->text(0), QStringLiteral("Quarter report"));
    s.SelectFirst();

    bool checked = false;
    WhenDialogShows([&](CSendFaxDlg& dlg) {
        auto* send = Child<QPushButton>(&dlg, "1");
        auto* done = Child<QPushButton>(&dlg, "1047");
        EXPECT_TRUE(done->isDefault());
        EXPECT_FALSE(send->isEnabled());
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1004")->echoMode(), QLineEdit::Password);
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1002")->text(), QStringLiteral("demo"));
        EXPECT_FALSE(Child<QCheckBox>(&dlg, "1013")->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(&dlg, "1069")->isVisible());

        // Another print arrives while the dialog is open, and FaxDir is read again.
        gui_test::WritePrintedDocument(s.f.FaxDir(), "invoice", "Invoice");
        ASSERT_TRUE(WaitFor([&] { return s.View().topLevelItemCount() == 2; }));

        // Typed straight away, the number goes to its field, not to the account.
        ASSERT_EQ(dlg.focusWidget(), Child<QLineEdit>(&dlg, "1039"));
        QTest::keyClicks(dlg.focusWidget(), QStringLiteral("3520809"));
        // As one types, the number to be dialled shows under the field; "+" is dialled "810".
        auto* dialled = Child<QLabel>(&dlg, "1039_dialled");
        EXPECT_TRUE(dialled->text().endsWith(QStringLiteral(" 88123520809")))
            << dialled->text().toStdString();
        TypeNumber(dlg, "+7 (495) 123-45-67");
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1039")->text(), QStringLiteral("81074951234567"));
        EXPECT_TRUE(dialled->text().endsWith(QStringLiteral(" 81074951234567")));
        TypeNumber(dlg, "3520809");
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1039")->text(), QStringLiteral("88123520809"));
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1002")->text(), QStringLiteral("demo"));
        done->click();
        EXPECT_TRUE(send->isEnabled());
        // Any edit wants "Готово" again.
        QTest::keyClicks(Child<QLineEdit>(&dlg, "1039"), QStringLiteral("1"));
        EXPECT_FALSE(send->isEnabled());
        QTest::keyClick(Child<QLineEdit>(&dlg, "1039"), Qt::Key_Backspace);
        done->click();
        ASSERT_TRUE(send->isEnabled());
        SendAndWait(dlg);
        checked = true;
    });
    s.View().OnSendFax();
    ASSERT_TRUE(checked);

    // The document left the new faxes, image and name file; the later print stays.
    ASSERT_EQ(s.View().topLevelItemCount(), 1);
    EXPECT_EQ(s.View().topLevelItem(0)->text(0), QStringLiteral("Invoice"));
    EXPECT_FALSE(std::filesystem::exists(s.document));
    EXPECT_FALSE(std::filesystem::exists(s.f.FaxDir() + "/report.tag"));
    EXPECT_TRUE(std::filesystem::exists(s.f.FaxDir() + "/invoice.tag"));
    // The copy and its job file are in the store, and the sent tree shows the job.
    std::vector<std::string> sent = s.SentFiles();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].substr(0, 6), "report");
    CReceivedFaxTreeView* tree = s.f.Frame().SentView();
    ASSERT_EQ(SentRowCount(*tree), 1);
    // A typed number has no label to describe the fax: the row shows the number.
    EXPECT_EQ(CellText(SentRow(*tree, 0), 0), QStringLiteral("88123520809"));

    s.f.Frame().OnCommand(cmd::kSynchronise);
    EXPECT_TRUE(WaitFor(
        [&] {
            return SentRowCount(*tree) == 1 &&
                   CellText(SentRow(*tree, 0), 1) == QStringLiteral("Доставлен успешно");
        },
        30000));
    s.f.Stop();
}

TEST(SendFaxDlgTest, RefusedLoginShowsTheServiceMessageAndKeepsTheDialog) {
    SendFixture s;
    s.Start("wrong");
    s.SelectFirst();
    bool checked = false;
    WhenDialogShows([&](CSendFaxDlg& dlg) {
        TypeNumber(dlg, "88125550101");
        Child<QPushButton>(&dlg, "1047")->click();
        s.f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        SendAndWait(dlg);
        const std::vector<std::string> asked = s.f.Prompt().Asked();
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back(), "Неверное имя пользователя или пароль");
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(Child<QPushButton>(&dlg, "1")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(&dlg, "2")->isEnabled());
        Child<QPushButton>(&dlg, "2")->click();
        checked = true;
    });
    s.View().OnSendFax();
    ASSERT_TRUE(checked);
    // Cancelled: the copy is gone, the document stays.
    EXPECT_TRUE(s.SentFiles().empty());
    EXPECT_EQ(s.View().topLevelItemCount(), 1);
    EXPECT_TRUE(std::filesystem::exists(s.document));
    s.f.Stop();
}

TEST(SendFaxDlgTest, DeadServiceLeavesTheDialogUsable) {
    SendFixture s;
    s.Start("secret");
    s.sim.Stop();
    s.SelectFirst();
    bool checked = false;
    WhenDialogShows([&](CSendFaxDlg& dlg) {
        TypeNumber(dlg, "88125550101");
        Child<QPushButton>(&dlg, "1047")->click();
        const std::size_t before = s.f.Prompt().Asked().size();
        s.f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        SendAndWait(dlg);
        EXPECT_EQ(s.f.Prompt().Asked().size(), before + 1); // told that nothing answered
        EXPECT_FALSE(dlg.Busy());
        EXPECT_TRUE(Child<QPushButton>(&dlg, "1")->isEnabled());
        EXPECT_TRUE(Child<QLineEdit>(&dlg, "1039")->isEnabled());
        // The spins still work and clamp.
        auto* up = Child<QToolButton>(&dlg, "1057_up");
        for (int i = 0; i < 12; ++i) {
            up->click();
        }
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1054")->text(), QStringLiteral("9"));
        EXPECT_FALSE(Child<QPushButton>(&dlg, "1")->isEnabled());
        auto* down = Child<QToolButton>(&dlg, "1056_down");
        for (int i = 0; i < 70; ++i) {
            down->click();
        }
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1055")->text(), QStringLiteral("5"));
        // The pickers follow the send mode.
        EXPECT_FALSE(Child<QDateEdit>(&dlg, "1031")->isEnabled());
        Child<QRadioButton>(&dlg, "1030")->click();
        EXPECT_TRUE(Child<QDateEdit>(&dlg, "1031")->isEnabled());
        EXPECT_TRUE(Child<QTimeEdit>(&dlg, "1032")->isEnabled());
        dlg.reject();
        checked = true;
    });
    s.View().OnSendFax();
    ASSERT_TRUE(checked);
    EXPECT_TRUE(s.SentFiles().empty());
    EXPECT_EQ(s.View().topLevelItemCount(), 1);
    s.f.Stop();
}

// The fax id a signed image was signed with, among the first `count` ids; 0 when none.
std::int32_t SignedFaxId(const std::string& image, const std::string& number, int count) {
    const std::string bytes = testing_support::ReadFileOrDie(image);
    if (bytes.size() < 32) {
        return 0;
    }
    const std::string content = bytes.substr(0, bytes.size() - 32);
    for (std::int32_t id = kFirstFaxId; id < kFirstFaxId + count; ++id) {
        const std::string line = "demo 0000-00-00 00:00 " + std::to_string(id) + " 111005010";
        if (faxsim::SignatureTrailer("secret12", line, number, content) ==
            bytes.substr(bytes.size() - 32)) {
            return id;
        }
    }
    return 0;
}

void Click(QPushButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// The window is not the store's only writer: velquin-tool sets up and sends beside it, eight at
// once while the window sends too. No id is given twice, closing the window keeps what the tool
// wrote, and a job file that cannot be written never loses a fax the service has.
TEST(SendFaxDlgTest, TheWindowAndVelquinToolShareTheStore) {
    SendFixture s;
    s.account = "demo:secret12";
    s.Start("secret12");
    const std::string dir = s.f.Dir().Path();
    testing_support::WriteFile(dir + "/pw", "secret12\n");
    testing_support::WriteFile(dir + "/numbers.csv", "3520801\n3520802\n");
    const std::string doc = dir + "/doc.tif";
    sending_test::WriteBilevelTiff(doc, {.pages = 1});
    const std::string host = "localhost:" + std::to_string(s.sim.Port());
    std::string out;
    ASSERT_EQ(testing_support::RunVelquinTool("setup --fax-dir " + s.f.FaxDir() + " --data-dir " +
                                                  s.f.DataDir() + " --api-host " + host +
                                                  " --user demo --password-file " + dir + "/pw",
                                              out),
              0)
        << out;
    ASSERT_EQ(
        testing_support::RunVelquinTool("send-list --numbers " + dir + "/numbers.csv " + doc, out),
        0)
        << out;

    s.SelectFirst();
    std::thread tools;
    std::string toolsOut;
    WhenDialogShows([&](CSendFaxDlg& dlg) {
        tools = std::thread([&] {
            testing_support::RunShell("for i in 1 2 3 4 5 6 7 8; do (" +
                                          testing_support::BuildDir() +
                                          "/tools/velquin-tool/velquin-tool send --to 352081$i " +
                                          doc + " >/dev/null 2>&1 || echo failed) & done; wait",
                                      toolsOut);
        });
        TypeNumber(dlg, "3520809");
        Click(Child<QPushButton>(&dlg, "1047"));
        SendAndWait(dlg);
    });
    s.View().OnSendFax();
    tools.join();
    EXPECT_EQ(toolsOut, "");
    EXPECT_EQ(s.View().topLevelItemCount(), 0);

    // Every single fax was signed with its own id: the list took two, the sends one each.
    std::set<std::int32_t> ids;
    for (const std::string& name : s.SentFiles()) {
        if (platform::Extension(name) != ".FAX") {
            continue;
        }
        auto record = LoadSentRecord(testing_support::ReadFileOrDie(s.f.SentDir() + "/" + name));
        if (auto* single = dynamic_cast<CSingleFaxEntry*>(record.get())) {
            const std::int32_t id = SignedFaxId(single->m_path, single->m_recipient, 12);
            EXPECT_NE(id, 0) << name;
            EXPECT_TRUE(ids.insert(id).second) << name << " signed with a used id " << id;
        }
    }
    EXPECT_EQ(ids.size(), 9u);

    // A job file that cannot be written stops the send before the service has the fax; one that
    // fails after the service accepted it is told with the job id, and the document stays.
    gui_test::WritePrintedDocument(s.f.FaxDir(), "invoice", "Invoice");
    ASSERT_TRUE(WaitFor([&] { return s.View().topLevelItemCount() == 1; }));
    s.SelectFirst();
    WhenDialogShows([&](CSendFaxDlg& dlg) {
        const std::string jobFile = platform::ReplaceExtension(dlg.Job().m_imagePath, ".FAX");
        TypeNumber(dlg, "3520809");
        Click(Child<QPushButton>(&dlg, "1047"));
        platform::CreateDir(jobFile);
        s.f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        Click(Child<QPushButton>(&dlg, "1"));
        EXPECT_FALSE(dlg.Busy());
        EXPECT_NE(s.f.Prompt().Asked().back().find(jobFile), std::string::npos);
        ::rmdir(jobFile.c_str());

        testing_support::HttpGet(s.sim.Port(), "/__control?fault=delay&delay=1500");
        s.f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        Click(Child<QPushButton>(&dlg, "1"));
        ASSERT_TRUE(dlg.Busy());
        platform::DeleteFile(jobFile); // the disk goes bad under the reserved record
        platform::CreateDir(jobFile);
        ASSERT_TRUE(WaitFor([&] { return !dlg.isVisible(); }, 30000));
        ::rmdir(jobFile.c_str());
    });
    s.View().OnSendFax();
    EXPECT_NE(s.f.Prompt().Asked().back().find("(задание 5000011)"), std::string::npos)
        << s.f.Prompt().Asked().back();
    EXPECT_EQ(s.View().topLevelItemCount(), 1) << "the unrecorded fax's document stays";

    // Closing the window writes only what it changed: the tool's host and ids stay.
    s.f.Stop();
    platform::CRegKey key;
    ASSERT_EQ(key.Open(platform::Hive::LocalMachine, kMainKey), 0);
    EXPECT_EQ(key.Value("ApiHost")->bytes, platform::RegStringZ(host));
    EXPECT_EQ(key.Value("UserPWD")->bytes, platform::RegStringZ("secret12"));
    EXPECT_EQ(key.Value("LastFaxID")->bytes, platform::RegStringZ("1000000012"));
    EXPECT_EQ(key.Value("LastListID")->bytes, platform::RegStringZ("2000000001"));
}

// Logout (SIGTERM) while "Отправить" waits for a slow service: the program waits for the reply
// and records the accepted fax before it ends, as if the dialog had finished by itself.
TEST(SendFaxDlgTest, TheSessionEndingDuringAPostRecordsTheAcceptedFax) {
    SendFixture s;
    s.Start("secret");
    // As the program quits, which ends every event loop (here no QApplication::exec runs).
    QObject::connect(
        &s.f.Frame(), &CMainFrame::QuitRequested, qApp, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    QSignalSpy quit(&s.f.Frame(), &CMainFrame::QuitRequested);
    s.SelectFirst();
    bool signalled = false;
    WhenDialogShows([&](CSendFaxDlg& dlg) {
        TypeNumber(dlg, "3520809");
        Click(Child<QPushButton>(&dlg, "1047"));
        testing_support::HttpGet(s.sim.Port(), "/__control?fault=delay&delay=1500");
        Click(Child<QPushButton>(&dlg, "1"));
        ASSERT_TRUE(dlg.Busy());
        signalled = ::kill(::getpid(), SIGTERM) == 0;
    });
    s.View().OnSendFax();
    ASSERT_TRUE(signalled);
    ASSERT_TRUE(WaitFor([&] { return quit.count() == 1; }, 30000));
    std::vector<std::string> jobs;
    for (const std::string& name : s.SentFiles()) {
        if (platform::Extension(name) == ".FAX") {
            jobs.push_back(name);
        }
    }
    ASSERT_EQ(jobs.size(), 1u) << "the accepted fax was not recorded";
    auto record = LoadSentRecord(testing_support::ReadFileOrDie(s.f.SentDir() + "/" + jobs[0]));
    EXPECT_EQ(dynamic_cast<CSingleFaxEntry&>(*record).m_faxId, 5000001);
    EXPECT_FALSE(std::filesystem::exists(s.document)) << "sent, so it left the new faxes";
    s.f.Stop();
    // The exit stays in force for every later loop until an application loop has run.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace

TEST(SendFaxDlgTest, TheSameDocumentToTheSameNumberAgainAsksFirst) {
    SendFixture s;
    s.Start("secret");
    const std::string bytes = testing_support::ReadFileOrDie(s.document);
    auto sendTo = [&](const char* number, std::function<void(CSendFaxDlg&)> beforeSend) {
        s.SelectFirst();
        WhenDialogShows([&, number, beforeSend](CSendFaxDlg& dlg) {
            TypeNumber(dlg, number);
            Child<QPushButton>(&dlg, "1047")->click();
            beforeSend(dlg);
            SendAndWait(dlg);
        });
        s.View().OnSendFax();
    };
    sendTo("3520809", [](CSendFaxDlg& dlg) {
        // What is sent shows first: its first page small and its page count.
        auto* thumb = Child<QLabel>(&dlg, "preview_image");
        ASSERT_FALSE(thumb->pixmap().isNull());
        EXPECT_EQ(thumb->pixmap().width(), 96);
        EXPECT_EQ(Child<QLabel>(&dlg, "preview_pages")->text(), QStringLiteral("Страниц: 2"));
    });
    ASSERT_EQ(SentRowCount(*s.f.Frame().SentView()), 1);

    // The same pages printed again, to the same number: "No" keeps the dialog open, unsent.
    testing_support::WriteFile(s.f.FaxDir() + "/again.tif", bytes);
    ASSERT_TRUE(WaitFor([&] { return s.View().topLevelItemCount() == 1; }));
    const std::size_t askedBefore = s.f.Prompt().Asked().size();
    sendTo("3520809", [&](CSendFaxDlg& dlg) {
        s.f.Prompt().SetNextAnswer(MsgAnswer::No);
        Child<QPushButton>(&dlg, "1")->click();
        ASSERT_EQ(s.f.Prompt().Asked().size(), askedBefore + 1);
        const std::string asked = s.f.Prompt().Asked().back();
        EXPECT_NE(asked.find("88123520809"), std::string::npos) << asked;
        EXPECT_NE(asked.find(ReportTime(CurrentTime()).substr(0, 10)), std::string::npos);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(SentRowCount(*s.f.Frame().SentView()), 1);
        s.f.Prompt().SetNextAnswer(MsgAnswer::Yes);
    });
    EXPECT_EQ(SentRowCount(*s.f.Frame().SentView()), 2);
}
