#include "gui/shell/SentFaxView.h"

#include "app/Archive.h"
#include "app/Settings.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/Profile.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "service/WebGate.h"
#include "store/VelquinDoc.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr int kEntryRole = Qt::UserRole;
constexpr int kRecipientRole = Qt::UserRole + 1;
const int kDefaultWidths[] = {380, 230, 170};
constexpr unsigned kIdsDeliveryReport = 9404;
constexpr unsigned kIdsFilterHides = 9421;

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

CReceivedFaxTreeView::CReceivedFaxTreeView(CVelquinDoc& doc, QWidget* parent)
    : QTreeWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("sentFaxView"));
    setColumnCount(3);
    setHeaderLabels({Str(ids::kTitleSent), Str(ids::kColState), Str(ids::kColSendTime)});
    headerItem()->setTextAlignment(2, Qt::AlignCenter);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    for (int c = 0; c < 3; ++c) {
        auto w = profile::ReadInt(kProfileSection, QStringLiteral("Column $%1").arg(c));
        header()->resizeSection(c, w && *w > 0 ? *w : kDefaultWidths[c]);
    }
    header()->setStretchLastSection(true);
    // The root as it is when the view is first shown.
    auto* root = new QTreeWidgetItem(this);
    root->setText(0, Str(ids::kAllFaxes));
    root->setIcon(0, SentTreeImage(2));
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            &CReceivedFaxTreeView::SelectionChangedForCommands);
    connect(this, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item, int) { Activated(item); });
    // Expansion is kept by key: asking every row whether it is expanded costs a search each.
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (const CFaxEntryBase* e = EntryOf(item)) {
            m_expanded.insert(SentKey(*e));
        }
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (const CFaxEntryBase* e = EntryOf(item)) {
            m_expanded.erase(SentKey(*e));
        }
    });
    m_subscription =
        m_doc.SentFaxes().Subscribe([this](const CSentChange& change) { OnSentChange(change); });
}

void CReceivedFaxTreeView::StoreFilter() {
    m_filter.StoreFilter();
    Rebuild(m_doc.SentRecords());
}

QIcon CReceivedFaxTreeView::Image(int index) {
    // Each icon is read from its file once and shared by the rows: reading it per row made a
    // start with thousands of sent faxes take seconds.
    if (m_icons.empty()) {
        for (int i = 0; i <= 10; ++i) {
            m_icons.push_back(SentTreeImage(i));
        }
    }
    return index >= 0 && index < static_cast<int>(m_icons.size()) ? m_icons[index] : QIcon();
}

void CReceivedFaxTreeView::FillItem(QTreeWidgetItem* item, const CSentRow& r) {
    item->setText(0, Q(r.text));
    item->setText(1, Q(r.stateText));
    item->setText(2, CDocListView::TimeText(r.time));
    item->setTextAlignment(2, Qt::AlignCenter);
    item->setIcon(0, Image(r.image));
    const int rows = static_cast<int>(r.children.size());
    while (item->childCount() > rows) {
        delete item->takeChild(item->childCount() - 1);
    }
    for (int i = 0; i < rows; ++i) {
        const CSentRow& c = r.children[static_cast<std::size_t>(i)];
        QTreeWidgetItem* child =
            i < item->childCount() ? item->child(i) : new QTreeWidgetItem(item);
        child->setText(0, Q(c.text));
        child->setText(1, Q(c.stateText));
        child->setText(2, CDocListView::TimeText(c.time));
        child->setTextAlignment(2, Qt::AlignCenter);
        child->setIcon(0, Image(c.image));
        child->setData(0, kEntryRole, QVariant::fromValue(reinterpret_cast<quintptr>(r.entry)));
        child->setData(0, kRecipientRole, c.recipient);
    }
}

QTreeWidgetItem* CReceivedFaxTreeView::NewItem(const CSentRow& r) {
    auto* item = new QTreeWidgetItem();
    item->setData(0, kEntryRole, QVariant::fromValue(reinterpret_cast<quintptr>(r.entry)));
    item->setData(0, kRecipientRole, -1);
    FillItem(item, r);
    m_items[SentKey(*r.entry)] = item;
    return item;
}

