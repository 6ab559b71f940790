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

constexpr const char* kContentSection = "Settings\\AddrBook\\Content";
constexpr int kDefaultWidths[3] = {150, 180, 250};
constexpr int kBookRole = Qt::UserRole;
constexpr int kGuidRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kChildrenMadeRole = Qt::UserRole + 3;

// Sort states kept for the whole process.
CSortState& ListSort() {
    static CSortState state;
    return state;
}
CSortState& PickerSort() {
    static CSortState state;
    return state;
}

bool IsLiveBook(const CAddrBook* book) {
    for (const auto& b : AddressBooks()) {
        if (b.get() == book) {
            return true;
        }
    }
    return false;
}

// The source of a fill as it is now: the same book, or the group found under its GUID.
CAddrBookEntry* StillThere(CAddrBookEntry* source, int type, const Guid& guid) {
    if (type == kEntryTypeBook) {
        return IsLiveBook(static_cast<CAddrBook*>(source)) ? source : nullptr;
    }
    CAddrBookEntry* e = FindEntryInAllBooks(guid);
    return e == source ? e : nullptr;
}

void ApplyHighlightRule(QAbstractItemView* view) {
    // Selected rows: highlight colours with the focus, button-face colours without it.
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

} // namespace

// --- model ------------------------------------------------------------------------------

CEntryListModel::CEntryListModel(bool picker, QObject* parent)
    : QAbstractTableModel(parent), m_picker(picker) {}

int CEntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CEntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant CEntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const CBookRow& r = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? Q(r.name) : Q(index.column() == 1 ? r.company : r.person);
    case Qt::DecorationRole:
        if (index.column() == 0) {
            return r.IsGroup() ? GroupIcon() : ContactIcon();
        }
        return {};
    case Qt::FontRole:
        if (r.IsGroup() && !m_picker) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    default:
        return {};
    }
}

