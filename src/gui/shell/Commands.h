#pragma once
// Command ids shared by menus, toolbars and keys, with their texts and icons.
#include <QIcon>
#include <QString>
#include <string_view>

namespace cmd {
// Frame.
constexpr int kSettings = 32799;
constexpr int kHideWindow = 32800;
constexpr int kExit = 57665;
constexpr int kToolbar = 59392;
constexpr int kStatusBar = 59393;
constexpr int kNavigator = 32772;
constexpr int kSynchronise = 32787;
constexpr int kUserGuide = 32791;
constexpr int kAbout = 57664;
// Fax lists.
constexpr int kDelete = 32778;
constexpr int kSaveDocument = 32809;
constexpr int kNewDocument = 32819;
constexpr int kViewReadyFax = 32804;
constexpr int kSendFax = 32822;
constexpr int kSendList = 32823;
constexpr int kSendPersonal = 32811;
constexpr int kMoveUp = 32801;
constexpr int kMoveDown = 32802;
constexpr int kAddToNewFax = 32855;
constexpr int kViewFax = 32784;
constexpr int kDeliveryReport = 32850;
constexpr int kResendUndelivered = 32844;
constexpr int kFilter = 32810;
constexpr int kSaveProof = 32870;
// Address book.
constexpr int kNewContact = 32771;
constexpr int kNewGroup = 32773;
constexpr int kNewBook = 32782;
constexpr int kProperties = 32776;
constexpr int kImport = 32777;
constexpr int kOpenBook = 32779;
constexpr int kExport = 32780;
// Posted by the directory watcher.
constexpr int kReloadPrinted = 1026;
} // namespace cmd

// Strings used by the shell.
namespace ids {
constexpr unsigned kColPrintedDoc = 133;
constexpr unsigned kColPrintTime = 134;
constexpr unsigned kColSendTime = 136;
constexpr unsigned kColState = 187;
constexpr unsigned kProgressCaption = 113;
constexpr unsigned kProductName = 167;
constexpr unsigned kConfirmDelete = 175;
constexpr unsigned kPersonalNoView = 184;
constexpr unsigned kTitleContacts = 2013;
constexpr unsigned kTitleSent = 2014;
constexpr unsigned kTitleNew = 2015;
constexpr unsigned kTitleSaved = 2016;
constexpr unsigned kAllFaxes = 2043;
constexpr unsigned kIdleText = 57345;
constexpr unsigned kNotYet = 2090;
constexpr unsigned kDropNotAFax = 9410;
constexpr unsigned kDropPrintFailed = 9412;
constexpr unsigned kDropNoPrinter = 9413;
} // namespace ids

// UTF-8 text, as every string of the core holds it, as a QString.
QString Q(std::string_view s);
// A string of the table as a QString.
QString Str(unsigned id);
// A command's menu text (before the line break) and tooltip (after it).
QString CommandText(int id);
QString CommandTip(int id);
// The command's icon: the desktop theme's when it has a usable one, else the bundled one;
// a null icon for commands shown without one.
QIcon CommandIcon(int id);
// A bundled icon by name (":/icons/<name>.png"), preferring the theme icon `themeName`.
QIcon ThemedIcon(const char* themeName, const char* bundledName);
// Registers the bundled icons (safe to call more than once).
void InitGuiResources();
