#pragma once
// The address-book page: the tree of books and groups beside the entry list, both filled by
// address-book workers (rows computed off the GUI thread, inserted on it in batches), and the
// picker the send dialogs use.
#include "addressbook/AddressBooks.h"
#include "addressbook/BookRows.h"
#include "app/Ports.h"
#include "gui/shell/PageView.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CVelquinDoc;
class CAddrBookPage;
class QCheckBox;
class QComboBox;
class QPushButton;

// The rows of the entry list or the picker.
class CEntryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CEntryListModel(bool picker, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    void Append(std::vector<CBookRow>::const_iterator first,
                std::vector<CBookRow>::const_iterator last);
    void SetRows(std::vector<CBookRow> rows);
    void Sort(const CSortState& state);
    void RemoveRow(int row);
    const CBookRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    const std::vector<CBookRow>& Rows() const { return m_rows; }

private:
    std::vector<CBookRow> m_rows;
    bool m_picker;
};

// The shared state of the page's workers: a worker computes under the lock and posts its
// result only while the page lives; the page takes the lock before it changes a book.
struct CFillShared {
    std::mutex mutex;
    bool dead = false;
};

class CAddrBookView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kBatchRows = 2000;
    CAddrBookView(CAddrBookPage& page, QWidget* parent);
    ~CAddrBookView() override;

    CEntryListModel* Model() const { return m_model; }
    // Shows the entries of `source` (a book or a group), filled in on a worker.
    void Fill(CAddrBookEntry* source);
    void ClearRows();
    bool Filling() const { return m_inserting || m_waiting; }
    int FillsDone() const { return m_fillsDone; }
    const CSortState& SortState() const { return m_sort; }
    void SortBy(int column);
    std::vector<int> SelectedRows() const;

    void OnProperties();
    void OnDelete();

Q_SIGNALS:
    void FillFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnRows(unsigned generation, CFillResult result,
                std::shared_ptr<std::vector<CBookRow>> rows, std::string bookName);
    void InsertBatch(unsigned generation, std::shared_ptr<std::vector<CBookRow>> rows,
                     std::size_t from);
    void SaveColumnWidths();

    CAddrBookPage& m_page;
    CEntryListModel* m_model;
    CSortState m_sort;
    unsigned m_generation = 0;
    bool m_waiting = false;
    bool m_inserting = false;
    int m_fillsDone = 0;
};

class CAddrBookTreeView : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 1000;
    CAddrBookTreeView(CAddrBookPage& page, QWidget* parent);

    void Rebuild();
    bool Building() const { return m_waiting; }
    bool IsFilling() const { return m_filling; }
    int RebuildsDone() const { return m_rebuildsDone; }
    const QTimer& StartTimer() const { return m_timer; }
    // The entry behind an item (a book or a group), or null when it is gone.
    CAddrBookEntry* EntryOf(QTreeWidgetItem* item) const;
    QTreeWidgetItem* SelectedItem() const;
    CAddrBookEntry* SelectedEntry() const;
    // Takes away the items whose book or group is gone (deleted); when the selected item was
    // among them, the item that takes its place is selected and listed.
    void RemoveGoneItems();

    void OnProperties();
    void OnDelete();
    void OnNewBook();
    void OnExport();

Q_SIGNALS:
    void RebuildFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnNodes(unsigned generation, std::shared_ptr<std::vector<CTreeNode>> nodes);
    void OnSelectionChanged();
    // The nested groups of a group item, made when it is first opened.
    void MakeChildren(QTreeWidgetItem* item);

    CAddrBookPage& m_page;
    QTimer m_timer;
    unsigned m_generation = 0;
    bool m_ready = false;
    bool m_filling = false;
    bool m_waiting = false;
    int m_rebuildsDone = 0;
};

class CAddrBookPage : public QSplitter, public CPageView {
    Q_OBJECT
public:
    CAddrBookPage(CVelquinDoc& doc, IFrame& frame, IPrompt& prompt, QWidget* parent = nullptr);
    ~CAddrBookPage() override;

    CAddrBookTreeView* Tree() const { return m_tree; }
    CAddrBookView* List() const { return m_list; }
    CVelquinDoc& Doc() { return m_doc; }
    IFrame& Frame() { return m_frame; }
    IPrompt& Prompt() { return m_prompt; }
    std::shared_ptr<CFillShared> Shared() const { return m_shared; }

    // Asks a running fill to stop and waits for it to leave the books; held while a book
    // changes on the GUI thread.
    class CBookLock {
    public:
        explicit CBookLock(CAddrBookPage& page);
        ~CBookLock();
        CBookLock(const CBookLock&) = delete;
        CBookLock& operator=(const CBookLock&) = delete;

    private:
        CAddrBookPage& m_page;
    };
    // Runs `change`, a change of the books this page shows already (no rebuild for it).
    void ShowOwnChange(const std::function<void()>& change);
    // The main window shows the list's context menu when it listens.
    bool HasContextMenuReceiver() const;
    void SetListActive(bool active) { m_listActive = active; }
    // The tree pane's width once the page was laid out (shown), else nothing: the width of a
    // page never shown is not the user's.
    std::optional<int> LaidOutTreeWidth() const;

    // CPageView.
    bool OnCommand(int id) override;
    bool CommandState(int id, bool& enabled, bool& checked) override;

    void OnNewContact();
    void OnNewGroup();
    void OnImport();

Q_SIGNALS:
    void SelectionChangedForCommands();
    void ContextMenuWanted(const QPoint& globalPos, int defaultCommand);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnBookChange(const CBookChange& change);

    CVelquinDoc& m_doc;
    IFrame& m_frame;
    IPrompt& m_prompt;
    std::shared_ptr<CFillShared> m_shared;
    CAddrBookTreeView* m_tree;
    CAddrBookView* m_list;
    bool m_listActive = false;
    bool m_laidOut = false;
    int m_lockDepth = 0;
    std::unique_lock<std::mutex> m_heldLock;
    // The change this page makes itself and already shows.
    bool m_showing = false;
    CAddressBooks::CSubscription m_books;
};

// The page for the main window's slot 3 (listens to the books' owner).
CAddrBookPage* CreateAddressBookPage(CVelquinDoc& doc, IFrame& frame, IPrompt& prompt,
                                     QWidget* parent);

// The recipient picker.
class CAddrBookDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAddrBookDlg(bool singleSelection, QWidget* parent = nullptr);

    QCheckBox* ShowNumbers() const { return m_showNumbers; }
    QCheckBox* ShowGroups() const { return m_showGroups; }
    // After OK: the chosen entries in list order.
    const std::vector<CAddrBookEntry*>& Result() const { return m_result; }
    CAddrBookEntry* First() const { return m_result.empty() ? nullptr : m_result.front(); }
    void accept() override;
    void Refill();

    // Runs the picker; the chosen entries (empty when cancelled).
    static std::vector<CAddrBookEntry*> Pick(bool singleSelection, QWidget* parent,
                                             bool showNumbers = true, bool showGroups = true);

private:
    void UpdateOk();
    CAddrBook* SelectedBook() const;

    bool m_single;
    QComboBox* m_books;
    QTableView* m_list;
    CEntryListModel* m_model;
    QCheckBox* m_showNumbers;
    QCheckBox* m_showGroups;
    QPushButton* m_ok;
    std::vector<CAddrBookEntry*> m_result;
};
