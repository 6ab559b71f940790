#include "gui/addressbook/AbkCommon.h"

#include "addressbook/AddressBooks.h"
#include "app/Ports.h"
#include "resources/Strings.h"

#include <QAbstractItemView>
#include <QPalette>

#include <QCoreApplication>
#include <QDialog>
#include <QIcon>
#include <array>
#include <cstring>
#include <deque>

namespace abk {

namespace {
std::deque<DialogHook>& Hooks() {
    static std::deque<DialogHook> hooks; // GUI thread only
    return hooks;
}

// The three icons are read from their files once: the tree asks for one per node and the
// list for one per row each time it paints. Released with the application, before Qt goes.
std::array<QIcon, 3>*& IconCache() {
    static std::array<QIcon, 3>* cache = nullptr; // GUI thread only
    return cache;
}

QIcon CachedIcon(std::size_t which, const char* path) {
    std::array<QIcon, 3>*& cache = IconCache();
    if (cache == nullptr) {
        cache = new std::array<QIcon, 3>();
        qAddPostRoutine([] {
            delete IconCache();
            IconCache() = nullptr;
        });
    }
    QIcon& icon = (*cache)[which];
    if (icon.isNull()) {
        icon = QIcon(QString::fromLatin1(path));
    }
    return icon;
}
} // namespace

std::string U(const QString& s) {
    return s.toStdString();
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
    return CachedIcon(0, ":/icons/new-contact.png");
}

QIcon GroupIcon() {
    return CachedIcon(1, ":/icons/new-group.png");
}

QIcon BookIcon() {
    return CachedIcon(2, ":/icons/page-contacts.png");
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

bool IsLiveBook(const CAddrBook* book) {
    for (const auto& b : AddressBooks()) {
        if (b.get() == book) {
            return true;
        }
    }
    return false;
}

void ApplyHighlightRule(QAbstractItemView* view) {
    QPalette p = view->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Button));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::ButtonText));
    view->setPalette(p);
}

void PostStatus(QObject* target, IFrame& frame, unsigned id) {
    QMetaObject::invokeMethod(
        target, [&frame, id] { frame.SetStatusText(LoadString(id)); }, Qt::QueuedConnection);
}

} // namespace abk
