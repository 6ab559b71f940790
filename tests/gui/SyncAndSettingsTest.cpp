#include "GuiTestSupport.h"

#include "FaxSim.h"
#include "app/DemoService.h"
#include "app/Settings.h"
#include "gui/app/FirstStartDlg.h"
#include "gui/app/SettingsDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/MainFrame.h"
#include "gui/shell/SentFaxView.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "resources/Strings.h"
#include "service/FormPost.h"
#include "service/WebGate.h"
#include "store/FaxRecords.h"
#include "support/FaxsimProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using gui_test::CellText;
using gui_test::CGuiFixture;
using gui_test::SentRow;
using gui_test::SentRowCount;
using gui_test::WaitFor;

namespace {

TEST(SyncTest, SynchroniseWritesTheDeliveredStateIntoTheTree) {
    CGuiFixture f;
    testing_support::FaxsimProcess sim;
    ASSERT_TRUE(sim.Start({"--account", "demo:secret", "--deliver-after-queries", "0"}));

    // One fax submitted to the simulator, recorded as a sent single fax.
    std::filesystem::create_directories(f.SentDir());
    const std::string image = f.SentDir() + "/job1.tif";
    const std::string content = "image";
    testing_support::WriteFile(image,
                               content + faxsim::SignatureTrailer("secret", "s", "1", content));
    SendFaxRequest r;
    r.documentPath = image;
    r.phoneNumber = "88125550101";
    ReplyTree t = RequestFaxSend(r, ServiceEndpoint{"127.0.0.1", sim.Port(), "demo", "secret"});
    Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
    ASSERT_NE(item, nullptr);
    CSingleFaxEntry e("Отчёт за квартал");
    e.m_faxId = item->valueForKey("id", EmptyValue()).intValue();
    e.m_path = image;
    testing_support::WriteFile(f.SentDir() + "/job1.fax", StoreRecord(e));

    f.apiHost = sim.HostPort();
    f.password = "secret";
    f.Start();
    CReceivedFaxTreeView* view = f.Frame().SentView();
    ASSERT_EQ(SentRowCount(*view), 1);
    EXPECT_EQ(CellText(SentRow(*view, 0), 1), QString());

    // F5 from another page, as the user presses it.
    f.Frame().SelectPage(0);
    QTest::keyClick(f.Frame().NewFaxView(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] {
        return SentRowCount(*view) == 1 &&
               CellText(SentRow(*view, 0), 1) == QStringLiteral("Доставлен успешно");
    }));
    EXPECT_FALSE(f.Frame().IsSynchronising());
    // The state reaches the job file (the reply worker writes it after the window shows it).
    auto storedState = [&] {
        auto stored = LoadSentRecord(testing_support::ReadFileOrDie(f.SentDir() + "/job1.fax"));
        auto* single = dynamic_cast<CSingleFaxEntry*>(stored.get());
        return single != nullptr ? single->m_status : -1;
    };
    EXPECT_TRUE(WaitFor([&] { return storedState() == 2; }));
    f.Stop();
}

