#pragma once
// The interface language. The program's texts are Russian; a desktop in any other language gets
// them in English, from the translations built into the program.
#include <QLocale>

enum class EInterfaceLanguage { Russian, English };

// The language a desktop with locale `desktop` gets.
EInterfaceLanguage LanguageFor(const QLocale& desktop);

// Installs the language for `desktop` (QLocale::system() at start): the program's translation
// and the string table's, Qt's own texts, and the default locale of dates and numbers. Call it
// after the QCoreApplication is made and before windows and threads are; a second call changes
// the language.
EInterfaceLanguage InstallLanguage(const QLocale& desktop);
