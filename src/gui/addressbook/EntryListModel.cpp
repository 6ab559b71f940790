// The rows of the entry list and of the picker.
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
