// velquin: the Internet fax client's window.
#include "gui/app/VelquinGui.h"
#include "gui/shell/MainFrame.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <string>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwell"));
    QApplication::setApplicationVersion(QStringLiteral(VELQUIN_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
    // The program speaks Russian: dates and Qt's own buttons follow.
    if (QLocale::system().language() != QLocale::Russian) {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    QTranslator qtbase;
    if (qtbase.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                    QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtbase);
    }

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    int rc = 0;
    {
        CVelquinGui gui;
        const CVelquinApp::StartResult started = gui.Start(args);
        if (started != CVelquinApp::StartResult::Running) {
            gui.Shutdown();
            return started == CVelquinApp::StartResult::AlreadyRunning ? 0 : 1;
        }
        CMainFrame& frame = *gui.MainFrame();
        QObject::connect(&frame, &CMainFrame::QuitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &frame,
                         [&frame](QSessionManager&) { frame.OnCommand(57665); });
        const QByteArray shots = qgetenv("VELQUIN_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            frame.show();
            ScheduleScreenshots(frame, QString::fromLocal8Bit(shots));
        }
        rc = QApplication::exec();
        gui.Shutdown();
    }
    return rc;
}
