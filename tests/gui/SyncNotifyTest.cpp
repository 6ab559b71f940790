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
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A session bus of the test's own. Started with posix_spawn, not QProcess: after QProcess's
// start of a child ThreadSanitizer no longer sees the locks this thread takes.
class CPrivateBus {
public:
    CPrivateBus() = default;
    CPrivateBus(const CPrivateBus&) = delete;
    CPrivateBus& operator=(const CPrivateBus&) = delete;
    ~CPrivateBus() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // False when dbus-daemon cannot be started or says no address.
    bool Start() {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>("--session"),
                        const_cast<char*>("--nofork"), const_cast<char*>("--print-address=1"),
                        nullptr};
        const int rc = ::posix_spawnp(&m_pid, "dbus-daemon", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            m_pid = -1;
            ::close(out[0]);
            return false;
        }
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
            m_address += c;
        }
        ::close(out[0]);
        return !m_address.empty();
    }
    const std::string& Address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
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
    CPrivateBus bus;
    if (!bus.Start()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    const QString address = QString::fromStdString(bus.Address());
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
    ASSERT_TRUE(WaitFor([&] { return f.Doc().PendingQueries() == 0; }));
    LetTheRoundEnd();
    EXPECT_EQ(service.bodies.size(), 1);
    f.Stop();
    QDBusConnection::disconnectFromBus(QStringLiteral("standin"));
}
