#include "gui/shell/SentFaxView.h"

#include "app/Archive.h"
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "gui/sending/SendCommands.h"
#include "gui/shell/Commands.h"
#include "gui/shell/DocListViews.h"
#include "gui/shell/Profile.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/Resend.h"
#include "sending/SentReport.h"
#include "service/WebGate.h"
#include "store/VelquinDoc.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMainWindow>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

const int kDefaultWidths[] = {380, 230, 170};
constexpr unsigned kIdsProofFilter = 9465;
constexpr unsigned kIdsProofSaved = 9466;
constexpr unsigned kIdsProofName = 9467;
constexpr unsigned kIdsDeliveryReport = 9404;

} // namespace

CReceivedFaxTreeView::CReceivedFaxTreeView(CVelquinDoc& doc, QWidget* parent)
    : QTreeView(parent), m_doc(doc) {
    setObjectName(QStringLiteral("sentFaxView"));
    m_model = new CSentFaxModel(doc.SentFaxes(), m_filter, this);
    setModel(m_model);
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
    // A click on a column sorts by it, again reverses, a third time gives the list's own order.
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicatorClearable(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                Relist([&] { m_model->SetSort(column, order == Qt::DescendingOrder); });
            });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CReceivedFaxTreeView::SelectionChangedForCommands);
    connect(this, &QTreeView::activated, this, &CReceivedFaxTreeView::Activated);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (m_model->IsEntryRow(index)) {
            m_expanded.insert(m_model->KeyAt(index.row()));
        }
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (m_model->IsEntryRow(index)) {
            m_expanded.erase(m_model->KeyAt(index.row()));
        }
    });
    m_subscription =
        m_doc.SentFaxes().Subscribe([this](const CSentChange& change) { OnSentChange(change); });
}

CReceivedFaxTreeView::~CReceivedFaxTreeView() {
    if (m_proof.joinable()) {
        m_proof.join();
    }
}

void CReceivedFaxTreeView::StoreFilter() {
    m_filter.Store(m_doc.Prompt());
    Rebuild();
}

void CReceivedFaxTreeView::OnSentChange(const CSentChange& change) {
    if (change.kind == CSentChange::Kind::Reset) {
        Rebuild();
        return;
    }
    if (change.kind == CSentChange::Kind::Removed) {
        m_expanded.erase(change.key);
    }
    m_model->Apply(change);
    Q_EMIT SelectionChangedForCommands();
}

void CReceivedFaxTreeView::SaveColumnWidths() {
    for (int c = 0; c < 3; ++c) {
        profile::WriteInt(kProfileSection, QStringLiteral("Column $%1").arg(c),
                          header()->sectionSize(c));
    }
}

std::vector<CFaxEntryBase*> CReceivedFaxTreeView::SelectedEntries() const {
    // Walked by ranges: selecting a whole list of faxes costs one range, not a row each.
    std::vector<int> rows;
    const QModelIndex root = Root();
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.parent() == root) {
            for (int r = range.top(); r <= range.bottom(); ++r) {
                rows.push_back(r);
            }
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<CFaxEntryBase*> out;
    out.reserve(rows.size());
    for (int r : rows) {
        out.push_back(m_model->EntryAt(m_model->index(r, 0, root)));
    }
    return out;
}

void CReceivedFaxTreeView::SelectRows(const std::vector<int>& rows) {
    QItemSelection selection;
    const QModelIndex root = Root();
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        selection.select(m_model->index(rows[i], 0, root), m_model->index(rows[j], 2, root));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty()) {
        selectionModel()->setCurrentIndex(m_model->index(rows.front(), 0, root),
                                          QItemSelectionModel::NoUpdate);
    }
}

void CReceivedFaxTreeView::Rebuild() {
    Relist([this] {
        m_filter.Load();
        m_model->Rebuild();
        ++m_rebuilds;
    });
    // Once the search has been used, the new entries' texts are made ahead of the next key.
    if (m_prepareSearch != nullptr) {
        m_prepareSearch->start();
    }
}

void CReceivedFaxTreeView::SetSearch(const QString& typed) {
    const QByteArray utf8 = typed.trimmed().toUtf8();
    Relist([&] { m_model->SetSearch(std::string_view(utf8.constData(), utf8.size())); });
}

void CReceivedFaxTreeView::PrepareSearch() {
    if (m_prepareSearch == nullptr) {
        m_prepareSearch = new QTimer(this);
        m_prepareSearch->setInterval(0);
        connect(m_prepareSearch, &QTimer::timeout, this, [this] {
            // About 5 ms of work a piece.
            if (m_model->PrepareSearch(4000)) {
                m_prepareSearch->stop();
            }
        });
    }
    m_prepareSearch->start();
}

