#pragma once
// The sent faxes (page 1): a tree of the sent entries under one root, with their state and
// time; lists and personalised lists show one child row per recipient.
#include "filters/ListFilter.h"
#include "gui/shell/PageView.h"
#include "store/FaxListModel.h"

#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CVelquinDoc;

// Follows the sent faxes' owner: a load rebuilds the tree, any other change touches only the
// rows of its entry, found by the entry's key.
class CReceivedFaxTreeView : public QTreeWidget, public CPageView {
    Q_OBJECT
public:
    static constexpr const char* kProfileSection = "Settings\\SentFaxes\\Tree";

    explicit CReceivedFaxTreeView(CVelquinDoc& doc, QWidget* parent = nullptr);

    void Rebuild(const SentList& sent);
    bool OnCommand(int id) override;
    bool CommandState(int id, bool& enabled, bool& checked) override;
    CListFilter* Filter() override { return &m_filter; }
    void StoreFilter() override;

    QTreeWidgetItem* Root() const { return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr; }
    // Selected entries other than the root and recipient rows, in row order.
    std::vector<CFaxEntryBase*> SelectedEntries() const;
    static CFaxEntryBase* EntryOf(const QTreeWidgetItem* item);

    void OnDelete();
    void OnAddToNewFax();
    void OnViewFax();
    void OnDeliveryReport();
    void SaveColumnWidths();

Q_SIGNALS:
    void SelectionChangedForCommands();
    void ContextMenuWanted(const QPoint& globalPos, int defaultCommand);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Activated(QTreeWidgetItem* item);
    void OnSentChange(const CSentChange& change);
    QTreeWidgetItem* NewItem(const CSentRow& row);
    void FillItem(QTreeWidgetItem* item, const CSentRow& row);
    QIcon Image(int index);

    CVelquinDoc& m_doc;
    CSettingsListFilter m_filter{EFilterList::Sent};
    // The row of each listed entry by its key, and the keys of the expanded lists.
    std::unordered_map<std::string, QTreeWidgetItem*> m_items;
    std::unordered_set<std::string> m_expanded;
    std::vector<QIcon> m_icons;
    CSentFaxes::CSubscription m_subscription;
};

// The icon of an image index of the sent-fax tree (2 root, 3-6 single, 7-10 lists).
QIcon SentTreeImage(int index);