QVariant CEntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3) {
        return abk::Str(kIdsColumnName + static_cast<unsigned>(section));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CEntryListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CEntryListModel::Append(std::vector<CBookRow>::const_iterator first,
                             std::vector<CBookRow>::const_iterator last) {
    if (first == last) {
        return;
    }
    const int from = rowCount();
    beginInsertRows({}, from, from + static_cast<int>(last - first) - 1);
    m_rows.insert(m_rows.end(), first, last);
    endInsertRows();
}

void CEntryListModel::SetRows(std::vector<CBookRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CEntryListModel::Sort(const CSortState& state) {
    Q_EMIT layoutAboutToBeChanged();
    SortRows(m_rows, state, m_picker);
    Q_EMIT layoutChanged();
}

void CEntryListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

// --- entry list -------------------------------------------------------------------------

CAddrBookView::CAddrBookView(CAddrBookPage& page, QWidget* parent)
    : QTableView(parent), m_page(page), m_model(new CEntryListModel(false, this)) {
    setObjectName(QStringLiteral("addrBookList"));
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsClickable(true);
    ApplyHighlightRule(this);
    for (int c = 0; c < 3; ++c) {
        const auto stored = profile::ReadInt(kContentSection, QStringLiteral("Column $%1").arg(c));
        setColumnWidth(c, stored.value_or(0) > 0 ? *stored : kDefaultWidths[c]);
    }
    m_sort = ListSort();
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CAddrBookView::SortBy);
    connect(this, &QTableView::doubleClicked, this, [this] { OnProperties(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Q_EMIT m_page.SelectionChangedForCommands(); });
}

CAddrBookView::~CAddrBookView() {
    SaveColumnWidths();
}

void CAddrBookView::SaveColumnWidths() {
    for (int c = 0; c < 3; ++c) {
        profile::WriteInt(kContentSection, QStringLiteral("Column $%1").arg(c), columnWidth(c));
    }
}

void CAddrBookView::ClearRows() {
    ++m_generation; // a fill under way no longer shows
    m_waiting = false;
    m_inserting = false;
    m_model->Clear();
}

void CAddrBookView::Fill(CAddrBookEntry* source) {
    ClearRows();
    if (source == nullptr) {
        return;
    }
    const unsigned generation = m_generation;
    m_waiting = true;
    const int type = source->GetType();
    const Guid guid = source->m_guid;
    std::shared_ptr<CFillShared> shared = m_page.Shared();
    IFrame* frame = &m_page.Frame();
    CThreadControl& control = CThreadControl::Instance();
    control.StartViewWorker(nullptr, kIdsBuildingList, [=, this, &control] {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->dead) {
            return;
        }
        PostStatus(this, *frame, kIdsBuildingList);
        auto rows = std::make_shared<std::vector<CBookRow>>();
        CFillResult result = CFillResult::Done;
        std::string name;
        if (CAddrBookEntry* live = StillThere(source, type, guid)) {
            name = live->m_name;
            result = BuildEntryRows(*live, *rows, [&control] { return control.StopRequested(); });
        }
        QMetaObject::invokeMethod(
            this, [=, this] { OnRows(generation, result, rows, name); }, Qt::QueuedConnection);
    });
}

void CAddrBookView::OnRows(unsigned generation, CFillResult result,
                           std::shared_ptr<std::vector<CBookRow>> rows, std::string bookName) {
    if (generation != m_generation) {
        return;
    }
    m_waiting = false;
    IFrame& frame = m_page.Frame();
    if (result == CFillResult::Stopped) {
        frame.SetStatusText("");
        return;
    }
    if (result == CFillResult::TooMany) {
        if (window()->isVisible()) {
            m_page.Prompt().Message(FormatString(LoadString(kMsgTooManyEntries), bookName),
                                    MsgIcon::Warning, MsgButtons::Ok);
        }
        frame.ProgressEnd();
        frame.SetStatusText("");
        ++m_fillsDone;
        Q_EMIT FillFinished();
        return;
    }
    const std::size_t batches = (rows->size() + kBatchRows - 1) / kBatchRows;
    frame.ProgressStart(static_cast<int>(batches));
    m_inserting = true;
    InsertBatch(generation, std::move(rows), 0);
}

void CAddrBookView::InsertBatch(unsigned generation, std::shared_ptr<std::vector<CBookRow>> rows,
                                std::size_t from) {
    if (generation != m_generation) {
        return;
    }
    const std::size_t to = std::min(rows->size(), from + kBatchRows);
    m_model->Append(rows->cbegin() + static_cast<std::ptrdiff_t>(from),
                    rows->cbegin() + static_cast<std::ptrdiff_t>(to));
    IFrame& frame = m_page.Frame();
    if (to < rows->size()) {
        frame.ProgressStep(static_cast<int>(to / kBatchRows));
        // The rest on a later turn of the event loop, so the window keeps answering.
        QTimer::singleShot(0, this,
                           [this, generation, rows, to] { InsertBatch(generation, rows, to); });
        return;
    }
    frame.ProgressEnd();
    frame.SetStatusText("");
    m_inserting = false;
    ++m_fillsDone;
    Q_EMIT FillFinished();
}

void CAddrBookView::SortBy(int column) {
    m_sort.Click(column);
    ListSort() = m_sort;
    m_page.Frame().SetStatusText(LoadString(kIdsSortingList));
    m_model->Sort(m_sort);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, m_sort.direction == 1 ? Qt::AscendingOrder
                                                                       : Qt::DescendingOrder);
    m_page.Frame().SetStatusText("");
}

std::vector<int> CAddrBookView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) {
        rows.push_back(i.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CAddrBookView::OnProperties() {
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1) {
        return;
    }
    const Guid guid = m_model->Row(rows.front()).guid;
    bool changed = false;
    CAddrBook* book = nullptr;
    {
        CAddrBookPage::CBookLock lock(m_page);
        CAddrBookEntry* entry = FindEntryInAllBooks(guid);
        if (entry == nullptr || CAddressBooks::RefuseEdit(entry->m_owner, m_page.Prompt())) {
            return;
        }
        book = entry->m_owner;
        if (entry->GetType() == kEntryTypeGroup) {
            CGroupDlg dlg(entry->m_owner, static_cast<CGroupEntry&>(*entry), m_page.Prompt(), this);
            changed = RunDialog(dlg) == QDialog::Accepted;
        } else if (entry->GetType() == kEntryTypeContact) {
            changed = EditContact(m_page.Prompt(), static_cast<CContactEntry&>(*entry), this);
        }
    }
    if (changed) {
        AddressBooks().Edited(*book);
    }
}

void CAddrBookView::OnDelete() {
    std::vector<int> rows = SelectedRows();
    CAddrBook* book = CurrentBook();
    if (rows.empty() || book == nullptr || CAddressBooks::RefuseEdit(book, m_page.Prompt())) {
        return;
    }
    if (Settings().ConfirmDeleteItem &&
        m_page.Prompt().MessageId(kIdsConfirmDeleteItem, MsgIcon::Question, MsgButtons::YesNo) !=
            MsgAnswer::Yes) {
        return;
    }
    bool groupGone = false;
    {
        CAddrBookPage::CBookLock lock(m_page);
        setUpdatesEnabled(false);
        // From the bottom, so the rows above keep their numbers.
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            const CBookRow row = m_model->Row(*it);
            if (book->RemoveEntry(row.guid)) {
                m_model->RemoveRow(*it);
                groupGone = groupGone || row.IsGroup();
            }
        }
        setUpdatesEnabled(true);
    }
    // A deleted group leaves the tree at once, wherever it shows.
    if (groupGone) {
        m_page.Tree()->RemoveGoneItems();
    }
    Q_EMIT m_page.SelectionChangedForCommands();
}

