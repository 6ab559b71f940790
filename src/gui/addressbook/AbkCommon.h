#pragma once
// Shared bits of the address-book windows: text conversion, images, GUIDs in item data and
// the way modal dialogs are run (tests take a dialog over instead of a nested event loop).
#include "addressbook/AddrBook.h"
#include "gui/shell/Commands.h"

#include <QByteArray>
#include <QIcon>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QDialog;
class QAbstractItemView;
class QObject;
class IFrame;

namespace abk {

using ::Q;
using ::Str;
std::string U(const QString& s);

QByteArray GuidBytes(const Guid& g);
Guid GuidFrom(const QByteArray& bytes);

// Images of the lists: 0 contact, 1 group; of the tree: book, group, nested group.
QIcon ContactIcon();
QIcon GroupIcon();
QIcon BookIcon();

// Runs `dialog` modally and returns its result. While a hook is queued the first one gets the
// shown dialog instead and must end it with accept() or reject().
int RunDialog(QDialog& dialog);
using DialogHook = std::function<void(QDialog&)>;
void PushDialogHook(DialogHook hook);
void ClearDialogHooks();
std::size_t PendingDialogHooks();

// Whether `book` is one of the loaded books still.
bool IsLiveBook(const CAddrBook* book);
// Selected rows: highlight colours with the focus, button-face colours without it.
void ApplyHighlightRule(QAbstractItemView* view);
// Puts string `id` in the status bar from a worker, queued to `target`'s thread.
void PostStatus(QObject* target, IFrame& frame, unsigned id);

} // namespace abk
