#include "GuiTestSupport.h"
#include "TiffTestFiles.h"

#include "app/Settings.h"
#include "gui/sending/SendFaxDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/SentFaxView.h"
#include "platform/Files.h"
#include "support/FaxsimProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

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

    void Start(const std::string& password) {
        ASSERT_TRUE(sim.Start({"--account", "demo:secret", "--deliver-after-queries", "0"}));
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

        TypeNumber(dlg, "3520809");
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1039")->text(), QStringLiteral("88123520809"));
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

} // namespace
