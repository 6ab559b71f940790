// The summary a synchronisation leaves on the desktop, as a notification service on a private
// session bus receives it.
#include "GuiTestSupport.h"

#include "FaxSim.h"
#include "app/Settings.h"
#include "gui/app/SyncNotifier.h"
#include "gui/shell/DocListViews.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "store/FaxListModel.h"
#include "store/FaxRecords.h"
#include "support/FaxsimProcess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using gui_test::CGuiFixture;
using gui_test::WaitFor;

namespace {

// A stand-in for the desktop's notification service: appends the body of every Notify call
// as a line to `log`.
class CNotificationService : public QDBusVirtualObject {
public:
    explicit CNotificationService(std::string log) : m_log(std::move(log)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify")) {
            return false;
        }
        const QList<QVariant> args = message.arguments();
        if (args.size() == 8) {
            std::ofstream(m_log, std::ios::app) << args.at(4).toString().toStdString() << "\n";
        }
        connection.send(message.createReply(QVariant::fromValue(++m_calls)));
        return true;
    }

private:
    std::string m_log;
    uint m_calls = 0;
};

QStringList Bodies(const std::string& log) {
    std::ifstream in(log);
    QStringList out;
    for (std::string line; std::getline(in, line);) {
        out << QString::fromStdString(line);
    }
    return out;
}

// A sent single fax that the simulator knows, with its image and job file in SentFaxes.
void SentFax(CGuiFixture& f, const testing_support::FaxsimProcess& sim, const std::string& stem,
             const std::string& number) {
    const std::string image = f.SentDir() + "/" + stem + ".tif";
    testing_support::WriteFile(image,
                               "image" + faxsim::SignatureTrailer("secret", "s", "1", "image"));
    SendFaxRequest r;
    r.documentPath = image;
    r.phoneNumber = number;
    ReplyTree t = RequestFaxSend(r, ServiceEndpoint{"127.0.0.1", sim.Port(), "demo", "secret"});
    Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
    ASSERT_NE(item, nullptr);
    CSingleFaxEntry e("Счёт " + stem);
    e.m_faxId = item->valueForKey("id", EmptyValue()).intValue();
    e.m_recipient = number;
    e.m_path = image;
    testing_support::WriteFile(f.SentDir() + "/" + stem + ".fax", StoreRecord(e));
}

// The delivery state the window holds for sent fax `stem`; -2 while it has none.
std::int32_t StateOf(CGuiFixture& f, const std::string& stem) {
    for (const auto& e : f.Doc().SentRecords()) {
        if (e && e->m_title == "Счёт " + stem) {
            return EntryState(*e);
        }
    }
    return -2;
}

// Long enough for a round's summary to be decided once its last change has come.
void LetTheRoundEnd() {
    QTest::qWait(3 * CSyncNotifier::kQuietMs);
}

} // namespace

// Started by the private bus on the first call, as a desktop starts its notification service
// on demand: it serves until the bus goes.
TEST(NotificationServiceStandIn, DISABLED_Serve) {
    const std::string log = qEnvironmentVariable("VELQUIN_NOTIFY_LOG").toStdString();
    const QString address = qEnvironmentVariable("DBUS_STARTER_ADDRESS");
    if (log.empty() || address.isEmpty()) {
        GTEST_SKIP() << "run by the bus only";
    }
    CNotificationService service(log);
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("standin"));
    ASSERT_TRUE(
        bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    for (int i = 0; i < 1200 && bus.isConnected(); ++i) {
        QTest::qWait(100);
    }
}

TEST(SyncNotifyTest, OneSummaryPerSynchronisationThatChangesStatesUnlessTurnedOff) {
    // A session bus of the test's own, whose notification service is not running but is
    // started by the bus when called (XFCE, MATE, LXQt).
    testing_support::TempDir busDir;
    const std::string log = busDir / "notifications";
    std::filesystem::create_directories(busDir / "services");
    testing_support::WriteFile(busDir / "services/notifications.service",
                               "[D-BUS Service]\nName=org.freedesktop.Notifications\nExec=" +
                                   std::filesystem::read_symlink("/proc/self/exe").string() +
                                   " --gtest_filter=NotificationServiceStandIn.DISABLED_Serve"
                                   " --gtest_also_run_disabled_tests\n");
    qputenv("VELQUIN_NOTIFY_LOG", QByteArray::fromStdString(log));
    testing_support::ChildProcess bus;
    const QString address =
        QString::fromStdString(testing_support::StartPrivateBus(bus, busDir.Path()));
    if (address.isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }

    CGuiFixture f; // it parts the test from any bus it was started with
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    testing_support::FaxsimProcess sim;
    ASSERT_TRUE(sim.Start({"--account", "demo:secret", "--deliver-after-queries", "0"}));
    std::filesystem::create_directories(f.SentDir());
    SentFax(f, sim, "a", "88125550101");
    SentFax(f, sim, "b", "88125550102");
    SentFax(f, sim, "c", "88125551000"); // ends in 000: not delivered
    f.apiHost = sim.HostPort();
    f.password = "secret";
    f.Start();

    // F5 from the new faxes: three replies, one summary once they have all come.
    QTest::keyClick(f.Frame().NewFaxView(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return !Bodies(log).isEmpty(); }, 30000)) << "no notification";
    LetTheRoundEnd();
    EXPECT_EQ(Bodies(log), QStringList{QStringLiteral(
                               "Синхронизация закончена. Доставлено факсов: 2, не доставлено: 1.")})
        << Bodies(log).join(QStringLiteral(" | ")).toStdString();

    // Turned off, a fax sent since and now delivered is not told.
    SentFax(f, sim, "d", "88125550104");
    f.Doc().SentFaxes().Add(
        LoadSentRecord(testing_support::ReadFileOrDie(f.SentDir() + "/d.fax"))); // as a send does
    Settings().NotifyOnSync = false;
    QTest::keyClick(f.Frame().NewFaxView(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return StateOf(f, "d") == kJobStateDelivered; }));
    LetTheRoundEnd();
    EXPECT_EQ(Bodies(log).size(), 1);
    // On again, a synchronisation that changes nothing says nothing.
    Settings().NotifyOnSync = true;
    QTest::keyClick(f.Frame().NewFaxView(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return f.Doc().Status().PendingQueries() == 0; }));
    LetTheRoundEnd();
    EXPECT_EQ(Bodies(log).size(), 1);
    f.Stop();
}
