#include "GuiTestSupport.h"
#include "TiffTestFiles.h"

#include "app/Settings.h"
#include "gui/sending/SendFaxDlg.h"
#include "gui/sending/SendListDlg.h"
#include "gui/sending/SendPersonalListDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/SentFaxView.h"
#include "resources/Strings.h"
#include "sending/FaxImage.h"
#include "service/JobState.h"
#include "store/Viewers.h"
#include "support/FaxsimProcess.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using gui_test::CellText;
using gui_test::CGuiFixture;
using gui_test::ClickToolButton;
using gui_test::SentRow;
using gui_test::SentRowCount;
using gui_test::WaitFor;

namespace {

template <typename W> W* Child(QWidget* dlg, const char* name) {
    W* w = dlg->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Drives the modal dialog of type D once it is up: `script` runs inside its
// event loop.
template <typename D> void WhenDialogShows(std::function<void(D&)> script) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, script = std::move(script)] {
        auto* dlg = qobject_cast<D*>(QApplication::activeModalWidget());
        if (dlg == nullptr) {
            return;
        }
        timer->stop();
        script(*dlg);
        timer->deleteLater();
    });
    timer->start();
}

void SendAndWait(CSendDlgBase& dlg) {
    bool finished = false;
    QObject::connect(&dlg, &CSendDlgBase::SendFinished, &dlg, [&finished] { finished = true; });
    Child<QPushButton>(&dlg, "1")->click();
    ASSERT_TRUE(WaitFor([&] { return finished; }, 60000));
}

struct ListFixture {
    CGuiFixture f;
    testing_support::FaxsimProcess sim;
    std::string document;

    void Start(int pages) {
        ASSERT_TRUE(sim.Start({"--account", "demo:secret12", "--deliver-after-queries", "0"}));
        document = f.FaxDir() + "/mailing.tif";
        sending_test::BilevelSpec spec;
        spec.pages = pages;
        sending_test::WriteBilevelTiff(document, spec);
        testing_support::WriteFile(f.FaxDir() + "/mailing.tag", "Mailing");
        f.apiHost = sim.HostPort();
        f.password = "secret12";
        f.Start();
        Settings().RememberPwd = true;
        Settings().UserPWD = "secret12";
        CNewFaxView& view = *f.Frame().NewFaxView();
        ASSERT_EQ(view.topLevelItemCount(), 1);
        gui_test::ClickItem(view, view.topLevelItem(0));
    }
    CNewFaxView& View() { return *f.Frame().NewFaxView(); }
    // Another print arrives while a send dialog is open, and FaxDir is read again.
    void PrintAnother() {
        gui_test::WritePrintedDocument(f.FaxDir(), "invoice", "Invoice");
        ASSERT_TRUE(WaitFor([&] { return View().topLevelItemCount() == 2; }));
    }
    // Only the later print is left, with its name.
    void ExpectOnlyTheLaterPrint() {
        ASSERT_EQ(View().topLevelItemCount(), 1);
        EXPECT_EQ(View().topLevelItem(0)->text(0), QStringLiteral("Invoice"));
        EXPECT_FALSE(std::filesystem::exists(document));
        EXPECT_FALSE(std::filesystem::exists(f.FaxDir() + "/mailing.tag"));
    }
};