void CAddrBookView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnProperties();
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        OnDelete();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CAddrBookView::contextMenuEvent(QContextMenuEvent* event) {
    m_page.SetListActive(true);
    if (m_page.HasContextMenuReceiver()) {
        Q_EMIT m_page.ContextMenuWanted(event->globalPos(), cmd::kProperties);
        return;
    }
    QMenu menu(this);
    QAction* props = menu.addAction(CommandText(cmd::kProperties),
                                    [this] { m_page.OnCommand(cmd::kProperties); });
    menu.addAction(CommandText(cmd::kDelete), [this] { m_page.OnCommand(cmd::kDelete); });
    menu.setDefaultAction(props);
    menu.exec(event->globalPos());
}

void CAddrBookView::focusInEvent(QFocusEvent* event) {
    m_page.SetListActive(true);
    QTableView::focusInEvent(event);
    Q_EMIT m_page.SelectionChangedForCommands();
}

// --- tree -------------------------------------------------------------------------------

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

// --- page -------------------------------------------------------------------------------

CAddrBookPage::CBookLock::CBookLock(CAddrBookPage& page) : m_page(page) {
    if (m_page.m_lockDepth++ == 0) {
        CThreadControl& control = CThreadControl::Instance();
        if (control.busy.load() == 2) {
            int expected = 0;
            control.stopRequest.compare_exchange_strong(expected, 1);
        }
        m_page.m_heldLock = std::unique_lock<std::mutex>(m_page.m_shared->mutex);
    }
}

CAddrBookPage::CBookLock::~CBookLock() {
    if (--m_page.m_lockDepth == 0) {
        m_page.m_heldLock.unlock();
    }
}

CAddrBookPage::CAddrBookPage(CVelquinDoc& doc, IFrame& frame, IPrompt& prompt, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), m_doc(doc), m_frame(frame), m_prompt(prompt),
      m_shared(std::make_shared<CFillShared>()) {
    setObjectName(QStringLiteral("addressBookPage"));
    m_tree = new CAddrBookTreeView(*this, this);
    m_list = new CAddrBookView(*this, this);
    setStretchFactor(1, 1);
    m_books = AddressBooks().Subscribe([this](const CBookChange& c) { OnBookChange(c); });
}

std::optional<int> CAddrBookPage::LaidOutTreeWidth() const {
    if (!m_laidOut || sizes().isEmpty()) {
        return std::nullopt;
    }
    return sizes().front();
}

void CAddrBookPage::showEvent(QShowEvent* event) {
    QSplitter::showEvent(event);
    m_laidOut = true; // the pending resize, and with it the layout, came before the show
}

CAddrBookPage::~CAddrBookPage() {
    m_books.Reset();
    // A worker still computing stops; one that has not begun finds the page gone.
    CThreadControl& control = CThreadControl::Instance();
    if (control.busy.load() == 2) {
        int expected = 0;
        control.stopRequest.compare_exchange_strong(expected, 1);
    }
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->dead = true;
}

bool CAddrBookPage::HasContextMenuReceiver() const {
    static const QMetaMethod signal = QMetaMethod::fromSignal(&CAddrBookPage::ContextMenuWanted);
    return isSignalConnected(signal);
}

