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
#include <gtest/gtest.h>

using gui_test::CGuiFixture;
using gui_test::WaitFor;

namespace {

// A stand-in for the desktop's notification service: records every Notify call.
class CNotificationService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify")) {
            return false;
        }
        const QList<QVariant> args = message.arguments();
        if (args.size() == 8) {
            bodies << args.at(4).toString();
        }
        connection.send(message.createReply(QVariant::fromValue(static_cast<uint>(bodies.size()))));
        return true;
    }
    QStringList bodies;
};

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

TEST(SyncNotifyTest, OneSummaryPerSynchronisationThatChangesStatesUnlessTurnedOff) {
    // A session bus of the test's own.
    testing_support::ChildProcess bus;
    const QString address = QString::fromStdString(
        bus.Start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}));
    if (address.isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    CNotificationService service;
    {
        QDBusConnection standIn = QDBusConnection::connectToBus(address, QStringLiteral("standin"));
        ASSERT_TRUE(standIn.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(standIn.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                                  &service));
    }

    CGuiFixture f;
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
    ASSERT_TRUE(WaitFor([&] { return !service.bodies.isEmpty(); })) << "no notification";
    LetTheRoundEnd();
    EXPECT_EQ(service.bodies,
              QStringList{QStringLiteral(
                  "Синхронизация закончена. Доставлено факсов: 2, не доставлено: 1.")});

    // Turned off, a fax sent since and now delivered is not told.
    SentFax(f, sim, "d", "88125550104");
    f.Doc().SentFaxes().Add(
        LoadSentRecord(testing_support::ReadFileOrDie(f.SentDir() + "/d.fax"))); // as a send does
    Settings().NotifyOnSync = false;
    QTest::keyClick(f.Frame().NewFaxView(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return StateOf(f, "d") == kJobStateDelivered; }));
    LetTheRoundEnd();
    EXPECT_EQ(service.bodies.size(), 1);
    // On again, a synchronisation that changes nothing says nothing.
    Settings().NotifyOnSync = true;
    QTest::keyClick(f.Frame().NewFaxView(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return f.Doc().Status().PendingQueries() == 0; }));
    LetTheRoundEnd();
    EXPECT_EQ(service.bodies.size(), 1);
    f.Stop();
    QDBusConnection::disconnectFromBus(QStringLiteral("standin"));
}