TEST(SendListDlgTest, PhoneListWithADuplicateSendsThreeNumbers) {
    ListFixture s;
    s.Start(1);
    const std::string list = s.f.Dir().Path() + "/phones.csv";
    // Saved by a spreadsheet: the first line is tab-separated.
    testing_support::WriteFile(list, "3520809\tIvanov\tFirm Ltd\r\n88125550101;;Other\r\n"
                                     "3520809;Petrov;Again\r\n88125550102\r\n");
    bool checked = false;
    WhenDialogShows<CSendListDlg>([&](CSendListDlg& dlg) {
        EXPECT_FALSE(Child<QPushButton>(&dlg, "1047")->isEnabled());
        s.PrintAnother();
        bool edited = false;
        WhenDialogShows<CEditListDlg>([&](CEditListDlg& edit) {
            s.f.Prompt().SetNextFileName(list);
            s.f.Prompt().SetNextAnswer(MsgAnswer::Ok);
            Child<QPushButton>(&edit, "1065")->click();
            EXPECT_EQ(edit.List()->count(), 3);
            EXPECT_EQ(edit.List()->item(0)->text(), QStringLiteral("88123520809 Firm Ltd"));
            Child<QPushButton>(&edit, "1")->click();
            edited = true;
        });
        // The recipients have the focus: Space opens their editor.
        ASSERT_EQ(dlg.focusWidget(), Child<QPushButton>(&dlg, "1012"));
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Space);
        ASSERT_TRUE(edited);
        const std::vector<std::string> asked = s.f.Prompt().Asked();
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back(), std::string(LoadString(2045)));
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1058")->text(), QStringLiteral("3"));
        ASSERT_TRUE(Child<QPushButton>(&dlg, "1047")->isEnabled());
        Child<QPushButton>(&dlg, "1047")->click();
        ASSERT_TRUE(Child<QPushButton>(&dlg, "1")->isEnabled());
        SendAndWait(dlg);
        checked = true;
    });
    s.View().OnSendList();
    ASSERT_TRUE(checked);
    s.ExpectOnlyTheLaterPrint();
    CReceivedFaxTreeView* tree = s.f.Frame().SentView();
    ASSERT_EQ(SentRowCount(*tree), 1);
    EXPECT_EQ(SentRowCount(*tree, SentRow(*tree, 0)), 3);
    s.f.Stop();
}

TEST(SendListDlgTest, PersonalRunToThreeRecipientsMakesThreeSubmissions) {
    ListFixture s;
    s.Start(6);
    const std::string recipients = s.f.Dir().Path() + "/recipients.csv";
    testing_support::WriteFile(recipients, "88125550101;Ivanov;Firm A\r\n"
                                           "88125550102;Petrov;Firm B\r\n"
                                           "88125550103;Sidorov;Firm C\r\n");
    bool checked = false;
    WhenDialogShows<CSendPersonalListDlg>([&](CSendPersonalListDlg& dlg) {
        s.PrintAnother();
        EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(&dlg, "1013"));
        s.f.Prompt().SetNextFileName(recipients);
        Child<QPushButton>(&dlg, "1033")->click();
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1013")->text(), QString::fromStdString(recipients));
        Child<QToolButton>(&dlg, "1059_up")->click();
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1058")->text(), QStringLiteral("2"));
        Child<QPushButton>(&dlg, "1047")->click();
        ASSERT_TRUE(Child<QPushButton>(&dlg, "1")->isEnabled());
        SendAndWait(dlg);
        checked = true;
    });
    s.View().OnSendPersonal();
    ASSERT_TRUE(checked);
    s.ExpectOnlyTheLaterPrint();
    CReceivedFaxTreeView* tree = s.f.Frame().SentView();
    ASSERT_EQ(SentRowCount(*tree), 1);
    EXPECT_EQ(SentRowCount(*tree, SentRow(*tree, 0)), 3);
    s.f.Stop();
}

// Pictures of the dialogs for the user guide: VELQUIN_SHOT_DIR=docs and
// --gtest_also_run_disabled_tests.
TEST(SendDialogsPictures, DISABLED_Grab) {
    const char* dir = std::getenv("VELQUIN_SHOT_DIR");
    ASSERT_NE(dir, nullptr);
    CGuiFixture f;
    f.Start(false);
    auto shoot = [&](QDialog& dlg, const char* name) {
        dlg.show();
        dlg.adjustSize();
        QApplication::processEvents();
        EXPECT_TRUE(dlg.grab().save(QString::fromStdString(std::string(dir) + "/" + name)));
        dlg.hide();
    };
    CSendFaxDlg fax("/nonexistent/report.tif", "report.tif", "Report", f.Prompt(),
                    f.Doc().SentFaxes());
    shoot(fax, "send-fax.png");
    CSendListDlg list("/nonexistent/report.tif", "report.tif", 0, f.Prompt(), f.Doc().SentFaxes());
    shoot(list, "send-list.png");
    std::vector<std::string> lines{"88123520809 Firm Ltd", "88125550101 Other", "88125550102"};
    CEditListDlg edit(lines, f.Prompt());
    shoot(edit, "send-list-edit.png");
    CSendPersonalListDlg personal("/nonexistent/run.tif", f.Prompt(), f.Doc().SentFaxes());
    shoot(personal, "send-personal.png");
    f.Stop();
}

} // namespace