// Automatic synchronisation is switched on and timed in the settings dialog, and the window's
// timer follows at once; the start at login is switched there too.
TEST(SyncTest, TheSettingsDialogSwitchesTheTimerAndTheStartAtLogin) {
    CGuiFixture f;
    const std::string config = f.Dir() / "config";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    const std::string autostart = config + "/autostart/velquin.desktop";
    f.Start();
    CMainFrame& frame = f.Frame();
    ASSERT_FALSE(Settings().AutoSyncronize); // the stored default stays off
    EXPECT_FALSE(frame.SyncTimer().isActive());
    auto runDialog = [&](const std::function<void(CSettingsDlg&)>& script) {
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            script(*dlg);
            auto* save = dlg->findChild<QPushButton*>(QStringLiteral("saveButton"));
            QTest::mouseClick(save, Qt::LeftButton, {}, save->rect().center());
        });
        frame.OnCommand(cmd::kSettings);
    };
    runDialog([](CSettingsDlg& dlg) {
        auto* box = dlg.findChild<QCheckBox*>(QStringLiteral("checkAutoSync"));
        auto* minutes = dlg.findChild<QSpinBox*>(QStringLiteral("editSyncMinutes"));
        EXPECT_FALSE(minutes->isEnabled());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        ASSERT_TRUE(minutes->isEnabled());
        minutes->selectAll();
        QTest::keyClicks(minutes, QStringLiteral("15"));
        auto* login = dlg.findChild<QCheckBox*>(QStringLiteral("checkAutostart"));
        QTest::mouseClick(login, Qt::LeftButton, {}, QPoint(4, login->height() / 2));
    });
    EXPECT_NE(testing_support::ReadFileOrDie(autostart).find(
                  "\nExec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\"\n"),
              std::string::npos);
    EXPECT_TRUE(Settings().AutoSyncronize);
    EXPECT_EQ(Settings().SyncronizationDelay, 15);
    ASSERT_TRUE(frame.SyncTimer().isActive());
    EXPECT_EQ(frame.SyncTimer().interval(), 900000);
    runDialog([](CSettingsDlg& dlg) {
        for (const char* name : {"checkAutoSync", "checkAutostart"}) {
            auto* box = dlg.findChild<QCheckBox*>(QLatin1String(name));
            EXPECT_TRUE(box->isChecked()) << name;
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        }
    });
    EXPECT_FALSE(frame.SyncTimer().isActive());
    EXPECT_FALSE(platform::PathExists(autostart));
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(SyncTest, WebGateAddress) {
    EXPECT_EQ(WebGateAddress("www.velquin.net", "74950000000", "0123abcd"),
              "http://www.velquin.net/api/__gate.php?username=74950000000&password=0123abcd");
    // Characters that would cut the query are encoded, letters and digits are not.
    EXPECT_EQ(WebGateAddress("127.0.0.1:8080", "a b&c", ""),
              "http://127.0.0.1:8080/api/__gate.php?username=a%20b%26c&password=");
}

