#pragma once
// The sent faxes as a tree model over the owner's entries: one root, a row per entry that the
// filter lets through, and a row per recipient of a list. Rows are identified by the entry's
// key; a change touches only its entry's rows, and texts are made when a row is first shown,
// so a list of 100,000 faxes builds in the time of one pass over the entries.
#include "store/SentFaxes.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class CListFilter;
struct CSentRow;

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

    // Lists the owner's entries that pass the filter now, in the owner's order.
    void Rebuild();
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
        int row = 0;
        int children = 0;                        // the recipient rows announced to the views
        mutable std::unique_ptr<CSentRow> shown; // made when the row is first painted
    };

    const CSentRow& Shown(const CNode& node) const;
    const CNode* NodeOf(const QModelIndex& index) const;
    QIcon Image(int index) const;
    void Append(CFaxEntryBase* entry);
    void Refresh(CNode& node);
    void Remove(const std::string& key);

    CSentFaxes& m_owner;
    const CListFilter& m_filter;
    std::vector<std::unique_ptr<CNode>> m_nodes;
    std::unordered_map<std::string, CNode*> m_byKey;
    QString m_rootText;
    mutable std::vector<QIcon> m_icons;
};

// The icon of an image index of the sent-fax tree (2 root, 3-6 single, 7-10 lists).
QIcon SentTreeImage(int index);
