#pragma once
// The sent faxes (page 1): a tree of the sent entries under one root, with their state and
// time; lists and personalised lists show one child row per recipient.
#include "app/Ports.h"
#include "filters/ListFilter.h"
#include "gui/shell/PageView.h"
#include "store/FaxListModel.h"

#include <QTreeWidget>
#include <vector>

class CVelquinDoc;

class CReceivedFaxTreeView : public QTreeWidget, public IViewObserver, public CPageView {
    Q_OBJECT
public:
    static constexpr const char* kProfileSection = "Settings\\SentFaxes\\Tree";

    explicit CReceivedFaxTreeView(CVelquinDoc& doc, QWidget* parent = nullptr);
    ~CReceivedFaxTreeView() override;

    void OnUpdate(int hint, const void* collection) override;
    void Rebuild(const SentList& sent);
    bool OnCommand(int id) override;
    bool CommandState(int id, bool& enabled, bool& checked) override;
    CListFilter* Filter() override { return &m_filter; }
    void StoreFilter() override { m_filter.StoreFilter(); }

    QTreeWidgetItem* Root() const { return topLevelItemCount() > 0 ? topLevelItem(0) : nullptr; }
    // The item of an entry, or none.
    QTreeWidgetItem* ItemOf(const CFaxEntryBase* entry) const;
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
    CVelquinDoc& m_doc;
    CSettingsListFilter m_filter{EFilterList::Sent};
};

// The icon of an image index of the sent-fax tree (2 root, 3-6 single, 7-10 lists).
QIcon SentTreeImage(int index);
