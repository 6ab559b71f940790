// velquin: the Internet fax client's window.
#include "VelquinVersion.h"
#include "gui/addressbook/AddrBookViews.h"
#include "gui/app/Desktop.h"
#include "gui/app/Language.h"
#include "gui/app/VelquinGui.h"
#include "gui/shell/MainFrame.h"
#include "gui/shell/SentFaxView.h"
#include "resources/Strings.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "usage: velquin [-v] [FILE]\n"
    "Velquin, the Internet fax client: lists the documents printed to the fax printer, sends\n"
    "them and follows their delivery.\n"
    "  -v         write a detailed log: Velquin.log beside the program, or in\n"
    "             ~/.local/state/velquin when that folder cannot be written\n"
    "  FILE       start with the window hidden (the file itself is not opened)\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "Settings come from 'velquin-tool setup'. Started again, velquin brings the running\n"
    "window forward (with FILE it leaves it as it is).\n";

// --help and --version are answered before any window system is touched.
bool AnswerInfoSwitch(int argc, char** argv, int& rc) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            rc = 0;
            return true;
        }
        if (a == "--version") {
            std::printf("velquin %s\n", kVelquinVersion);
            rc = 0;
            return true;
        }
    }
    return false;
}

// A hidden hook for the documentation: VELQUIN_SCREENSHOT_DIR makes the program save a picture
// of each page there and quit.
void ScheduleScreenshots(CMainFrame& frame, const QString& dir) {
    QDir().mkpath(dir);
    auto page = std::make_shared<int>(0);
    auto* timer = new QTimer(&frame);
    timer->setInterval(700);
    QObject::connect(timer, &QTimer::timeout, &frame, [&frame, dir, page, timer] {
        static const char* const kNames[] = {"page-new-faxes", "page-sent-faxes",
                                             "page-saved-documents", "page-address-book"};
        if (*page > 0) {
            frame.grab().save(dir +
                              QStringLiteral("/%1.png").arg(QLatin1String(kNames[*page - 1])));
        }
        if (*page == CMainFrame::kPageCount) {
            timer->stop();
            frame.OnCommand(57665);
            return;
        }
        frame.SelectPage(*page);
        ++*page;
    });
    timer->start();
}

// Milliseconds since the kernel started this process (so loading the libraries counts too);
// the start is known to a clock tick (10 ms), negative when /proc cannot tell.
double MsSinceProcessStart() {
    std::FILE* f = std::fopen("/proc/self/stat", "r");
    if (f == nullptr) {
        return -1;
    }
    char buf[1024] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    // The fields after the command name, which may itself hold spaces and ')'.
    const std::string line(buf, n);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    unsigned long long startTicks = 0;
    int field = 2;
    for (std::size_t i = close + 1; i < line.size(); ++i) {
        if (line[i] == ' ' && ++field == 22) {
            if (std::sscanf(line.c_str() + i + 1, "%llu", &startTicks) != 1) {
                return -1;
            }
            break;
        }
    }
    timespec now{};
    if (field != 22 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return -1;
    }
    const double start =
        static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - start) *
           1000.0;
}

timespec g_exitAsked{}; // CLOCK_REALTIME of the start-up report's exit command

// The running program, while exit() may come from elsewhere: Qt's X11 plugin ends the process
// with exit() when the display goes away. The exit handlers would then destroy what the
// workers still wait on; instead the program saves and joins them, and ends there.
CVelquinGui* g_running = nullptr;

void EndWithoutDisplay() {
    if (g_running != nullptr) {
        g_running->ShutdownWithoutDisplay();
        std::_Exit(1);
    }
}