TEST(SendListDlgTest, AMailingGivesItsProofAndIsResentToTheUndelivered) {
    ListFixture s;
    {
        std::filesystem::create_directories(s.f.SentDir());
        CGroupFaxEntry list("Прайс на декабрь");
        list.m_time = CurrentTime() - 3600;
        list.m_listId = 2000000001;
        list.m_status = kJobStateDelivered;
        const std::pair<const char*, std::int32_t> recipients[] = {
            {"88125550101", kJobStateDelivered},
            {"88125550102", kJobStateNotDelivered},
            {"88125550103", kJobStateNotDelivered}};
        for (const auto& [number, state] : recipients) {
            CFaxEntry r;
            r.m_recipient = number;
            r.m_status = state;
            list.m_recipients.push_back(r);
        }
        list.m_recipients[1].m_recipientLabel = "ООО Ромашка";
        list.m_path = s.f.SentDir() + "/doc00000001.tif";
        sending_test::WriteBilevelTiff(list.m_path, sending_test::BilevelSpec{});
        testing_support::WriteFile(s.f.SentDir() + "/doc00000001.fax", StoreRecord(list));
    }
    s.Start(1);
    CReceivedFaxTreeView& tree = *s.f.Frame().SentView();
    s.f.Frame().SelectPage(1);
    QWidget* resend =
        s.f.Frame().PageToolBar(1)->widgetForAction(s.f.Frame().Action(cmd::kResendUndelivered));
    ASSERT_NE(resend, nullptr);
    EXPECT_FALSE(resend->isEnabled()); // nothing chosen yet
    gui_test::ClickItem(tree, SentRow(tree, 0));
    ASSERT_TRUE(resend->isEnabled());

    // The proof from the operations menu: a summary page and a page per recipient.
    const std::string pdf = s.f.Dir().Path() + "/proof.pdf";
    s.f.Prompt().SetNextFileName(pdf);
    auto* operations = s.f.Frame().findChild<QMenu*>(QStringLiteral("menuOperations"));
    ASSERT_NE(operations, nullptr);
    operations->popup(s.f.Frame().mapToGlobal(QPoint(40, 40)));
    ASSERT_TRUE(WaitFor([&] { return operations->isVisible(); }));
    QTest::mouseClick(operations, Qt::LeftButton, {},
                      operations->actionGeometry(s.f.Frame().Action(cmd::kSaveProof)).center());
    ASSERT_TRUE(WaitFor([&] { return s.f.Frame().Action(cmd::kSaveProof)->isEnabled(); }));
    std::string info, text;
    ASSERT_EQ(testing_support::RunShell("pdfinfo " + pdf, info), 0);
    EXPECT_NE(info.find("Pages:           4"), std::string::npos) << info;
    ASSERT_EQ(testing_support::RunShell("pdftotext " + pdf + " -", text), 0);
    EXPECT_NE(text.find("ООО Ромашка"), std::string::npos);
    EXPECT_NE(text.find("Не доставлен"), std::string::npos);

    bool checked = false;
    WhenDialogShows<CSendListDlg>([&](CSendListDlg& dlg) {
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1058")->text(), QStringLiteral("2"));
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1011")->text(), QStringLiteral("Прайс на декабрь"));
        Child<QPushButton>(&dlg, "1047")->click();
        SendAndWait(dlg);
        checked = true;
    });
    QTest::mouseClick(resend, Qt::LeftButton);
    ASSERT_TRUE(checked);
    ASSERT_EQ(SentRowCount(tree), 2);
    const QModelIndex again = SentRow(tree, 1);
    ASSERT_EQ(SentRowCount(tree, again), 2);
    EXPECT_EQ(CellText(SentRow(tree, 0, again)), QStringLiteral("88125550102  ООО Ромашка"));
    EXPECT_EQ(CellText(SentRow(tree, 1, again)), QStringLiteral("88125550103"));
    // The first mailing's image is untouched; the new one has its own copy.
    EXPECT_TRUE(std::filesystem::exists(s.f.SentDir() + "/doc00000001.tif"));
    s.f.Stop();
}

