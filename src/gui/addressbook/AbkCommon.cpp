#include "gui/addressbook/AbkCommon.h"

#include "resources/Strings.h"

#include <QDialog>
#include <cstring>
#include <deque>

namespace abk {

namespace {
std::deque<DialogHook>& Hooks() {
    static std::deque<DialogHook> hooks; // GUI thread only
    return hooks;
}
} // namespace

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string U(const QString& s) {
    return s.toStdString();
}

QString Str(unsigned id) {
    return Q(LoadString(id));
}

QByteArray GuidBytes(const Guid& g) {
    return QByteArray(reinterpret_cast<const char*>(&g), static_cast<qsizetype>(sizeof(Guid)));
}

Guid GuidFrom(const QByteArray& bytes) {
    Guid g{};
    if (bytes.size() == static_cast<qsizetype>(sizeof(Guid))) {
        std::memcpy(&g, bytes.constData(), sizeof(Guid));
    }
    return g;
}

QIcon ContactIcon() {
    return QIcon(QStringLiteral(":/icons/new-contact.png"));
}

QIcon GroupIcon() {
    return QIcon(QStringLiteral(":/icons/new-group.png"));
}

QIcon BookIcon() {
    return QIcon(QStringLiteral(":/icons/page-contacts.png"));
}

int RunDialog(QDialog& dialog) {
    if (Hooks().empty()) {
        return dialog.exec();
    }
    DialogHook hook = std::move(Hooks().front());
    Hooks().pop_front();
    dialog.show();
    hook(dialog);
    if (dialog.isVisible()) {
        dialog.reject();
    }
    return dialog.result();
}

void PushDialogHook(DialogHook hook) {
    Hooks().push_back(std::move(hook));
}

void ClearDialogHooks() {
    Hooks().clear();
}

std::size_t PendingDialogHooks() {
    return Hooks().size();
}

} // namespace abk
