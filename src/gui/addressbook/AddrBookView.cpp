// The entry list of the address-book page.
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

// The sort state of the entry list, kept for the whole process.
CSortState& ListSort() {
    static CSortState state;
    return state;
}

// The source of a fill as it is now: the same book, or the group found under its GUID.
CAddrBookEntry* StillThere(CAddrBookEntry* source, int type, const Guid& guid) {
    if (type == kEntryTypeBook) {
        return IsLiveBook(static_cast<CAddrBook*>(source)) ? source : nullptr;
    }
    CAddrBookEntry* e = FindEntryInAllBooks(guid);
    return e == source ? e : nullptr;
}

} // namespace

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
