// The single fax dialog against a stand-in service whose replies the simulator never gives:
// a reply cut short, then an acceptance in Windows-1251 without an encoding declaration.
#include "GuiTestSupport.h"
#include "TiffTestFiles.h"

#include "app/Settings.h"
#include "gui/sending/SendFaxDlg.h"
#include "gui/shell/DocListViews.h"
#include "platform/Encoding.h"
#include "resources/Strings.h"
#include "sending/SendJob.h"
#include "support/ReplyServer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using gui_test::WaitFor;

namespace {

// Clicks `button` with the mouse and waits until the post it started has been answered.
void ClickSendAndWait(CSendFaxDlg& dlg, QPushButton* button) {
    bool finished = false;
    QObject::connect(&dlg, &CSendFaxDlg::SendFinished, &dlg, [&finished] { finished = true; });
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return finished; }, 30000));
}

TEST(SendNoReplyDlgTest, ACutReplyIsToldAndTheNextPressGoesThroughOnACodePageReply) {
    const std::string cut = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n"
                            "<?xml version=\"1.0\"?><response><error code=\"0\" mess";
    const std::string accepted =
        "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><response>"
        "<error code=\"0\" message=\"" +
        platform::Utf8ToCp1251("Факс принят") +
        "\" details=\"\"/><data><item id=\"4711\"/></data></response>";
    testing_support::CReplyServer server({cut, accepted});

    gui_test::CGuiFixture f;
    const std::string document = f.FaxDir() + "/report.tif";
    sending_test::BilevelSpec spec;
    spec.pages = 1;
    sending_test::WriteBilevelTiff(document, spec);
    f.apiHost = server.HostPort();
    f.password = "secret";
    f.Start();
    Settings().RememberPwd = true;
    Settings().UserPWD = "secret";
    CNewFaxView& view = *f.Frame().NewFaxView();
    ASSERT_EQ(view.topLevelItemCount(), 1);
    gui_test::ClickItem(view, view.topLevelItem(0));

    bool checked = false;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [&, timer] {
        auto* dlg = qobject_cast<CSendFaxDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        auto* number = dlg->findChild<QLineEdit*>(QStringLiteral("1039"));
        auto* done = dlg->findChild<QPushButton*>(QStringLiteral("1047"));
        auto* send = dlg->findChild<QPushButton*>(QStringLiteral("1"));
        ASSERT_TRUE(number && done && send);
        QTest::keyClicks(number, QStringLiteral("88123520809"));
        QTest::mouseClick(done, Qt::LeftButton);
        ASSERT_TRUE(send->isEnabled());

        f.Prompt().SetNextAnswer(MsgAnswer::Ok);
        ClickSendAndWait(*dlg, send);
        EXPECT_EQ(server.Requests(), 1);
        ASSERT_FALSE(f.Prompt().Asked().empty());
        EXPECT_EQ(f.Prompt().Asked().back(), LoadString(kMsgNoSubmitReply));
        EXPECT_TRUE(dlg->isVisible()) << "the dialog stays open";
        ASSERT_TRUE(send->isEnabled());

        // Told to check first, the user sends again: the code-page acceptance ends the dialog.
        const std::size_t asked = f.Prompt().Asked().size();
        ClickSendAndWait(*dlg, send);
        EXPECT_EQ(server.Requests(), 2);
        EXPECT_EQ(f.Prompt().Asked().size(), asked) << f.Prompt().Asked().back();
        EXPECT_FALSE(dlg->isVisible());
        checked = true;
    });
    timer->start();
    view.OnSendFax();
    ASSERT_TRUE(checked);

    EXPECT_EQ(view.topLevelItemCount(), 0);
    bool jobFile = false;
    for (const auto& e : std::filesystem::directory_iterator(f.SentDir())) {
        jobFile = jobFile || e.path().extension() == ".FAX";
    }
    EXPECT_TRUE(jobFile);
    f.Stop();
}

} // namespace
