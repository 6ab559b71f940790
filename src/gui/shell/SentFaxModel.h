#pragma once
// The sent faxes as a tree model over the owner's entries: one root, a row per entry that the
// filter lets through, and a row per recipient of a list. Rows are identified by the entry's
// key; a change touches only its entry's rows, and texts are made when a row is first shown,
// so a list of 100,000 faxes builds in the time of one pass over the entries.
#include "store/FaxListModel.h"
#include "store/SentFaxes.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CListFilter;

class CSentFaxModel : public QAbstractItemModel {
    Q_OBJECT
public:
    CSentFaxModel(CSentFaxes& owner, const CListFilter& filter, QObject* parent = nullptr);
    ~CSentFaxModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Lists the owner's entries that pass the filter now, in the owner's order or the sorted one.
    void Rebuild();
    // Shows only the listed entries that match `typed` (all when it is empty).
    void SetSearch(std::string_view typed);
    // Makes the search texts of up to `count` more entries ahead of the first key; true once
    // every listed entry has one.
    bool PrepareSearch(int count);
    // Orders the rows by `column` (-1: the owner's order).
    void SetSort(int column, bool descending);
    // Follows one change of the owner (a reset rebuilds).
    void Apply(const CSentChange& change);

    QModelIndex RootIndex() const { return createIndex(0, 0, kRootId); }
    // The row of the entry with `key` (invalid when it is not listed).
    QModelIndex IndexOf(const std::string& key) const;
    // The entry of an entry row, or of the list that a recipient row belongs to; null for
    // the root.
    CFaxEntryBase* EntryAt(const QModelIndex& index) const;
    // The recipient's index for a recipient row, -1 for any other row.
    int RecipientAt(const QModelIndex& index) const;
    bool IsEntryRow(const QModelIndex& index) const {
        return index.isValid() && index.internalId() == kEntryRowId;
    }
    const std::string& KeyAt(int row) const { return m_nodes[static_cast<std::size_t>(row)]->key; }
    int EntryCount() const { return static_cast<int>(m_nodes.size()); }

private:
    // Index ids: the root, a row under the root, and otherwise the node of a recipient's list.
    static constexpr quintptr kRootId = 0;
    static constexpr quintptr kEntryRowId = 1;
    struct CNode {
        CFaxEntryBase* entry = nullptr;
        std::string key;
        int row = -1;                                  // -1 while the search hides it
        int ordinal = 0;                               // place in the owner's order
        int children = 0;                              // the recipient rows announced to the views
        mutable std::unique_ptr<CSentRow> shown;       // made when the row is first painted
        mutable std::optional<std::string> searchText; // made at the first search
    };

    const CSentRow& Shown(const CNode& node) const;
    const CNode* NodeOf(const QModelIndex& index) const;
    QIcon Image(int index) const;
    CNode* Add(CFaxEntryBase* entry);
    bool Matches(const CNode& node) const;
    void Sort();
    // m_nodes from m_all; `within` looks only among the rows shown now.
    void Select(bool within);
    void Refresh(CNode& node);
    void Remove(const std::string& key);
    // Shows an added node when the search lets it through.
    void Insert(CNode* node);

    CSentFaxes& m_owner;
    const CListFilter& m_filter;
    std::vector<std::unique_ptr<CNode>> m_all; // listed, in the shown order
    std::vector<CNode*> m_nodes;               // the rows: those of m_all the search shows
    std::unordered_map<std::string, CNode*> m_byKey;
    CSentSearch m_search;
    int m_sortColumn = -1;
    bool m_descending = false;
    int m_nextOrdinal = 0;
    std::size_t m_prepared = 0; // entries of m_all before it have their search texts
    QString m_rootText;
    mutable std::vector<QIcon> m_icons;
};

// The icon of an image index of the sent-fax tree (2 root, 3-6 single, 7-10 lists).
QIcon SentTreeImage(int index);
