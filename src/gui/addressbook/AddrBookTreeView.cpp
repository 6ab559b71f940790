// The tree of books and groups of the address-book page.
#include "gui/addressbook/AddrBookViews.h"

#include "addressbook/BookCommands.h"
#include "addressbook/Export.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "gui/addressbook/AbkCommon.h"
#include "gui/addressbook/EditDialogs.h"
#include "gui/addressbook/ImportDlg.h"
#include "gui/shell/Commands.h"
#include "gui/shell/Profile.h"
#include "resources/Strings.h"
#include "store/VelquinDoc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMetaMethod>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

using namespace abk;

namespace {

constexpr int kBookRole = Qt::UserRole;
constexpr int kGuidRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kChildrenMadeRole = Qt::UserRole + 3;

} // namespace

CAddrBookTreeView::CAddrBookTreeView(CAddrBookPage& page, QWidget* parent)
    : QTreeWidget(parent), m_page(page) {
    setObjectName(QStringLiteral("addrBookTree"));
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    ApplyHighlightRule(this);
    // The selection, not the current item: a mouse press makes the item current before it
    // selects it, so at the current-item signal the clicked item is not selected yet.
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
    connect(this, &QTreeWidget::itemExpanded, this, &CAddrBookTreeView::MakeChildren);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { OnProperties(); });
    // Initial update: ready, then the timer that waits for the first book.
    m_ready = true;
    m_timer.setInterval(kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!AddressBooks().empty()) {
            m_timer.stop();
            Rebuild();
        }
    });
    m_timer.start();
}

void CAddrBookTreeView::Rebuild() {
    // The start timer only waits for the first books: once the tree is being built (the
    // loader's notice), a later tick would build it again and list the current book twice,
    // with a second "too many entries" box over the first.
    m_timer.stop();
    const unsigned generation = ++m_generation;
    m_waiting = true;
    std::shared_ptr<CFillShared> shared = m_page.Shared();
    IFrame* frame = &m_page.Frame();
    CThreadControl& control = CThreadControl::Instance();
    control.StartViewWorker(nullptr, kIdsBuildingTree, [=, this, &control] {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->dead) {
            return;
        }
        PostStatus(this, *frame, kIdsBuildingTree);
        bool stopped = false;
        auto nodes = std::make_shared<std::vector<CTreeNode>>(BuildBookTree(
            BookPointers(), [&control] { return control.StopRequested(); }, &stopped));
        if (stopped) {
            nodes.reset();
        }
        QMetaObject::invokeMethod(
            this, [=, this] { OnNodes(generation, nodes); }, Qt::QueuedConnection);
    });
}

namespace {
QTreeWidgetItem* MakeItem(const CTreeNode& node) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, Q(node.text));
    item->setIcon(0, node.IsBook() ? BookIcon() : GroupIcon());
    item->setData(0, kBookRole, QVariant::fromValue(reinterpret_cast<quintptr>(node.book)));
    item->setData(0, kGuidRole, GuidBytes(node.guid));
    item->setData(0, kImageRole, node.image);
    for (const CTreeNode& child : node.children) {
        item->addChild(MakeItem(child));
    }
    // The nested groups are made when the item is opened; until then it only shows that it
    // has some.
    const bool later = node.hasChildren && node.children.empty();
    item->setData(0, kChildrenMadeRole, !later);
    item->setChildIndicatorPolicy(later ? QTreeWidgetItem::ShowIndicator
                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    return item;
}
} // namespace

void CAddrBookTreeView::OnNodes(unsigned generation,
                                std::shared_ptr<std::vector<CTreeNode>> nodes) {
    if (generation != m_generation) {
        return;
    }
    m_waiting = false;
    IFrame& frame = m_page.Frame();
    if (!nodes) {
        frame.SetStatusText("");
        return;
    }
    m_filling = true;
    clear();
    QTreeWidgetItem* remembered = nullptr;
    for (const CTreeNode& node : *nodes) {
        QTreeWidgetItem* item = MakeItem(node);
        addTopLevelItem(item);
        item->setExpanded(true); // the groups are made visible
        if (node.book == CurrentBook()) {
            remembered = item;
        }
    }
    m_filling = false;
    frame.SetStatusText("");
    ++m_rebuildsDone;
    if (remembered != nullptr) {
        setCurrentItem(remembered);
    }
    Q_EMIT RebuildFinished();
}

CAddrBookEntry* CAddrBookTreeView::EntryOf(QTreeWidgetItem* item) const {
    if (item == nullptr) {
        return nullptr;
    }
    auto* book = reinterpret_cast<CAddrBook*>(item->data(0, kBookRole).value<quintptr>());
    if (!IsLiveBook(book)) {
        return nullptr;
    }
    if (item->data(0, kImageRole).toInt() == kTreeImageBook) {
        return book;
    }
    const Guid guid = GuidFrom(item->data(0, kGuidRole).toByteArray());
    CAddrBookEntry* e = book->FindEntry(guid);
    return e != nullptr ? e : FindEntryInAllBooks(guid);
}