TEST(SendListDlgTest, APersonalisedMailingIsResentWithTheUndeliveredRecipientsOwnPages) {
    ListFixture s;
    {
        std::filesystem::create_directories(s.f.SentDir());
        CPersonalFaxEntry mailing("Письма должникам");
        mailing.m_time = CurrentTime() - 3600;
        mailing.m_status = kJobStateDelivered;
        sending_test::BilevelSpec twoPages;
        twoPages.pages = 2;
        const std::int32_t states[] = {kJobStateNotDelivered, kJobStateDelivered,
                                       kJobStateNotDelivered};
        for (int i = 0; i < 3; ++i) {
            CAttachFaxEntry r;
            r.m_recipient = "8812555010" + std::to_string(i + 1);
            r.m_recipientLabel = "Должник " + std::to_string(i + 1);
            r.m_status = states[i];
            r.m_path = s.f.SentDir() + "/part" + std::to_string(i) + ".tif";
            sending_test::WriteBilevelTiff(r.m_path, twoPages);
            mailing.m_recipients.push_back(r);
        }
        mailing.m_path = s.f.SentDir() + "/doc00000002.tif";
        sending_test::WriteBilevelTiff(mailing.m_path, twoPages);
        testing_support::WriteFile(s.f.SentDir() + "/doc00000002.fax", StoreRecord(mailing));
    }
    s.Start(1);
    CReceivedFaxTreeView& tree = *s.f.Frame().SentView();
    s.f.Frame().SelectPage(1);
    gui_test::ClickItem(tree, SentRow(tree, 0));
    bool checked = false;
    WhenDialogShows<CSendPersonalListDlg>([&](CSendPersonalListDlg& dlg) {
        EXPECT_EQ(Child<QLineEdit>(&dlg, "1058")->text(), QStringLiteral("2"));
        EXPECT_EQ(Child<QLabel>(&dlg, "preview_pages")->text(),
                  QStringLiteral("Страниц в тираже: 4, каждому получателю: 2"));
        Child<QPushButton>(&dlg, "1047")->click();
        SendAndWait(dlg);
        checked = true;
    });
    ClickToolButton(s.f.Frame(), 1, cmd::kResendUndelivered);
    ASSERT_TRUE(checked);
    ASSERT_EQ(SentRowCount(tree), 2);
    const QModelIndex again = SentRow(tree, 1);
    ASSERT_EQ(SentRowCount(tree, again), 2);
    EXPECT_TRUE(CellText(SentRow(tree, 0, again)).startsWith(QStringLiteral("88125550101")));
    EXPECT_TRUE(CellText(SentRow(tree, 1, again)).startsWith(QStringLiteral("88125550103")));
    EXPECT_EQ(CellText(SentRow(tree, 1, again)), QStringLiteral("88125550103  Должник 3"));
    const auto* sent = dynamic_cast<const CPersonalFaxEntry*>(tree.Model().EntryAt(again));
    ASSERT_NE(sent, nullptr);
    for (const CAttachFaxEntry& r : sent->m_recipients) {
        EXPECT_EQ(CountPages(SentFilePath(r.StoreName())), 2) << r.m_recipient;
    }
    s.f.Stop();
}