void CAddrBookPage::OnBookChange(const CBookChange& change) {
    using Kind = CBookChange::Kind;
    switch (change.kind) {
    case Kind::Reset:
    case Kind::Edited:
        m_tree->Rebuild();
        break;
    case Kind::Added:
        if (!m_showing) {
            m_tree->Rebuild();
        }
        break;
    case Kind::Removed:
    case Kind::EntryRemoved:
        m_list->ClearRows(); // its rows may be of what goes
        break;
    case Kind::Renamed:
    case Kind::Current:
        break; // the tree shows the name it gave, and the current book is its selection
    }
}

void CAddrBookPage::ShowOwnChange(const std::function<void()>& change) {
    m_showing = true;
    change();
    m_showing = false;
}

bool CAddrBookPage::CommandState(int id, bool& enabled, bool& checked) {
    checked = false;
    switch (id) {
    case cmd::kNewContact:
    case cmd::kNewGroup:
        enabled = CanRunNewEntryCommand();
        return true;
    case cmd::kImport:
        enabled = CurrentBook() == nullptr || !CurrentBook()->IsReadOnly();
        return true;
    case cmd::kOpenBook:
    case cmd::kNewBook:
        enabled = true;
        return true;
    case cmd::kExport: {
        CAddrBookEntry* e = m_tree->SelectedEntry();
        enabled = e != nullptr && e->GetType() == kEntryTypeBook;
        return true;
    }
    case cmd::kProperties:
        enabled =
            m_listActive ? m_list->SelectedRows().size() == 1 : m_tree->SelectedEntry() != nullptr;
        return true;
    case cmd::kDelete:
        enabled =
            m_listActive ? !m_list->SelectedRows().empty() : m_tree->SelectedEntry() != nullptr;
        return true;
    default:
        return false;
    }
}

bool CAddrBookPage::OnCommand(int id) {
    switch (id) {
    case cmd::kNewContact:
        OnNewContact();
        return true;
    case cmd::kNewGroup:
        OnNewGroup();
        return true;
    case cmd::kImport:
        OnImport();
        return true;
    case cmd::kOpenBook: {
        // The new book joins the list while no view worker walks it; its "added" rebuilds
        // the tree afterwards.
        CBookLock lock(*this);
        RunOpenBookCommand(m_prompt, &m_frame);
        return true;
    }
    case cmd::kNewBook:
        m_tree->OnNewBook();
        return true;
    case cmd::kExport:
        m_tree->OnExport();
        return true;
    case cmd::kProperties:
        m_listActive ? m_list->OnProperties() : m_tree->OnProperties();
        return true;
    case cmd::kDelete:
        m_listActive ? m_list->OnDelete() : m_tree->OnDelete();
        return true;
    default:
        return false;
    }
}

void CAddrBookPage::OnNewContact() {
    if (CAddressBooks::RefuseEdit(CurrentBook(), m_prompt)) {
        return;
    }
    CBookLock lock(*this);
    RunNewContactCommand(
        [this](CContactEdit& edit) {
            CContactDlg dlg(m_prompt, edit, this);
            return RunDialog(dlg) == QDialog::Accepted;
        },
        {});
}

void CAddrBookPage::OnNewGroup() {
    if (CAddressBooks::RefuseEdit(CurrentBook(), m_prompt)) {
        return;
    }
    CBookLock lock(*this);
    RunNewGroupCommand(m_prompt,
                       [this](CGroupEdit& edit) {
                           CGroupDlg dlg(edit, m_prompt, this);
                           return RunDialog(dlg) == QDialog::Accepted;
                       },
                       {});
}

void CAddrBookPage::OnImport() {
    if (CAddressBooks::RefuseEdit(CurrentBook(), m_prompt)) {
        return;
    }
    CImportDlg dlg(
        m_prompt, m_frame,
        [this](const std::function<void()>& work) {
            CBookLock lock(*this);
            work();
        },
        {}, this);
    RunDialog(dlg);
}

CAddrBookPage* CreateAddressBookPage(CVelquinDoc& doc, IFrame& frame, IPrompt& prompt,
                                     QWidget* parent) {
    return new CAddrBookPage(doc, frame, prompt, parent);
}

// --- picker -----------------------------------------------------------------------------