void CReceivedFaxTreeView::OnSentChange(const CSentChange& change) {
    switch (change.kind) {
    case CSentChange::Kind::Reset:
        Rebuild(m_doc.SentRecords());
        return;
    case CSentChange::Kind::Added:
        if (Root() != nullptr && change.entry != nullptr &&
            m_filter.Passes(change.entry->m_time, CurrentTime())) {
            Root()->addChild(NewItem(SentRowOf(*change.entry)));
        }
        break;
    case CSentChange::Kind::Changed:
        if (auto it = m_items.find(change.key); it != m_items.end() && change.entry != nullptr) {
            FillItem(it->second, SentRowOf(*change.entry));
        }
        break;
    case CSentChange::Kind::Removed:
        if (auto it = m_items.find(change.key); it != m_items.end()) {
            delete it->second;
            m_items.erase(it);
            m_expanded.erase(change.key);
        }
        break;
    }
    Q_EMIT SelectionChangedForCommands();
}

void CReceivedFaxTreeView::SaveColumnWidths() {
    for (int c = 0; c < 3; ++c) {
        profile::WriteInt(kProfileSection, QStringLiteral("Column $%1").arg(c),
                          header()->sectionSize(c));
    }
}

CFaxEntryBase* CReceivedFaxTreeView::EntryOf(const QTreeWidgetItem* item) {
    if (item == nullptr || item->data(0, kRecipientRole).toInt() >= 0) {
        return nullptr;
    }
    return reinterpret_cast<CFaxEntryBase*>(item->data(0, kEntryRole).value<quintptr>());
}

std::vector<CFaxEntryBase*> CReceivedFaxTreeView::SelectedEntries() const {
    std::vector<CFaxEntryBase*> out;
    QTreeWidgetItem* root = Root();
    for (int i = 0; root != nullptr && i < root->childCount(); ++i) {
        if (root->child(i)->isSelected()) {
            if (CFaxEntryBase* e = EntryOf(root->child(i))) {
                out.push_back(e);
            }
        }
    }
    return out;
}

void CReceivedFaxTreeView::Rebuild(const SentList& sent) {
    // Selection, expanded lists and the scroll position survive the rebuild.
    std::unordered_set<std::string> selected;
    for (QTreeWidgetItem* item : selectedItems()) {
        if (const CFaxEntryBase* e = EntryOf(item)) {
            selected.insert(SentKey(*e));
        }
    }
    const int scroll = verticalScrollBar() != nullptr ? verticalScrollBar()->value() : 0;
    const QSignalBlocker block(this);
    setUpdatesEnabled(false);
    clear();
    m_items.clear();
    auto* root = new QTreeWidgetItem(this);
    root->setText(0, QStringLiteral("All Faxes"));
    root->setIcon(0, Image(2));
    root->setData(0, kRecipientRole, -1);

    m_filter.Load();
    const std::vector<CSentRow> rows = BuildSentRows(sent, m_filter, CurrentTime());
    // The root says how many faxes the filter hides, so that none seem lost.
    if (const std::size_t hidden = sent.size() - rows.size(); hidden > 0) {
        root->setText(0, QString::fromStdString(FormatString(LoadString(kIdsFilterHides),
                                                             root->text(0).toStdString(),
                                                             std::to_string(hidden))));
    }
    m_items.reserve(rows.size());
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const CSentRow& r : rows) {
        items << NewItem(r);
    }
    root->addChildren(items);
    root->setExpanded(true);
    bool any = false;
    for (const auto& [key, item] : m_items) {
        if (m_expanded.count(key) != 0) {
            item->setExpanded(true);
        }
        if (selected.count(key) != 0) {
            item->setSelected(true);
            any = true;
        }
    }
    if (!any) {
        root->setSelected(true);
        setCurrentItem(root);
    }
    setUpdatesEnabled(true);
    if (verticalScrollBar() != nullptr) {
        verticalScrollBar()->setValue(scroll);
    }
    Q_EMIT SelectionChangedForCommands();
}

bool CReceivedFaxTreeView::CommandState(int id, bool& enabled, bool& checked) {
    checked = false;
    const std::vector<CFaxEntryBase*> sel = SelectedEntries();
    switch (id) {
    case cmd::kDelete:
        enabled = !sel.empty();
        return true;
    case cmd::kAddToNewFax: {
        CFaxEntryBase* focused = EntryOf(currentItem());
        if (focused == nullptr && !sel.empty()) {
            focused = sel.front();
        }
        enabled = !sel.empty() && focused != nullptr && !IsPersonalList(*focused);
        return true;
    }
    case cmd::kViewFax:
    case cmd::kDeliveryReport:
        enabled = sel.size() == 1;
        return true;
    case cmd::kResendUndelivered:
        enabled = false;
        return true;
    case cmd::kFilter:
        enabled = true;
        checked = m_filter.Kind() != CListFilter::kAll;
        return true;
    default:
        return false;
    }
}

