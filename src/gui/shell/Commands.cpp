#include "gui/shell/Commands.h"

#include "resources/Strings.h"

#include <QPixmap>

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString Str(unsigned id) {
    return Q(LoadString(id));
}

QString CommandText(int id) {
    QString s = Str(static_cast<unsigned>(id));
    const qsizetype nl = s.indexOf(QLatin1Char('\n'));
    return nl < 0 ? s : s.left(nl);
}

QString CommandTip(int id) {
    QString s = Str(static_cast<unsigned>(id));
    const qsizetype nl = s.indexOf(QLatin1Char('\n'));
    QString tip = nl < 0 ? s : s.mid(nl + 1);
    tip.remove(QLatin1Char('&'));
    const qsizetype tab = tip.indexOf(QLatin1Char('\t'));
    return tab < 0 ? tip : tip.left(tab);
}

QIcon ThemedIcon(const char* themeName, const char* bundledName) {
    const QIcon bundled(QStringLiteral(":/icons/%1.png").arg(QLatin1String(bundledName)));
    if (themeName != nullptr && QIcon::hasThemeIcon(QLatin1String(themeName))) {
        // A theme may hold only images this Qt cannot draw (SVG without its plugin): such an
        // icon would leave the button blank.
        QIcon themed = QIcon::fromTheme(QLatin1String(themeName));
        if (!themed.pixmap(24, 24).isNull()) {
            return themed;
        }
    }
    return bundled;
}

QIcon CommandIcon(int id) {
    struct Row {
        int id;
        const char* theme;
        const char* bundled;
    };
    static const Row kRows[] = {
        {cmd::kSettings, "preferences-system", "settings"},
        {cmd::kHideWindow, nullptr, "hide"},
        {cmd::kExit, "application-exit", "exit"},
        {cmd::kSynchronise, "view-refresh", "sync"},
        {cmd::kUserGuide, "help-contents", "help"},
        {cmd::kAbout, "help-about", "about"},
        {cmd::kDelete, "edit-delete", "delete"},
        {cmd::kSaveDocument, "document-save", "save"},
        {cmd::kNewDocument, "document-open", "add-document"},
        {cmd::kViewReadyFax, "document-print-preview", "view"},
        {cmd::kSendFax, "mail-send", "send"},
        {cmd::kSendList, nullptr, "send-list"},
        {cmd::kSendPersonal, nullptr, "send-personal"},
        {cmd::kMoveUp, "go-up", "move-up"},
        {cmd::kMoveDown, "go-down", "move-down"},
        {cmd::kAddToNewFax, "edit-copy", "add-to-new"},
        {cmd::kViewFax, "document-print-preview", "view"},
        {cmd::kDeliveryReport, nullptr, "report"},
        {cmd::kResendUndelivered, nullptr, "resend"},
        {cmd::kSaveProof, "document-save-as", "save"},
        {cmd::kFilter, nullptr, "filter"},
        {cmd::kNewContact, "contact-new", "new-contact"},
        {cmd::kNewGroup, nullptr, "new-group"},
        {cmd::kNewBook, nullptr, "new-book"},
        {cmd::kProperties, "document-properties", "properties"},
        {cmd::kImport, nullptr, "import"},
        {cmd::kOpenBook, nullptr, "open-book"},
        {cmd::kExport, nullptr, "export"},
    };
    for (const Row& r : kRows) {
        if (r.id == id) {
            return ThemedIcon(r.theme, r.bundled);
        }
    }
    return {};
}

void InitGuiResources() {
    // The icons live in a static library: their registration must be pulled in by hand.
    Q_INIT_RESOURCE(icons);
}