QTreeWidgetItem* CAddrBookTreeView::SelectedItem() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : items.front();
}

CAddrBookEntry* CAddrBookTreeView::SelectedEntry() const {
    return EntryOf(SelectedItem());
}

void CAddrBookTreeView::OnSelectionChanged() {
    if (!m_ready || m_filling) {
        return;
    }
    CAddrBookEntry* entry = SelectedEntry();
    // The book of the chosen item is where the next contact or group goes, and the book the
    // entry list deletes from: a group's book as well as a book itself.
    if (entry != nullptr && entry->GetType() == kEntryTypeBook) {
        AddressBooks().MakeCurrent(static_cast<CAddrBook*>(entry));
    } else if (entry != nullptr && IsLiveBook(entry->m_owner)) {
        AddressBooks().MakeCurrent(entry->m_owner);
    }
    if (entry != nullptr) {
        m_page.List()->Fill(entry); // WM_USER+10
    }
    Q_EMIT m_page.SelectionChangedForCommands();
}

void CAddrBookTreeView::MakeChildren(QTreeWidgetItem* item) {
    if (item == nullptr || item->data(0, kChildrenMadeRole).toBool()) {
        return;
    }
    item->setData(0, kChildrenMadeRole, true);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    CAddrBookEntry* entry = EntryOf(item);
    if (entry == nullptr || entry->GetType() != kEntryTypeGroup) {
        return;
    }
    // The groups above this one on its path, which a cycle would show again.
    std::vector<Guid> above;
    for (QTreeWidgetItem* p = item->parent(); p != nullptr; p = p->parent()) {
        if (p->data(0, kImageRole).toInt() != kTreeImageBook) {
            above.push_back(GuidFrom(p->data(0, kGuidRole).toByteArray()));
        }
    }
    QList<QTreeWidgetItem*> children;
    for (const CTreeNode& node : NestedGroupNodes(static_cast<CGroupEntry&>(*entry), above)) {
        children << MakeItem(node);
    }
    item->addChildren(children);
}

void CAddrBookTreeView::RemoveGoneItems() {
    QTreeWidgetItem* selected = SelectedItem();
    std::vector<QTreeWidgetItem*> gone;
    // On a stack of its own: opened level by level, a chain of groups can be deep.
    std::vector<QTreeWidgetItem*> todo;
    for (int i = topLevelItemCount() - 1; i >= 0; --i) {
        todo.push_back(topLevelItem(i));
    }
    while (!todo.empty()) {
        QTreeWidgetItem* item = todo.back();
        todo.pop_back();
        if (EntryOf(item) == nullptr) {
            gone.push_back(item); // with everything below it
            continue;
        }
        for (int i = item->childCount() - 1; i >= 0; --i) {
            todo.push_back(item->child(i));
        }
    }
    if (gone.empty()) {
        return;
    }
    bool selectionGone = false;
    m_filling = true;
    for (QTreeWidgetItem* item : gone) {
        for (QTreeWidgetItem* p = selected; p != nullptr; p = p->parent()) {
            selectionGone = selectionGone || p == item;
        }
        delete item;
    }
    m_filling = false;
    if (!selectionGone) {
        return;
    }
    // The item that took the place of the deleted one is the chosen one now: it is selected,
    // becomes the current book's item and its entries are listed.
    QTreeWidgetItem* next = currentItem();
    if (next == nullptr) {
        m_page.List()->ClearRows();
        Q_EMIT m_page.SelectionChangedForCommands();
        return;
    }
    m_filling = true;
    setCurrentItem(next);
    m_filling = false;
    OnSelectionChanged();
}

void CAddrBookTreeView::OnProperties() {
    QTreeWidgetItem* item = SelectedItem();
    CAddrBookEntry* entry = SelectedEntry();
    if (entry == nullptr) {
        return;
    }
    if (CAddressBooks::RefuseEdit(
            entry->GetType() == kEntryTypeBook ? static_cast<CAddrBook*>(entry) : entry->m_owner,
            m_page.Prompt())) {
        return;
    }
    if (entry->GetType() == kEntryTypeGroup) {
        bool ok = false;
        CAddrBook* book = entry->m_owner;
        {
            CAddrBookPage::CBookLock lock(m_page);
            CGroupDlg dlg(entry->m_owner, static_cast<CGroupEntry&>(*entry), m_page.Prompt(), this);
            ok = RunDialog(dlg) == QDialog::Accepted;
        }
        if (ok) {
            AddressBooks().Edited(*book);
        }
    } else if (entry->GetType() == kEntryTypeBook) {
        CAddrBookPage::CBookLock lock(m_page);
        auto& book = static_cast<CAddrBook&>(*entry);
        CAddrBookPropDlg dlg(book, this);
        if (RunDialog(dlg) == QDialog::Accepted) {
            item->setText(0, Q(book.m_name));
        }
    }
}

