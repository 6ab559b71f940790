#include "gui/app/Desktop.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <array>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;
// A command line is small: anything larger is not a second start of ours.
constexpr qint64 kMaxMessage = 1 << 20;
// How long a second start waits for a copy that is still starting, and for its answer.
constexpr int kConnectWaitMs = 15000;
constexpr int kAnswerWaitMs = 15000;

} // namespace

CInstanceServer::CInstanceServer(QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceServer::OnConnection);
}

bool CInstanceServer::Listen(const QString& path) {
    // Only the holder of the instance lock gets here: a socket there is a crashed copy's.
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

void CInstanceServer::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QDataStream in(socket);
            in.setVersion(kStreamVersion);
            in.startTransaction();
            QStringList list;
            in >> list;
            if (!in.commitTransaction()) {
                if (socket->bytesAvailable() > kMaxMessage) {
                    socket->abort();
                }
                return; // the rest is still on its way
            }
            std::vector<std::string> args;
            for (const QString& a : list) {
                args.push_back(a.toStdString());
            }
            Q_EMIT SecondStart(args);
            // The answer tells the second start that its parameters were handled.
            socket->write("1");
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

bool ForwardToRunningCopy(const QString& path, const std::vector<std::string>& args,
                          QString& error) {
    QLocalSocket socket;
    const QDeadlineTimer connectBy(kConnectWaitMs);
    // The running copy takes its lock before it listens: a start close after it waits.
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(1000)) {
            break;
        }
        if (connectBy.hasExpired()) {
            error = socket.errorString();
            return false;
        }
        QThread::msleep(100);
    }
    QStringList list;
    for (const std::string& a : args) {
        list << QString::fromStdString(a);
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << list;
    socket.write(message);
    const QDeadlineTimer answerBy(kAnswerWaitMs);
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(answerBy.remainingTime()))) {
            error = socket.errorString();
            return false;
        }
    }
    return true;
}

// --- end of the session ------------------------------------------------------------------

namespace {

constexpr std::array<int, 3> kEndSignals = {SIGTERM, SIGHUP, SIGINT};
// Lock-free, so the handler may read it.
std::atomic<int> g_endWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
std::array<struct sigaction, kEndSignals.size()> g_previous{};

extern "C" void OnEndSignal(int sig) {
    const int saved = errno;
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_endWriteFd.load(), &byte, 1);
    errno = saved;
}

} // namespace

CEndSignals::CEndSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return; // the signals keep their default action
    }
    g_endWriteFd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buf[64];
        while (::read(m_pipe[0], buf, sizeof buf) > 0) {
        }
        Q_EMIT EndRequested();
    });
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        ::sigaction(kEndSignals[i], &sa, &g_previous[i]);
    }
}

CEndSignals::~CEndSignals() {
    if (m_pipe[1] < 0) {
        return;
    }
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        ::sigaction(kEndSignals[i], &g_previous[i], nullptr);
    }
    g_endWriteFd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

QString AutostartEntryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) {
        config = QDir::homePath() + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/autostart/velquin.desktop");
}

bool AutostartEnabled() {
    return QFileInfo::exists(AutostartEntryPath());
}

bool SetAutostart(bool on, const QString& program, QString& error) {
    const QString path = AutostartEntryPath();
    if (!on) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            error = path + QStringLiteral(": ") + file.errorString();
            return false;
        }
        return true;
    }
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    // A program path with spaces or quotes is quoted as the desktop entry format asks.
    QString exec = program;
    for (const QChar c :
         {QLatin1Char('\\'), QLatin1Char('"'), QLatin1Char('`'), QLatin1Char('$')}) {
        exec.replace(c, QStringLiteral("\\") + c);
    }
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=Velquin\n"
                                        "Exec=\"%1\"\nIcon=velquin\nTerminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(exec);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}