// A hidden hook for bench/startup.sh: VELQUIN_STARTUP_REPORT makes the program write the time
// from process start until its lists are shown (the sent faxes loaded, the address books
// handed over, their tree built and the current book listed, or the box saying it is too
// large to list put up), then quit. Polled, so that a box's own event loop is no obstacle.
void ScheduleStartupReport(CVelquinGui& gui, CMainFrame& frame, const QString& file) {
    CAddrBookPage* page = frame.AddressBookPage();
    auto* poll = new QTimer(&frame);
    poll->setInterval(1);
    auto reported = std::make_shared<bool>(false);
    auto windowMs = std::make_shared<double>(-1);
    QObject::connect(
        poll, &QTimer::timeout, &frame, [&gui, &frame, page, file, poll, reported, windowMs] {
            QWidget* box = QApplication::activeModalWidget();
            if (*reported) {
                if (box != nullptr) {
                    box->close();
                } else {
                    poll->stop();
                    clock_gettime(CLOCK_REALTIME, &g_exitAsked);
                    frame.OnCommand(57665);
                }
                return;
            }
            if (*windowMs < 0 && frame.isVisible()) {
                *windowMs = MsSinceProcessStart();
            }
            const bool listShown = !page->List()->Filling() || box != nullptr;
            if (!gui.Document()->StoreLoaded() || AddressBooks().LoaderBusy() ||
                page->Tree()->RebuildsDone() == 0 || page->Tree()->Building() || !listShown ||
                !frame.isVisible()) {
                return;
            }
            *reported = true;
            const double ms = MsSinceProcessStart();
            // The processor time of all threads so far: on a busy machine it says how much of the
            // wait was our own work.
            timespec cpu{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
            const double cpuMs =
                static_cast<double>(cpu.tv_sec) * 1000.0 + static_cast<double>(cpu.tv_nsec) / 1e6;
            if (std::FILE* out = std::fopen(file.toLocal8Bit().constData(), "w")) {
                std::fprintf(out,
                             "%.1f\ncpu_ms=%.0f window_ms=%.1f sent_items=%d book_rows=%d box=%d\n",
                             ms, cpuMs, *windowMs, frame.SentView()->Model().EntryCount(),
                             page->List()->Model()->rowCount(), box != nullptr ? 1 : 0);
                std::fclose(out);
            }
        });
    poll->start();
}

} // namespace

int main(int argc, char** argv) {
    if (int rc = 0; AnswerInfoSwitch(argc, argv, rc)) {
        return rc;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwell"));
    QApplication::setApplicationVersion(QLatin1String(kVelquinVersion));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    // Russian on a Russian desktop, English on any other (LANGUAGE=ru or =en chooses).
    InstallLanguage(QLocale::system());

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    int rc = 0;
    {
        CVelquinGui gui;
        const CVelquinApp::StartResult started = gui.Start(args);
        if (started == CVelquinApp::StartResult::AlreadyRunning) {
            // The running copy takes the parameters: it comes forward, wherever it was.
            QString error;
            const bool handed =
                ForwardToRunningCopy(QString::fromStdString(InstanceSocketPath()), args, error);
            if (!handed) {
                gui.Prompt().FileError(
                    FormatString(LoadString(kMsgNoAnswerFromRunningCopy), error.toStdString()));
            }
            gui.Shutdown();
            return handed ? 0 : 1;
        }
        if (started != CVelquinApp::StartResult::Running) {
            gui.Shutdown();
            return 1;
        }
        CMainFrame& frame = *gui.MainFrame();
        // Exit has done its closing already: quit() would ask the windows once more, and a
        // window refusing (a dialog still busy) would leave the program running for good.
        QObject::connect(
            &frame, &CMainFrame::QuitRequested, &app, [] { QCoreApplication::exit(0); },
            Qt::QueuedConnection);
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &frame,
                         [&frame](QSessionManager&) { frame.OnCommand(57665); });
        const QByteArray shots = qgetenv("VELQUIN_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            frame.show();
            ScheduleScreenshots(frame, QString::fromLocal8Bit(shots));
        }
        const QByteArray report = qgetenv("VELQUIN_STARTUP_REPORT");
        if (!report.isEmpty()) {
            ScheduleStartupReport(gui, frame, QString::fromLocal8Bit(report));
        }
        g_running = &gui;
        std::atexit(EndWithoutDisplay);
        rc = QApplication::exec();
        g_running = nullptr;
        gui.Shutdown(true);
        if (!report.isEmpty() && g_exitAsked.tv_sec != 0) {
            // The exit lasts from the command until the process has ended, which the caller sees.
            if (std::FILE* out = std::fopen(report.constData(), "a")) {
                std::fprintf(out, "exit_asked=%lld.%09ld\n",
                             static_cast<long long>(g_exitAsked.tv_sec), g_exitAsked.tv_nsec);
                std::fclose(out);
            }
        }
    }
    return rc;
}