CAddrBookDlg::CAddrBookDlg(bool singleSelection, QWidget* parent)
    : QDialog(parent), m_single(singleSelection), m_model(new CEntryListModel(true, this)) {
    setObjectName(QStringLiteral("addrBookDlg"));
    setWindowTitle(tr("Адресная книга"));
    m_books = new QComboBox(this);
    m_books->setObjectName(QStringLiteral("books"));
    for (const auto& b : AddressBooks()) {
        m_books->addItem(Q(b->m_name), QVariant::fromValue(reinterpret_cast<quintptr>(b.get())));
    }
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("entries"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(singleSelection ? QAbstractItemView::SingleSelection
                                             : QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_list->setMouseTracking(true);
    for (int c = 0; c < 3; ++c) {
        m_list->setColumnWidth(c, 150);
    }
    m_showNumbers = new QCheckBox(tr("Показывать номера"), this);
    m_showNumbers->setObjectName(QStringLiteral("showNumbers"));
    m_showGroups = new QCheckBox(tr("Показывать группы"), this);
    m_showGroups->setObjectName(QStringLiteral("showGroups"));
    m_showGroups->setChecked(true);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(tr("Выбрать"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("choose"));
    buttons->addButton(QDialogButtonBox::Cancel);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Адресная книга:"), this));
    top->addWidget(m_books, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_showNumbers);
    checks->addWidget(m_showGroups);
    checks->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(checks);
    layout->addWidget(buttons);
    resize(520, 420);

    connect(buttons, &QDialogButtonBox::accepted, this, &CAddrBookDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAddrBookDlg::reject);
    connect(m_books, &QComboBox::currentIndexChanged, this, &CAddrBookDlg::Refill);
    connect(m_showNumbers, &QCheckBox::toggled, this, &CAddrBookDlg::Refill);
    connect(m_showGroups, &QCheckBox::toggled, this, &CAddrBookDlg::Refill);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        PickerSort().Click(column);
        m_model->Sort(PickerSort());
        m_list->horizontalHeader()->setSortIndicatorShown(true);
        m_list->horizontalHeader()->setSortIndicator(
            column, PickerSort().direction == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(m_list, &QTableView::doubleClicked, this, [this] {
        if (m_ok->isEnabled()) {
            accept();
        }
    });
    Refill();
}

CAddrBook* CAddrBookDlg::SelectedBook() const {
    auto* book = reinterpret_cast<CAddrBook*>(m_books->currentData().value<quintptr>());
    return IsLiveBook(book) ? book : nullptr;
}

void CAddrBookDlg::Refill() {
    std::vector<CBookRow> rows;
    if (CAddrBook* book = SelectedBook()) {
        rows = BuildPickerRows(*book, m_showNumbers->isChecked(),
                               !m_single && m_showGroups->isChecked());
    }
    SortRows(rows, PickerSort(), true);
    m_model->SetRows(std::move(rows));
    m_list->horizontalHeader()->setSortIndicatorShown(true);
    m_list->horizontalHeader()->setSortIndicator(PickerSort().column, PickerSort().direction == 1
                                                                          ? Qt::AscendingOrder
                                                                          : Qt::DescendingOrder);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CAddrBookDlg::UpdateOk, Qt::UniqueConnection);
    UpdateOk();
}

void CAddrBookDlg::UpdateOk() {
    m_ok->setEnabled(m_list->selectionModel()->hasSelection());
}

void CAddrBookDlg::accept() {
    m_result.clear();
    std::vector<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) {
        rows.push_back(i.row());
    }
    std::sort(rows.begin(), rows.end());
    CAddrBook* book = SelectedBook();
    for (int r : rows) {
        CAddrBookEntry* e = book != nullptr ? book->FindEntry(m_model->Row(r).guid) : nullptr;
        if (e != nullptr) {
            m_result.push_back(e);
        }
    }
    if (m_result.empty()) {
        return;
    }
    QDialog::accept();
}

std::vector<CAddrBookEntry*> CAddrBookDlg::Pick(bool singleSelection, QWidget* parent,
                                                bool showNumbers, bool showGroups) {
    CAddrBookDlg dlg(singleSelection, parent);
    dlg.ShowNumbers()->setChecked(showNumbers);
    dlg.ShowGroups()->setChecked(showGroups);
    if (RunDialog(dlg) != QDialog::Accepted) {
        return {};
    }
    return dlg.Result();
}
