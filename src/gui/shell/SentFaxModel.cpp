#include "gui/shell/SentFaxModel.h"

#include "filters/ListFilter.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "resources/Strings.h"
#include "store/FaxListModel.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kColumns = 3;
constexpr unsigned kIdsFilterHides = 9421;

int RecipientCount(const CFaxEntryBase& entry) {
    if (const auto* list = dynamic_cast<const CGroupFaxEntry*>(&entry)) {
        return static_cast<int>(list->m_recipients.size());
    }
    if (const auto* personal = dynamic_cast<const CPersonalFaxEntry*>(&entry)) {
        return static_cast<int>(personal->m_recipients.size());
    }
    return 0;
}

} // namespace

QIcon SentTreeImage(int index) {
    static const char* const kNames[] = {nullptr,
                                         nullptr,
                                         "tree-root",
                                         "state-single",
                                         "state-single-queued",
                                         "state-single-failed",
                                         "state-single-done",
                                         "state-list",
                                         "state-list-queued",
                                         "state-list-failed",
                                         "state-list-done"};
    if (index < 0 || index > 10 || kNames[index] == nullptr) {
        return {};
    }
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(kNames[index])));
}

CSentFaxModel::CSentFaxModel(CSentFaxes& owner, const CListFilter& filter, QObject* parent)
    : QAbstractItemModel(parent), m_owner(owner), m_filter(filter),
      m_rootText(Str(ids::kAllFaxes)) {}

CSentFaxModel::~CSentFaxModel() = default;

QIcon CSentFaxModel::Image(int index) const {
    // Each icon is read from its file once and shared by the rows.
    if (m_icons.empty()) {
        for (int i = 0; i <= 10; ++i) {
            m_icons.push_back(SentTreeImage(i));
        }
    }
    return index >= 0 && index < static_cast<int>(m_icons.size()) ? m_icons[index] : QIcon();
}

const CSentFaxModel::CNode* CSentFaxModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kRootId) {
        return nullptr;
    }
    if (index.internalId() == kEntryRowId) {
        return index.row() < EntryCount() ? m_nodes[static_cast<std::size_t>(index.row())]
                                          : nullptr;
    }
    return reinterpret_cast<const CNode*>(index.internalId());
}

QModelIndex CSentFaxModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= kColumns) {
        return {};
    }
    if (!parent.isValid()) {
        return row == 0 ? createIndex(0, column, kRootId) : QModelIndex();
    }
    if (parent.internalId() == kRootId) {
        return row < EntryCount() ? createIndex(row, column, kEntryRowId) : QModelIndex();
    }
    if (parent.internalId() == kEntryRowId && parent.row() < EntryCount()) {
        const CNode* node = m_nodes[static_cast<std::size_t>(parent.row())];
        return row < node->children ? createIndex(row, column, reinterpret_cast<quintptr>(node))
                                    : QModelIndex();
    }
    return {};
}

QModelIndex CSentFaxModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kRootId) {
        return {};
    }
    if (child.internalId() == kEntryRowId) {
        return RootIndex();
    }
    return createIndex(reinterpret_cast<const CNode*>(child.internalId())->row, 0, kEntryRowId);
}

int CSentFaxModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return 1;
    }
    if (parent.column() != 0) {
        return 0;
    }
    if (parent.internalId() == kRootId) {
        return EntryCount();
    }
    if (parent.internalId() == kEntryRowId) {
        const CNode* node = NodeOf(parent);
        return node != nullptr ? node->children : 0;
    }
    return 0;
}

int CSentFaxModel::columnCount(const QModelIndex&) const {
    return kColumns;
}

const CSentRow& CSentFaxModel::Shown(const CNode& node) const {
    if (!node.shown) {
        node.shown = std::make_unique<CSentRow>(SentRowOf(*node.entry));
    }
    return *node.shown;
}

QVariant CSentFaxModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return index.column() == 2 ? QVariant(Qt::AlignCenter) : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::DecorationRole) {
        return {};
    }
    if (index.internalId() == kRootId) {
        if (index.column() != 0) {
            return {};
        }
        return role == Qt::DisplayRole ? QVariant(m_rootText) : QVariant(Image(2));
    }
    const CNode* node = NodeOf(index);
    if (node == nullptr) {
        return {};
    }
    const CSentRow* row = &Shown(*node);
    if (index.internalId() != kEntryRowId) {
        if (static_cast<std::size_t>(index.row()) >= row->children.size()) {
            return {};
        }
        row = &row->children[static_cast<std::size_t>(index.row())];
    }
    if (role == Qt::DecorationRole) {
        return index.column() == 0 ? QVariant(Image(row->image)) : QVariant();
    }
    switch (index.column()) {
    case 0:
        return Q(row->text);
    case 1:
        return Q(row->stateText);
    default:
        return CDocListView::TimeText(row->time);
    }
}

