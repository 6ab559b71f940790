// TWTiffView: Velquin's viewer of fax images. Velquin starts it with the image path as its one
// argument.
#include "VelquinVersion.h"
#include "ViewerWindow.h"
#include "gui/app/Language.h"

#include <QApplication>
#include <QLocale>
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "usage: TWTiffView [--title TEXT] [FILE]\n"
                      "Shows the pages of a fax image (TIFF), scaled by its resolution, and "
                      "prints them.\n"
                      "  --title TEXT  the document's name for the window title\n"
                      "                (default: the file name)\n"
                      "  --help     show this text\n"
                      "  --version  show the version\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before any window system is touched.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("TWTiffView %s\n", kVelquinVersion);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TWTiffView"));
    QApplication::setApplicationVersion(QLatin1String(kVelquinVersion));
    // Velquin's language: Russian on a Russian desktop, English on any other.
    InstallLanguage(QLocale::system());
    CViewerWindow window;
    window.show();
    QStringList args = QApplication::arguments();
    QString title;
    if (args.size() > 2 && args.at(1) == QLatin1String("--title")) {
        title = args.at(2);
        args.remove(1, 2);
    }
    if (args.size() > 1) {
        window.OpenFile(args.at(1), true, title);
    }
    return QApplication::exec();
}