bool CReceivedFaxTreeView::OnCommand(int id) {
    switch (id) {
    case cmd::kDelete:
        OnDelete();
        return true;
    case cmd::kAddToNewFax:
        OnAddToNewFax();
        return true;
    case cmd::kViewFax:
        OnViewFax();
        return true;
    case cmd::kDeliveryReport:
        OnDeliveryReport();
        return true;
    case cmd::kResendUndelivered:
        return true;
    default:
        return false;
    }
}

void CReceivedFaxTreeView::OnDelete() {
    std::vector<CFaxEntryBase*> sel = SelectedEntries();
    if (sel.empty()) {
        return;
    }
    if (Settings().ConfirmDeleteItem &&
        m_doc.Prompt().MessageId(ids::kConfirmDelete, MsgIcon::Question, MsgButtons::YesNo) !=
            MsgAnswer::Yes) {
        return;
    }
    QTreeWidgetItem* root = Root();
    const int first = root != nullptr ? FirstSelectedChild(root) : 0;
    for (CFaxEntryBase* e : sel) {
        // A record whose files could not be deleted (reported) stays in the list; the owner
        // tells this view to remove the row of one that went.
        m_doc.SentFaxes().Remove(e);
    }
    if (root != nullptr) {
        SelectAfterDelete(*this, root, first);
    }
}

void CReceivedFaxTreeView::OnAddToNewFax() {
    for (CFaxEntryBase* e : SelectedEntries()) {
        if (IsPersonalList(*e)) {
            continue; // its pages are per recipient: there is no one document to forward
        }
        const CAttach* attach = AttachOf(*e);
        if (attach == nullptr || attach->m_path.empty()) {
            continue;
        }
        m_doc.ForwardToNewFax(e->m_title, CVelquinDoc::SentFilePath(attach->m_path),
                              dynamic_cast<CSingleFaxEntry*>(e));
    }
}

void CReceivedFaxTreeView::OnViewFax() {
    std::vector<CFaxEntryBase*> sel = SelectedEntries();
    if (sel.size() != 1) {
        return;
    }
    if (IsPersonalList(*sel.front())) {
        m_doc.Prompt().MessageId(ids::kPersonalNoView, MsgIcon::Information);
        return;
    }
    if (CAttach* attach = AttachOf(*sel.front())) {
        if (m_doc.ShowSentFile(*attach)) {
            attach->m_unread = 0;
            m_doc.SentFaxes().Touched(*sel.front());
        }
    }
}

void CReceivedFaxTreeView::OnDeliveryReport() {
    if (SelectedEntries().size() == 1) {
        // The address carries the account's credentials: it goes through a private page, and
        // the message names the report only.
        std::string page;
        if (const int err = WriteWebGatePage(WebGateAddressFromSettings(),
                                             LoadString(kIdsDeliveryReport), page);
            err != 0) {
            m_doc.Prompt().FileError(DescribeFileError(CFileException(err, page, page), page));
            return;
        }
        if (!m_doc.OpenOutside(page, LoadString(kIdsDeliveryReport))) {
            platform::DeleteFile(page);
        }
    }
}

void CReceivedFaxTreeView::Activated(QTreeWidgetItem* item) {
    const int recipient = item != nullptr ? item->data(0, kRecipientRole).toInt() : -1;
    if (recipient >= 0) {
        // A recipient of a personalised list has its own pages.
        auto* entry = reinterpret_cast<CFaxEntryBase*>(item->data(0, kEntryRole).value<quintptr>());
        if (auto* personal = dynamic_cast<CPersonalFaxEntry*>(entry)) {
            if (static_cast<std::size_t>(recipient) < personal->m_recipients.size()) {
                CAttachFaxEntry& r = personal->m_recipients[static_cast<std::size_t>(recipient)];
                if (m_doc.ShowSentFile(r)) {
                    r.m_unread = 0;
                    m_doc.SentFaxes().Touched(*personal);
                }
            }
        }
        return;
    }
    if (EntryOf(item) != nullptr) {
        OnViewFax();
    }
}

void CReceivedFaxTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        OnDelete();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CReceivedFaxTreeView::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT ContextMenuWanted(event->globalPos(), cmd::kViewFax);
}
