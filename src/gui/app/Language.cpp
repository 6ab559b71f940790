#include "gui/app/Language.h"

#include "resources/Strings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>
#include <memory>
#include <string>

namespace {

// The string table's texts are translated in this context of the same translation file.
std::string TranslateTableText(std::string_view source) {
    const std::string text(source);
    return QCoreApplication::translate("Strings", text.c_str()).toStdString();
}

// The installed translators, replaced by the next InstallLanguage: Qt's own texts and ours.
enum ETranslator { kQtTexts, kOwnTexts, kTranslatorCount };

std::unique_ptr<QTranslator>& Installed(ETranslator which) {
    static std::unique_ptr<QTranslator> translators[kTranslatorCount];
    return translators[which];
}

void Install(ETranslator which, std::unique_ptr<QTranslator> translator) {
    std::unique_ptr<QTranslator>& slot = Installed(which);
    if (slot) {
        QCoreApplication::removeTranslator(slot.get());
    }
    slot = std::move(translator);
    if (slot) {
        QCoreApplication::installTranslator(slot.get());
    }
}

} // namespace

EInterfaceLanguage LanguageFor(const QLocale& desktop) {
    // The first language the desktop asks for: for the system locale that honours LANGUAGE
    // even under a C locale, where the locale's own language would not.
    const QStringList wanted = desktop.uiLanguages();
    const QLocale first = wanted.isEmpty() ? desktop : QLocale(wanted.first());
    return first.language() == QLocale::Russian ? EInterfaceLanguage::Russian
                                                : EInterfaceLanguage::English;
}

EInterfaceLanguage InstallLanguage(const QLocale& desktop) {
    const EInterfaceLanguage language = LanguageFor(desktop);
    if (language == EInterfaceLanguage::Russian) {
        // The texts are Russian already; Qt's own buttons and the dates follow them.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        auto qtbase = std::make_unique<QTranslator>();
        if (!qtbase->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            qtbase.reset();
        }
        Install(kQtTexts, std::move(qtbase));
        Install(kOwnTexts, nullptr);
        SetStringTranslator(nullptr);
        return language;
    }
    // Qt's own texts are English without a translator; an English desktop keeps its own way of
    // writing dates, any other gets the American one.
    QLocale::setDefault(desktop.language() == QLocale::English
                            ? desktop
                            : QLocale(QLocale::English, QLocale::UnitedStates));
    Install(kQtTexts, nullptr);
    auto texts = std::make_unique<QTranslator>();
    if (!texts->load(QStringLiteral(":/i18n/velquin_en.qm"))) {
        // Without its translation the program still works, in Russian.
        texts.reset();
    }
    Install(kOwnTexts, std::move(texts));
    SetStringTranslator(&TranslateTableText);
    return language;
}