QVariant CSentFaxModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return section == 2 ? QVariant(Qt::AlignCenter) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    static const unsigned kTitles[kColumns] = {ids::kTitleSent, ids::kColState, ids::kColSendTime};
    return section >= 0 && section < kColumns ? Str(kTitles[section]) : QString();
}

CSentFaxModel::CNode* CSentFaxModel::Add(CFaxEntryBase* entry) {
    auto node = std::make_unique<CNode>();
    node->entry = entry;
    node->key = SentKey(*entry);
    node->ordinal = m_nextOrdinal++;
    node->children = RecipientCount(*entry);
    if (!node->key.empty()) {
        m_byKey[node->key] = node.get();
    }
    CNode* added = node.get();
    auto at = m_all.end();
    if (m_sortColumn >= 0) {
        // After its equals, as a new entry comes last in the owner's order.
        at = std::upper_bound(m_all.begin(), m_all.end(), entry,
                              [this](const CFaxEntryBase* e, const std::unique_ptr<CNode>& n) {
                                  const int c = CompareSentEntries(*e, *n->entry, m_sortColumn);
                                  return m_descending ? c > 0 : c < 0;
                              });
    }
    m_all.insert(at, std::move(node));
    return added;
}

bool CSentFaxModel::Matches(const CNode& node) const {
    if (m_search.Empty()) {
        return true;
    }
    if (!node.searchText) {
        node.searchText = SentSearchText(*node.entry);
    }
    return m_search.Matches(*node.entry, *node.searchText);
}

void CSentFaxModel::Sort() {
    m_prepared = 0;
    if (m_sortColumn < 0) {
        std::sort(m_all.begin(), m_all.end(),
                  [](const auto& a, const auto& b) { return a->ordinal < b->ordinal; });
        return;
    }
    std::vector<const CFaxEntryBase*> entries;
    entries.reserve(m_all.size());
    for (const auto& n : m_all) {
        entries.push_back(n->entry);
    }
    const std::vector<std::size_t> order = SentOrder(entries, m_sortColumn, m_descending);
    std::vector<std::unique_ptr<CNode>> sorted;
    sorted.reserve(m_all.size());
    for (std::size_t i : order) {
        sorted.push_back(std::move(m_all[i]));
    }
    m_all = std::move(sorted);
}

void CSentFaxModel::Select(bool within) {
    std::vector<CNode*> shown;
    shown.reserve(within ? m_nodes.size() : m_all.size());
    if (within) {
        for (CNode* n : m_nodes) {
            n->row = -1;
            if (Matches(*n)) {
                shown.push_back(n);
            }
        }
    } else {
        for (const auto& n : m_all) {
            n->row = -1;
            if (Matches(*n)) {
                shown.push_back(n.get());
            }
        }
    }
    m_nodes = std::move(shown);
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        m_nodes[i]->row = static_cast<int>(i);
    }
}

void CSentFaxModel::Rebuild() {
    beginResetModel();
    m_nodes.clear();
    m_all.clear();
    m_byKey.clear();
    m_nextOrdinal = 0;
    m_prepared = 0;
    const std::int64_t now = CurrentTime();
    const SentList& entries = m_owner.Entries();
    m_all.reserve(entries.size());
    m_byKey.reserve(entries.size());
    const int sortColumn = std::exchange(m_sortColumn, -1); // appended, then sorted once
    for (const auto& e : entries) {
        if (e && m_filter.Passes(e->m_time, now)) {
            Add(e.get());
        }
    }
    m_sortColumn = sortColumn;
    Sort();
    Select(false);
    // The root says how many faxes the filter hides, so that none seem lost.
    m_rootText = tr("Все факсы");
    if (const std::size_t hidden = entries.size() - m_all.size(); hidden > 0) {
        m_rootText = Q(FormatString(LoadString(kIdsFilterHides), m_rootText.toStdString(),
                                    std::to_string(hidden)));
    }
    endResetModel();
}

void CSentFaxModel::SetSearch(std::string_view typed) {
    CSentSearch search(typed);
    const bool within = !m_search.Empty() && search.Narrows(m_search);
    beginResetModel();
    m_search = std::move(search);
    Select(within);
    endResetModel();
}

