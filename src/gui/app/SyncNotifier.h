#pragma once
// Tells the desktop once per synchronisation how many faxes it found delivered and not
// delivered: a freedesktop notification over D-Bus, or the tray's message where no
// notification service answers. Follows the sent faxes' owner; off with NotifyOnSync.
#include "store/SentFaxes.h"

#include <QObject>
#include <QTimer>

class CVelquinDoc;
class QSystemTrayIcon;

class CSyncNotifier : public QObject {
    Q_OBJECT
public:
    // `tray` (may be null) shows the message when the desktop has no notification service.
    CSyncNotifier(CVelquinDoc& doc, QSystemTrayIcon* tray, QObject* parent = nullptr);

    // How long the replies must have stopped before the round counts as finished.
    static constexpr int kQuietMs = 400;

private:
    void OnChange(const CSentChange& change);
    void RoundEnded();
    void Show(const QString& text);
    void ShowInTray(const QString& title, const QString& text);

    CVelquinDoc& m_doc;
    QSystemTrayIcon* m_tray;
    int m_delivered = 0;
    int m_failed = 0;
    QTimer m_quiet;
    CSentFaxes::CSubscription m_subscription;
};
