#pragma once
// The sent faxes (page 1): a tree of the sent entries under one root, with their state and
// time; lists and personalised lists show one child row per recipient.
#include "filters/FilterSettings.h"
#include "gui/shell/PageView.h"
#include "gui/shell/SentFaxModel.h"

#include <QTreeView>
#include <functional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

class CVelquinDoc;
class QTimer;

// Follows the sent faxes' owner through its model: a load rebuilds the rows, any other change
// touches only the rows of its entry. Selection and expanded lists are kept by key.
class CReceivedFaxTreeView : public QTreeView, public CPageView {
    Q_OBJECT
public:
    static constexpr const char* kProfileSection = "Settings\\SentFaxes\\Tree";

    explicit CReceivedFaxTreeView(CVelquinDoc& doc, QWidget* parent = nullptr);
    ~CReceivedFaxTreeView() override;

    void Rebuild();
    // Shows only the faxes that match what is typed in the search field.
    void SetSearch(const QString& typed);
    // The search field has the focus: the entries' search texts are made in small pieces while
    // the window is idle, so that the first key does not wait for all of them.
    void PrepareSearch();
    bool OnCommand(int id) override;
    bool CommandState(int id, bool& enabled, bool& checked) override;
    CListFilter* Filter() override { return &m_filter; }
    void StoreFilter() override;

    CSentFaxModel& Model() const { return *m_model; }
    QModelIndex Root() const { return m_model->RootIndex(); }
    // Selected entries other than the root and recipient rows, in row order.
    std::vector<CFaxEntryBase*> SelectedEntries() const;
    // How many times the rows were built from the whole list.
    int RebuildsDone() const { return m_rebuilds; }

    void OnDelete();
    void OnAddToNewFax();
    void OnViewFax();
    void OnDeliveryReport();
    // "Сохранить подтверждение (PDF)…": written off the GUI thread, one at a time.
    void OnSaveProof();
    void SaveColumnWidths();

Q_SIGNALS:
    void SelectionChangedForCommands();
    void ContextMenuWanted(const QPoint& globalPos, int defaultCommand);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    void Activated(const QModelIndex& index);
    void OnSentChange(const CSentChange& change);
    void SelectRows(const std::vector<int>& rows);
    // Runs `change` on the model, keeping selection, expanded lists and scroll position by key.
    void Relist(const std::function<void()>& change);

    CVelquinDoc& m_doc;
    CSettingsListFilter m_filter{EFilterList::Sent};
    CSentFaxModel* m_model = nullptr;
    std::unordered_set<std::string> m_expanded; // keys of the expanded lists
    int m_rebuilds = 0;
    CSentFaxes::CSubscription m_subscription;
    std::thread m_proof; // joined when it reports back, or when the view goes
    QTimer* m_prepareSearch = nullptr;
};
