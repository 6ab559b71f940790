#include "gui/app/SyncNotifier.h"

#include "app/Settings.h"
#include "gui/shell/Commands.h"
#include "resources/Strings.h"
#include "service/JobState.h"
#include "store/FaxListModel.h"
#include "store/VelquinDoc.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {

constexpr unsigned kIdsSyncSummary = 9420;
constexpr unsigned kIdsProductName = 167;

bool IsFailure(std::int32_t state) {
    return state == kJobStateNotDelivered || state == kJobStateNoFunds;
}

} // namespace

CSyncNotifier::CSyncNotifier(CVelquinDoc& doc, QSystemTrayIcon* tray, QObject* parent)
    : QObject(parent), m_doc(doc), m_tray(tray) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &CSyncNotifier::RoundEnded);
    m_subscription =
        doc.SentFaxes().Subscribe([this](const CSentChange& change) { OnChange(change); });
}

void CSyncNotifier::OnChange(const CSentChange& change) {
    if (change.kind != CSentChange::Kind::Changed || change.entry == nullptr) {
        return;
    }
    const std::int32_t now = EntryState(*change.entry);
    if (now != change.previousState) {
        if (now == kJobStateDelivered) {
            ++m_delivered;
        } else if (IsFailure(now) && !IsFailure(change.previousState)) {
            ++m_failed;
        }
    }
    if (m_delivered + m_failed > 0) {
        m_quiet.start(); // the summary waits for the round's last replies
    }
}

void CSyncNotifier::RoundEnded() {
    // Queries being asked, and replies still being applied or flushed to disk, belong to
    // this round however long the disk makes them wait.
    if (m_doc.Status().Unanswered() > 0) {
        m_quiet.start();
        return;
    }
    const int delivered = std::exchange(m_delivered, 0);
    const int failed = std::exchange(m_failed, 0);
    if (Settings().NotifyOnSync && delivered + failed > 0) {
        Show(Q(FormatString(LoadString(kIdsSyncSummary), std::to_string(delivered),
                            std::to_string(failed))));
    }
}

void CSyncNotifier::Show(const QString& text) {
    const QString title = Q(LoadString(kIdsProductName));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        ShowInTray(title, text);
        return;
    }
    // Called even when no one holds the name yet: the bus starts a notification service that
    // is activatable but not running (XFCE, MATE, LXQt). Only an error falls back to the tray.
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    call << QStringLiteral("Velquin") << 0u << QStringLiteral("velquin") << title << text
         << QStringList() << QVariantMap() << -1;
    // Not waited for: a slow notification service must not hold up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, title, text](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (done->isError()) {
                    ShowInTray(title, text);
                }
            });
}

void CSyncNotifier::ShowInTray(const QString& title, const QString& text) {
    if (m_tray != nullptr && m_tray->isVisible()) {
        m_tray->showMessage(title, text, QSystemTrayIcon::Information);
    }
}