void CReceivedFaxTreeView::Relist(const std::function<void()>& change) {
    // Selection, expanded lists and the scroll position survive the rebuild.
    std::vector<std::string> selected;
    for (CFaxEntryBase* e : SelectedEntries()) {
        selected.push_back(SentKey(*e));
    }
    const int scroll = verticalScrollBar() != nullptr ? verticalScrollBar()->value() : 0;
    const QSignalBlocker block(selectionModel());
    setUpdatesEnabled(false);
    change();
    expand(Root());
    std::unordered_set<std::string> expanded;
    for (const std::string& key : m_expanded) {
        if (const QModelIndex index = m_model->IndexOf(key); index.isValid()) {
            expand(index);
            expanded.insert(key);
        }
    }
    m_expanded = std::move(expanded);
    std::vector<int> rows;
    for (const std::string& key : selected) {
        if (const QModelIndex index = m_model->IndexOf(key); index.isValid()) {
            rows.push_back(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    if (!rows.empty()) {
        SelectRows(rows);
    } else {
        selectionModel()->setCurrentIndex(Root(), QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
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
        CFaxEntryBase* focused =
            m_model->IsEntryRow(currentIndex()) ? m_model->EntryAt(currentIndex()) : nullptr;
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
        enabled = sel.size() == 1 && HasUndelivered(*sel.front());
        return true;
    case cmd::kSaveProof:
        enabled = !sel.empty() && !m_proof.joinable();
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
    case cmd::kSaveProof:
        OnSaveProof();
        return true;
    case cmd::kResendUndelivered:
        if (const std::vector<CFaxEntryBase*> sel = SelectedEntries(); sel.size() == 1) {
            RunResendUndelivered(*sel.front(), m_doc, m_doc.Prompt(), window());
        }
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
    const int first = m_model->IndexOf(SentKey(*sel.front())).row();
    for (CFaxEntryBase* e : sel) {
        // A record whose files could not be deleted (reported) stays in the list; the owner
        // tells this view to remove the row of one that went.
        m_doc.SentFaxes().Remove(e);
    }
    // With nothing left selected, the row that took the first one's place is: Delete goes on.
    if (m_model->EntryCount() > 0 && !selectionModel()->hasSelection()) {
        SelectRows({std::min(std::max(first, 0), m_model->EntryCount() - 1)});
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
        m_doc.Printed().Forward(e->m_title, SentFilePath(attach->StoreName()),
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
    if (const CAttach* attach = AttachOf(*sel.front())) {
        if (m_doc.Viewers().ShowSentFile(*attach)) {
            m_doc.SentFaxes().MarkRead(*sel.front());
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
        if (!m_doc.Viewers().OpenOutside(page, LoadString(kIdsDeliveryReport))) {
            platform::DeleteFile(page);
        }
    }
}

void CReceivedFaxTreeView::OnSaveProof() {
    std::vector<CFaxEntryBase*> sel = SelectedEntries();
    if (sel.empty() || m_proof.joinable()) {
        return;
    }
    const std::optional<std::string> path =
        m_doc.Prompt().AskSaveFile(LoadString(kIdsProofFilter), LoadString(kIdsProofName), "pdf");
    if (!path) {
        return;
    }
    // The worker has its own copies: a reload may replace the records meanwhile.
    std::vector<std::unique_ptr<CFaxEntryBase>> copies;
    for (const CFaxEntryBase* e : sel) {
        copies.push_back(e->Clone());
    }
    m_proof =
        std::thread([this, copies = std::move(copies), pdf = *path, dir = StorePath(kSentFolder)] {
            std::vector<const CFaxEntryBase*> entries;
            for (const auto& c : copies) {
                entries.push_back(c.get());
            }
            const std::string error = SaveProof(entries, dir, pdf);
            QMetaObject::invokeMethod(
                this,
                [this, error, pdf] {
                    m_proof.join();
                    if (!error.empty()) {
                        m_doc.Prompt().Message(error, MsgIcon::Stop, MsgButtons::Ok);
                    } else if (auto* main = qobject_cast<QMainWindow*>(window())) {
                        main->statusBar()->showMessage(
                            Q(FormatString(LoadString(kIdsProofSaved), pdf)), 10000);
                    }
                    Q_EMIT SelectionChangedForCommands();
                },
                Qt::QueuedConnection);
        });
    Q_EMIT SelectionChangedForCommands();
}

void CReceivedFaxTreeView::Activated(const QModelIndex& index) {
    if (const int recipient = m_model->RecipientAt(index); recipient >= 0) {
        // A recipient of a personalised list has its own pages.
        if (auto* personal = dynamic_cast<CPersonalFaxEntry*>(m_model->EntryAt(index))) {
            if (static_cast<std::size_t>(recipient) < personal->m_recipients.size()) {
                const CAttachFaxEntry& r =
                    personal->m_recipients[static_cast<std::size_t>(recipient)];
                if (m_doc.Viewers().ShowSentFile(r)) {
                    m_doc.SentFaxes().MarkRead(*personal, recipient);
                }
            }
        }
        return;
    }
    if (m_model->IsEntryRow(index)) {
        OnViewFax();
    }
}

void CReceivedFaxTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        OnDelete();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CReceivedFaxTreeView::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT ContextMenuWanted(event->globalPos(), cmd::kViewFax);
}

// Rows under a collapsed list are not laid out: Qt would look each changed one up among every
// laid-out row, which made a synchronisation's cost grow with the square of the store. They
// are painted from the model when the list is expanded.
void CReceivedFaxTreeView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                       const QList<int>& roles) {
    for (QModelIndex above = topLeft.parent(); above.isValid(); above = above.parent()) {
        if (!isExpanded(above)) {
            return;
        }
    }
    QTreeView::dataChanged(topLeft, bottomRight, roles);
}
