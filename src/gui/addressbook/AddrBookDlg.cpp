// The recipient picker of the send dialogs.
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

// The sort state of the picker, kept for the whole process.
CSortState& PickerSort() {
    static CSortState state;
    return state;
}

} // namespace

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
