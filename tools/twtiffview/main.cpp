// TWTiffView: Velquin's viewer of fax images. Velquin starts it with the image path as its one
// argument.
#include "ViewerWindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TWTiffView"));
    QTranslator qtbase;
    if (qtbase.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtbase);
    }
    CViewerWindow window;
    window.show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        window.OpenFile(args.at(1));
    }
    return QApplication::exec();
}