TEST(SettingsDlgTest, DayFieldsFollowTheirBoxesAndCancelChangesNothing) {
    CGuiFixture f;
    f.Start();
    CSettings& s = Settings();
    s.DeleteSentAfterDays = false;
    s.SentDeleteDays = 7;
    s.DeleteReceivedAfterDays = true;
    s.ReceivedDeleteDays = 30;
    s.DefaultAreaCode = "8812";
    {
        CSettingsDlg dlg;
        auto* sentBox = dlg.findChild<QCheckBox*>(QStringLiteral("check1018"));
        auto* sentDays = dlg.findChild<QSpinBox*>(QStringLiteral("edit1004"));
        auto* rcvdDays = dlg.findChild<QSpinBox*>(QStringLiteral("edit1005"));
        ASSERT_NE(sentBox, nullptr);
        EXPECT_FALSE(sentDays->isEnabled());
        EXPECT_EQ(sentDays->value(), 7);
        EXPECT_TRUE(rcvdDays->isEnabled());
        sentBox->click();
        EXPECT_TRUE(sentDays->isEnabled());
        dlg.findChild<QLineEdit*>(QStringLiteral("edit1003"))->setText(QStringLiteral("8495"));
        dlg.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_EQ(s.DefaultAreaCode, "8812");
    EXPECT_FALSE(s.DeleteSentAfterDays);
    platform::CRegKey key;
    ASSERT_EQ(key.Open(platform::Hive::LocalMachine, kMainKey), 0);
    auto stored = key.Value("DefaultAreaCode");
    EXPECT_TRUE(!stored || stored->bytes.rfind("8495", 0) != 0);
}

TEST(SettingsDlgTest, SaveWritesTheControlsAndCarriesTheRestThrough) {
    CGuiFixture f;
    f.Start();
    CSettings& s = Settings();
    s.AutoSyncronize = true;
    s.SyncronizationDelay = 40;
    s.UseSMAPI = false;
    s.SMTPAddress = "smtp.example.org";
    s.UseOwnViewer = false;
    {
        CSettingsDlg dlg;
        EXPECT_TRUE(dlg.findChild<QRadioButton*>(QStringLiteral("radio1021"))->isChecked());
        dlg.findChild<QRadioButton*>(QStringLiteral("radio1024"))->setChecked(true);
        dlg.findChild<QCheckBox*>(QStringLiteral("check1018"))->setChecked(true);
        dlg.findChild<QSpinBox*>(QStringLiteral("edit1004"))->setValue(12);
        dlg.findChild<QLineEdit*>(QStringLiteral("edit1003"))->setText(QStringLiteral("8495"));
        // Meanwhile something else changed the synchronisation: the dialog writes back what it
        // was opened with.
        s.SyncronizationDelay = 99;
        dlg.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(s.UseOwnViewer);
    EXPECT_TRUE(s.DeleteSentAfterDays);
    EXPECT_EQ(s.SentDeleteDays, 12);
    EXPECT_EQ(s.DefaultAreaCode, "8495");
    EXPECT_TRUE(s.AutoSyncronize);
    EXPECT_EQ(s.SyncronizationDelay, 40);
    EXPECT_FALSE(s.UseSMAPI);
    EXPECT_EQ(s.SMTPAddress, "smtp.example.org");
    platform::CRegKey key;
    ASSERT_EQ(key.Open(platform::Hive::LocalMachine, kMainKey), 0);
    auto stored = key.Value("DefaultAreaCode");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->bytes.substr(0, 4), "8495");
}

// Ticking "Удалять отправленные факсы через" with 0 days would delete every sent fax at the next
// start: saving asks first, and "Нет" keeps the dialog open with nothing saved.
TEST(SettingsDlgTest, DeletingSentFaxesAfterZeroDaysIsConfirmed) {
    CGuiFixture f;
    f.Start();
    Settings().DeleteSentAfterDays = false;
    Settings().SentDeleteDays = 0;
    testing_support::FakePrompt prompt;
    CSettingsDlg dlg(nullptr, &prompt);
    dlg.show();
    QTest::mouseClick(dlg.findChild<QCheckBox*>(QStringLiteral("check1018")), Qt::LeftButton);
    auto* save = dlg.findChild<QPushButton*>(QStringLiteral("saveButton"));
    prompt.SetNextAnswer(MsgAnswer::No);
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, LoadString(CSettingsDlg::kMsgDeleteAllSentConfirm));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(Settings().DeleteSentAfterDays);

    prompt.SetNextAnswer(MsgAnswer::Yes);
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(Settings().DeleteSentAfterDays);
    // Saved once so, it is not asked again.
    CSettingsDlg again(nullptr, &prompt);
    again.show();
    QTest::mouseClick(again.findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(prompt.messages.size(), 2u);
}

TEST(SettingsDlgTest, TheProxyIsTypedRefusedUnlessHostAndPortAndSaved) {
    CGuiFixture f;
    f.Start();
    testing_support::FakePrompt prompt;
    CSettingsDlg dlg(nullptr, &prompt);
    dlg.show();
    auto type = [&](const char* field, const QString& text) {
        auto* edit = dlg.findChild<QLineEdit*>(QLatin1String(field));
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        gui_test::TypeText(edit, text);
    };
    auto* save = dlg.findChild<QPushButton*>(QStringLiteral("saveButton"));
    type("editProxyHost", QStringLiteral("proxy.office.local"));
    type("editProxyUser", QStringLiteral("clerk"));
    type("editProxyPassword", QStringLiteral("s3cret"));
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_EQ(prompt.messages.size(), 1u) << "an address without a port is refused";
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(Settings().ProxyHost.empty());

    type("editProxyHost", QStringLiteral("[2001:db8::1]:3128"));
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const ServiceEndpoint e = ApiEndpointFromSettings();
    EXPECT_EQ(std::tie(e.proxy, e.proxyUser, e.proxyPassword),
              std::tie("[2001:db8::1]:3128", "clerk", "s3cret"));
}

// A settings file that cannot take the new values (here one the registry code will not
// rewrite) is reported; the values still hold for the session.
TEST(SettingsDlgTest, SettingsFileThatCannotBeWrittenIsReported) {
    CGuiFixture f;
    f.Start();
    testing_support::WriteFile(platform::HivePath(platform::Hive::LocalMachine), "not a hive\n");
    testing_support::FakePrompt prompt;
    {
        CSettingsDlg dlg(nullptr, &prompt);
        dlg.findChild<QLineEdit*>(QStringLiteral("edit1003"))->setText(QStringLiteral("8495"));
        dlg.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    ASSERT_EQ(prompt.fileErrors.size(), 1u);
    EXPECT_NE(prompt.fileErrors[0].find(platform::HivePath(platform::Hive::LocalMachine)),
              std::string::npos);
    EXPECT_EQ(Settings().DefaultAreaCode, "8495");
    EXPECT_EQ(testing_support::ReadFileOrDie(platform::HivePath(platform::Hive::LocalMachine)),
              "not a hive\n");
    platform::DeleteFile(platform::HivePath(platform::Hive::LocalMachine)); // the exit save works
}

} // namespace

// A first start without settings asks for them instead of ending silently: the account is
// typed, the proposed folders are made, and the window opens on them.
TEST(FirstStartTest, TheDialogWritesTheSettingsAndTheWindowOpens) {
    CGuiFixture f;
    f.writeSettings = false;
    const std::string data = f.Dir() / "xdg";
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data));
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CFirstStartDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        shown = true;
        auto* user = dlg->findChild<QLineEdit*>(QStringLiteral("editUser"));
        EXPECT_EQ(dlg->focusWidget(), user);
        QTest::keyClicks(user, QStringLiteral("74950000000"));
        QTest::keyClicks(dlg->findChild<QLineEdit*>(QStringLiteral("editPassword")),
                         QStringLiteral("secret"));
        auto* sync = dlg->findChild<QCheckBox*>(QStringLiteral("checkAutoSync"));
        QTest::mouseClick(sync, Qt::LeftButton, {}, QPoint(4, sync->height() / 2));
        auto* ok = dlg->findChild<QPushButton*>(QStringLiteral("okButton"));
        QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
    });
    f.Start();
    qunsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(shown);
    const CSettings& s = Settings();
    EXPECT_EQ(s.UserID, "74950000000");
    EXPECT_EQ(s.FaxDir, data + "/velquin/Fax");
    EXPECT_TRUE(platform::IsDirectory(data + "/velquin/Store/SentFaxes"));
    EXPECT_EQ(s.ApiHost, kDefaultApiHost);
    EXPECT_EQ(s.UserPWD, "secret"); // for this session: "Запомнить пароль" was not ticked
    EXPECT_TRUE(s.AutoSyncronize);
    EXPECT_TRUE(f.Frame().SyncTimer().isActive());
    platform::CRegKey key;
    ASSERT_EQ(key.Open(platform::Hive::LocalMachine, kMainKey), 0);
    const auto stored = key.Value("UserPWD");
    EXPECT_TRUE(!stored || stored->bytes.find("secret") == std::string::npos);
    f.Stop();
}

// "Попробовать демо" sets up the demo account, and the window starts the simulator on this
// user's port: the service answers that account at once.
TEST(FirstStartTest, TheDemoChoiceStartsTheSimulatorForTheDemoAccount) {
    CGuiFixture f;
    f.writeSettings = false;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(f.Dir() / "xdg"));
    QTimer::singleShot(0, [&] {
        auto* demoButton = QApplication::activeModalWidget()->findChild<QPushButton*>(
            QStringLiteral("demoButton"));
        ASSERT_TRUE(demoButton->isEnabled());
        QTest::mouseClick(demoButton, Qt::LeftButton, {}, demoButton->rect().center());
    });
    f.Start();
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Settings().ApiHost, demo::Host());
    std::string reply;
    for (int i = 0; i < 100 && reply.empty(); ++i) {
        QTest::qWait(50);
        reply = ExchangeRequest("127.0.0.1", static_cast<int>(demo::Port()),
                                BuildFaxStatusRequest(1, demo::kUser, demo::kPassword, "h"))
                    .value_or("");
    }
    EXPECT_NE(reply.find("error code=\"6\""), std::string::npos) << reply; // no such job
    f.Stop();
}