bool CSentFaxModel::PrepareSearch(int count) {
    m_prepared = std::min(m_prepared, m_all.size());
    for (; m_prepared < m_all.size() && count > 0; ++m_prepared, --count) {
        const CNode& node = *m_all[m_prepared];
        if (!node.searchText) {
            node.searchText = SentSearchText(*node.entry);
        }
    }
    return m_prepared == m_all.size();
}

void CSentFaxModel::SetSort(int column, bool descending) {
    beginResetModel();
    m_sortColumn = column >= 0 && column < kColumns ? column : -1;
    m_descending = descending;
    Sort();
    Select(false);
    endResetModel();
}

void CSentFaxModel::Refresh(CNode& node) {
    // A changed entry keeps its place until the next search or sort: rows do not jump away
    // while a synchronisation changes states.
    node.shown.reset();
    node.searchText.reset();
    if (node.row < 0) {
        node.children = RecipientCount(*node.entry);
        return;
    }
    const QModelIndex row = createIndex(node.row, 0, kEntryRowId);
    const int now = RecipientCount(*node.entry);
    if (now > node.children) {
        beginInsertRows(row, node.children, now - 1);
        node.children = now;
        endInsertRows();
    } else if (now < node.children) {
        beginRemoveRows(row, now, node.children - 1);
        node.children = now;
        endRemoveRows();
    }
    Q_EMIT dataChanged(row, createIndex(node.row, kColumns - 1, kEntryRowId));
    if (node.children > 0) {
        const auto id = reinterpret_cast<quintptr>(&node);
        Q_EMIT dataChanged(createIndex(0, 0, id), createIndex(node.children - 1, kColumns - 1, id));
    }
}

void CSentFaxModel::Remove(const std::string& key) {
    auto it = m_byKey.find(key);
    if (it == m_byKey.end()) {
        return;
    }
    CNode* node = it->second;
    m_byKey.erase(it);
    // The node lives until the views have let go of its rows.
    auto owned =
        std::find_if(m_all.begin(), m_all.end(), [node](const auto& n) { return n.get() == node; });
    std::unique_ptr<CNode> gone = std::move(*owned);
    m_all.erase(owned);
    const int row = node->row;
    if (row < 0) {
        return;
    }
    beginRemoveRows(RootIndex(), row, row);
    m_nodes.erase(m_nodes.begin() + row);
    for (std::size_t i = static_cast<std::size_t>(row); i < m_nodes.size(); ++i) {
        m_nodes[i]->row = static_cast<int>(i);
    }
    endRemoveRows();
}

void CSentFaxModel::Insert(CNode* node) {
    if (!Matches(*node)) {
        return;
    }
    // Its row comes after every shown node before it in m_all.
    int row = 0;
    for (const auto& n : m_all) {
        if (n.get() == node) {
            break;
        }
        if (n->row >= 0) {
            row = n->row + 1;
        }
    }
    beginInsertRows(RootIndex(), row, row);
    m_nodes.insert(m_nodes.begin() + row, node);
    for (std::size_t i = static_cast<std::size_t>(row); i < m_nodes.size(); ++i) {
        m_nodes[i]->row = static_cast<int>(i);
    }
    endInsertRows();
}

void CSentFaxModel::Apply(const CSentChange& change) {
    // An entry without a key cannot be found again: only a rebuild shows its change.
    if (change.kind == CSentChange::Kind::Reset || change.key.empty()) {
        Rebuild();
        return;
    }
    switch (change.kind) {
    case CSentChange::Kind::Added:
        if (CFaxEntryBase* entry = m_owner.Find(change.key);
            entry != nullptr && m_filter.Passes(entry->m_time, CurrentTime()) &&
            m_byKey.find(change.key) == m_byKey.end()) {
            Insert(Add(entry));
        }
        break;
    case CSentChange::Kind::Changed:
        if (auto it = m_byKey.find(change.key); it != m_byKey.end()) {
            Refresh(*it->second);
        }
        break;
    case CSentChange::Kind::Removed:
        Remove(change.key);
        break;
    case CSentChange::Kind::Reset:
        break;
    }
}

QModelIndex CSentFaxModel::IndexOf(const std::string& key) const {
    auto it = m_byKey.find(key);
    return it != m_byKey.end() && it->second->row >= 0
               ? createIndex(it->second->row, 0, kEntryRowId)
               : QModelIndex();
}

CFaxEntryBase* CSentFaxModel::EntryAt(const QModelIndex& index) const {
    const CNode* node = NodeOf(index);
    return node != nullptr ? node->entry : nullptr;
}

int CSentFaxModel::RecipientAt(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kRootId || index.internalId() == kEntryRowId) {
        return -1;
    }
    return index.row();
}
