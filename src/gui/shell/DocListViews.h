#pragma once
// The printed documents (page 0) and the saved documents (page 2): report lists of
// CFaxDocument with their name and time, sortable by either column. Each follows the changes
// its documents' owner announces.
#include "gui/shell/PageView.h"
#include "store/Documents.h"
#include "store/FaxListModel.h"

#include <QTreeWidget>
#include <functional>
#include <vector>

class CVelquinDoc;

// The row of the first selected child of `parent` (its child count when none is), and after a
// delete, with nothing selected, the selection of the child that took that row's place: so that
// Delete goes on working.
int FirstSelectedChild(const QTreeWidgetItem* parent);
void SelectAfterDelete(QTreeWidget& view, QTreeWidgetItem* parent, int row);

class CDocListView : public QTreeWidget, public CPageView {
    Q_OBJECT
public:
    CDocListView(CVelquinDoc& doc, CDocuments& documents, bool multiSelect,
                 QWidget* parent = nullptr);

    // The selected documents in row order.
    std::vector<CFaxDocument*> SelectedDocuments() const;
    const CDocSortState& SortState() const { return m_sort; }
    // A header click.
    void SortByColumn(int column);
    // Move the selected row; nothing at the ends.
    void MoveSelected(bool up);
    // Delete with the confirmation of ConfirmDeleteItem; false when the user declined.
    bool DeleteSelected();

    static QString TimeText(std::int64_t t);

Q_SIGNALS:
    void SelectionChangedForCommands();
    void ContextMenuWanted(const QPoint& globalPos, int defaultCommand);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    virtual int DefaultCommand() const = 0;
    // Shows the document and clears its unread mark.
    void OpenDocument(CFaxDocument& document);

    CVelquinDoc& m_doc;
    CDocuments& m_documents;

private:
    void OnChange(const CDocumentChange& change);
    // Rebuilds the rows from the owner's records; the selection follows the keys.
    void Rebuild();
    void FillRow(int row);
    int RowOf(const std::string& key) const;

    CDocSortState m_sort;
    std::vector<CFaxDocument*> m_rows;
    CDocuments::CSubscription m_subscription;
};

class CNewFaxView : public CDocListView {
    Q_OBJECT
public:
    // The send commands (32822, 32823, 32811) with the selected document; the send dialogs
    // plug in here.
    using SendHandler = std::function<void(int command, CFaxDocument& document)>;

    explicit CNewFaxView(CVelquinDoc& doc, QWidget* parent = nullptr);
    bool OnCommand(int id) override;
    bool CommandState(int id, bool& enabled, bool& checked) override;
    void SetSendHandler(SendHandler h) { m_send = std::move(h); }

    // Files dropped on the list: fax images and documents are added as they are, PDF,
    // PostScript and images are printed to the fax printer (velquin-print) in the background.
    // Nothing waiting in FaxDir is ever overwritten.
    void AddFiles(const QStringList& paths);

    void OnSendFax();
    void OnSendList();
    void OnSendPersonal();
    void OnSaveDocument();
    void OnViewReadyFax();

protected:
    int DefaultCommand() const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Send(int command);
    void PrintToFaxPrinter(const QString& path);
    SendHandler m_send;
    bool m_dragTakeable = false; // the drag in progress holds a file this view takes
};

class CSavedDocView : public CDocListView {
    Q_OBJECT
public:
    explicit CSavedDocView(CVelquinDoc& doc, QWidget* parent = nullptr);
    bool OnCommand(int id) override;
    bool CommandState(int id, bool& enabled, bool& checked) override;
    void OnAddToNewFax();

protected:
    int DefaultCommand() const override;
};
