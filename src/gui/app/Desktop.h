#pragma once
// The program among the desktop's others: a second start hands its parameters to the running
// copy over a local socket in the user's private runtime folder, and the end of the session
// (SIGTERM, SIGHUP, SIGINT) reaches the GUI thread as a Qt signal.
#include <QObject>
#include <QString>
#include <string>
#include <vector>

class QLocalServer;
class QSocketNotifier;

// The running copy's end of the socket. Only the holder of the instance lock makes one.
class CInstanceServer : public QObject {
    Q_OBJECT
public:
    explicit CInstanceServer(QObject* parent = nullptr);
    // Listens on `path`, replacing a socket a crashed copy left. False when it cannot.
    bool Listen(const QString& path);

Q_SIGNALS:
    // A second start's command-line parameters.
    void SecondStart(const std::vector<std::string>& args);

private:
    void OnConnection();
    QLocalServer* m_server;
};

// Hands `args` to the copy listening on `path` and waits until it has handled them; while that
// copy is still starting, it is waited for. False with `error` (for the user) when no copy
// answers.
bool ForwardToRunningCopy(const QString& path, const std::vector<std::string>& args,
                          QString& error);

// Turns SIGTERM, SIGHUP and SIGINT into EndRequested on the thread that made the object: the
// handler only writes a byte into a pipe. The previous handlers come back on destruction.
// One at a time per process.
class CEndSignals : public QObject {
    Q_OBJECT
public:
    explicit CEndSignals(QObject* parent = nullptr);
    ~CEndSignals() override;

Q_SIGNALS:
    void EndRequested();

private:
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};

// The XDG autostart entry that starts this program when the user logs in
// ($XDG_CONFIG_HOME/autostart/velquin.desktop).
QString AutostartEntryPath();
bool AutostartEnabled();
// Writes the entry (starting `program`) or removes it; false with `error` when it cannot.
bool SetAutostart(bool on, const QString& program, QString& error);