void CAddrBookTreeView::OnDelete() {
    CAddrBookEntry* entry = SelectedEntry();
    if (entry == nullptr) {
        return;
    }
    if (Settings().ConfirmDeleteItem &&
        m_page.Prompt().MessageId(kIdsConfirmDeleteItem, MsgIcon::Question, MsgButtons::YesNo) !=
            MsgAnswer::Yes) {
        return;
    }
    const Guid guid = entry->m_guid;
    const bool book = entry->GetType() == kEntryTypeBook;
    if (!book && CAddressBooks::RefuseEdit(entry->m_owner, m_page.Prompt())) {
        return;
    }
    {
        CAddrBookPage::CBookLock lock(m_page);
        // A book's file goes at once; one that cannot be deleted keeps the book.
        if (!AddressBooks().Delete(
                guid, [this](const std::string& e) { m_page.Prompt().FileError(e); })) {
            return;
        }
    }
    // Every item of the entry goes (a group shows under its book and under each group that
    // holds it; a book takes its groups shown under other books' groups with it), and the
    // item that takes its place is listed.
    RemoveGoneItems();
}

void CAddrBookTreeView::OnNewBook() {
    auto book = std::make_unique<CAddrBook>(std::string(LoadString(kIdsNewBookName)));
    CAddrBookPropDlg dlg(*book, this);
    if (RunDialog(dlg) != QDialog::Accepted) {
        return;
    }
    CAddrBook* raw = book.get();
    {
        CAddrBookPage::CBookLock lock(m_page);
        m_page.ShowOwnChange([&] {
            AddressBooks().Add(std::move(book));
            AddressBooks().MakeCurrent(raw);
        });
    }
    CTreeNode node;
    node.text = raw->m_name;
    node.book = raw;
    node.guid = raw->m_guid;
    QTreeWidgetItem* item = MakeItem(node);
    m_filling = true;
    addTopLevelItem(item);
    setCurrentItem(item);
    m_filling = false;
    m_page.List()->ClearRows();
    Q_EMIT m_page.SelectionChangedForCommands();
}

void CAddrBookTreeView::OnExport() {
    CAddrBookEntry* entry = SelectedEntry();
    if (entry == nullptr && currentItem() == nullptr && topLevelItemCount() > 0) {
        entry = EntryOf(topLevelItem(0));
    }
    if (entry == nullptr || entry->GetType() != kEntryTypeBook) {
        return;
    }
    const auto& book = static_cast<const CAddrBook&>(*entry);
    const auto path = m_page.Prompt().AskSaveFile(ExportFileFilter(), book.m_name, "txt");
    if (!path) {
        return;
    }
    ExportBook(book, *path, m_page.Prompt(), &m_page.Frame());
}

void CAddrBookTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnProperties();
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        OnDelete();
        return;
    }
    if (event->key() == Qt::Key_Asterisk) {
        // Opening every level below could mean more paths than memory holds (groups that
        // share subgroups): '*' opens one level, like '+'.
        if (QTreeWidgetItem* item = currentItem()) {
            item->setExpanded(true);
        }
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CAddrBookTreeView::contextMenuEvent(QContextMenuEvent* event) {
    m_page.SetListActive(false);
    QPoint pos = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        QTreeWidgetItem* item = currentItem() != nullptr ? currentItem() : topLevelItem(0);
        const QRect r = item != nullptr ? visualItemRect(item) : QRect();
        pos = viewport()->mapToGlobal(QPoint(5, r.top() + 5));
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("addrBookTreeMenu"));
    QMenu* create = menu.addMenu(tr("Создать"));
    auto add = [this](QMenu* m, const QString& text, int id) {
        QAction* a = m->addAction(text, [this, id] { m_page.OnCommand(id); });
        bool enabled = false, checked = false;
        m_page.CommandState(id, enabled, checked);
        a->setEnabled(enabled);
        return a;
    };
    add(create, tr("&Запись..."), cmd::kNewContact);
    add(create, tr("&Группу..."), cmd::kNewGroup);
    add(create, tr("&Адресную книгу"), cmd::kNewBook);
    QAction* props = add(&menu, tr("&Свойства..."), cmd::kProperties);
    add(&menu, tr("Удалить"), cmd::kDelete);
    menu.setDefaultAction(props);
    menu.exec(pos);
}

void CAddrBookTreeView::focusInEvent(QFocusEvent* event) {
    m_page.SetListActive(false);
    QTreeWidget::focusInEvent(event);
    Q_EMIT m_page.SelectionChangedForCommands();
}
