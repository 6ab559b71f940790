#include "gui/shell/DocListViews.h"

#include "app/Settings.h"
#include "gui/shell/Commands.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/DroppedFile.h"
#include "store/DocumentIntake.h"
#include "store/Documents.h"
#include "store/VelquinDoc.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QProcess>
#include <QUrl>
#include <algorithm>

namespace {

constexpr unsigned kIdsDocumentNotSaved = 9439;

// ConfirmDeleteItem: anything but Yes cancels.
bool ConfirmDelete(CVelquinDoc& doc) {
    if (!Settings().ConfirmDeleteItem) {
        return true;
    }
    return doc.Prompt().MessageId(ids::kConfirmDelete, MsgIcon::Question, MsgButtons::YesNo) ==
           MsgAnswer::Yes;
}

} // namespace

int FirstSelectedChild(const QTreeWidgetItem* parent) {
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->isSelected()) {
            return i;
        }
    }
    return parent->childCount();
}

void SelectAfterDelete(QTreeWidget& view, QTreeWidgetItem* parent, int row) {
    if (parent->childCount() > 0 && view.selectedItems().isEmpty()) {
        QTreeWidgetItem* next = parent->child(std::min(row, parent->childCount() - 1));
        next->setSelected(true);
        view.setCurrentItem(next);
    }
}

CDocListView::CDocListView(CVelquinDoc& doc, CDocuments& documents, bool multiSelect,
                           QWidget* parent)
    : QTreeWidget(parent), m_doc(doc), m_documents(documents) {
    setColumnCount(2);
    setHeaderLabels({Str(ids::kColPrintedDoc), Str(ids::kColPrintTime)});
    header()->resizeSection(0, 200);
    header()->resizeSection(1, 200);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setAlternatingRowColors(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                 : QAbstractItemView::SingleSelection);
    connect(header(), &QHeaderView::sectionClicked, this, &CDocListView::SortByColumn);
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            &CDocListView::SelectionChangedForCommands);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        const int row = indexOfTopLevelItem(item);
        if (row >= 0 && static_cast<std::size_t>(row) < m_rows.size() && m_rows[row] != nullptr) {
            OpenDocument(*m_rows[row]);
        }
    });
    m_subscription =
        m_documents.Subscribe([this](const CDocumentChange& change) { OnChange(change); });
    Rebuild();
}

QString CDocListView::TimeText(std::int64_t t) {
    if (t == 0) {
        return {};
    }
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(t), QLocale::ShortFormat);
}

void CDocListView::OnChange(const CDocumentChange& change) {
    using Kind = CDocumentChange::Kind;
    if (change.kind == Kind::Reset || change.kind == Kind::Added) {
        Rebuild();
        return;
    }
    const int row = RowOf(change.key);
    if (row < 0) {
        return;
    }
    if (change.kind == Kind::Changed) {
        FillRow(row);
        return;
    }
    // Only the removed row goes: the others keep their order, also one the user moved them into.
    {
        const QSignalBlocker block(this);
        m_rows.erase(m_rows.begin() + row);
        delete takeTopLevelItem(row);
    }
    Q_EMIT SelectionChangedForCommands();
}

// Each row carries its document's key: the records behind the rows are gone by the time a
// reload is announced.
void CDocListView::FillRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    const CFaxDocument* d = m_rows[static_cast<std::size_t>(row)];
    item->setText(0, Q(d->m_title));
    item->setText(1, TimeText(d->m_time));
    item->setToolTip(0, Q(d->m_path));
    item->setData(0, Qt::UserRole, Q(FileKey(*d)));
}

int CDocListView::RowOf(const std::string& key) const {
    const QString wanted = Q(key);
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->data(0, Qt::UserRole).toString() == wanted) {
            return i;
        }
    }
    return -1;
}

void CDocListView::Rebuild() {
    QStringList selected;
    for (const QTreeWidgetItem* item : selectedItems()) {
        selected << item->data(0, Qt::UserRole).toString();
    }
    {
        const QSignalBlocker block(this);
        clear();
        m_rows = DocumentRows(m_documents.Records(), m_sort);
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(m_rows.size()));
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            items << new QTreeWidgetItem();
        }
        addTopLevelItems(items);
        for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) {
            FillRow(i);
            if (selected.contains(topLevelItem(i)->data(0, Qt::UserRole).toString())) {
                topLevelItem(i)->setSelected(true);
            }
        }
    }
    Q_EMIT SelectionChangedForCommands();
}

std::vector<CFaxDocument*> CDocListView::SelectedDocuments() const {
    std::vector<CFaxDocument*> out;
    for (int i = 0; i < topLevelItemCount() && static_cast<std::size_t>(i) < m_rows.size(); ++i) {
        if (topLevelItem(i)->isSelected()) {
            out.push_back(m_rows[static_cast<std::size_t>(i)]);
        }
    }
    return out;
}

void CDocListView::SortByColumn(int column) {
    m_sort.Click(column);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, m_sort.direction == CDocSortState::kAscending
                                           ? Qt::AscendingOrder
                                           : Qt::DescendingOrder);
    std::vector<CFaxDocument*> selected = SelectedDocuments();
    SortDocumentRows(m_rows, m_sort);
    const QSignalBlocker block(this);
    for (int i = 0; i < topLevelItemCount(); ++i) {
        FillRow(i);
        topLevelItem(i)->setSelected(
            std::find(selected.begin(), selected.end(), m_rows[static_cast<std::size_t>(i)]) !=
            selected.end());
    }
}

void CDocListView::MoveSelected(bool up) {
    QTreeWidgetItem* current = selectedItems().isEmpty() ? nullptr : selectedItems().front();
    const int row = current != nullptr ? indexOfTopLevelItem(current) : -1;
    if (row < 0) {
        return;
    }
    const std::size_t moved = MoveDocumentRow(m_rows, static_cast<std::size_t>(row), up);
    if (moved == static_cast<std::size_t>(row)) {
        return;
    }
    FillRow(row);
    FillRow(static_cast<int>(moved));
    QTreeWidgetItem* target = topLevelItem(static_cast<int>(moved));
    clearSelection();
    target->setSelected(true);
    setCurrentItem(target);
    scrollToItem(target);
}

bool CDocListView::DeleteSelected() {
    std::vector<CFaxDocument*> selected = SelectedDocuments();
    if (selected.empty() || !ConfirmDelete(m_doc)) {
        return false;
    }
    const int first = FirstSelectedChild(invisibleRootItem());
    for (CFaxDocument* d : selected) {
        m_documents.Remove(d);
    }
    SelectAfterDelete(*this, invisibleRootItem(), first);
    return true;
}

void CDocListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        OnCommand(cmd::kDelete);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CDocListView::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT ContextMenuWanted(event->globalPos(), DefaultCommand());
}

void CDocListView::OpenDocument(CFaxDocument& document) {
    if (m_doc.Viewers().ShowFile(document)) {
        m_documents.MarkRead(document);
    }
}

// --- new faxes ----------------------------------------------------------------------------

CNewFaxView::CNewFaxView(CVelquinDoc& doc, QWidget* parent)
    : CDocListView(doc, doc.Printed(), false, parent) {
    setObjectName(QStringLiteral("newFaxView"));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

namespace {
// The files of a drop this view could take; the rest is refused with a reason on the drop.
QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

// Only ever a copy: a file manager told "move" may delete the user's original.
bool AcceptAsCopy(QDropEvent* event) {
    if (!(event->possibleActions() & Qt::CopyAction)) {
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}
} // namespace

void CNewFaxView::dragEnterEvent(QDragEnterEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    m_dragTakeable = std::any_of(paths.begin(), paths.end(), [](const QString& p) {
        return ClassifyDroppedFile(p.toStdString()) != DroppedKind::Unsupported;
    });
    if (!m_dragTakeable || !AcceptAsCopy(event)) {
        event->ignore();
    }
}

void CNewFaxView::dragMoveEvent(QDragMoveEvent* event) {
    if (!m_dragTakeable || !AcceptAsCopy(event)) {
        event->ignore();
    }
}

void CNewFaxView::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty() || !AcceptAsCopy(event)) {
        event->ignore();
        return;
    }
    AddFiles(paths);
}

void CNewFaxView::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        const std::string file = path.toStdString();
        switch (ClassifyDroppedFile(file)) {
        case DroppedKind::FaxImage:
        case DroppedKind::Document:
            // Named after its file, as the fax printer names a print.
            if (std::string failed;
                int error = m_documents.AddFile(file, platform::Stem(file), &failed)) {
                m_doc.Prompt().FileError(NotAddedText(file, error, failed));
            }
            break;
        case DroppedKind::Printable:
            PrintToFaxPrinter(path);
            break;
        case DroppedKind::Unsupported:
            m_doc.Prompt().Message(FormatString(LoadString(ids::kDropNotAFax), file),
                                   MsgIcon::Warning, MsgButtons::Ok);
            break;
        }
    }
}

void CNewFaxView::PrintToFaxPrinter(const QString& path) {
    const QString printer = QString::fromStdString(FaxPrinterPath());
    auto* process = new QProcess(this);
    process->setProgram(printer);
    process->setArguments({QStringLiteral("--fax-dir"), QString::fromStdString(Settings().FaxDir),
                           QStringLiteral("--"), path});
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::finished, this,
            [this, process, path](int code, QProcess::ExitStatus status) {
                process->deleteLater();
                if (status != QProcess::NormalExit || code != 0) {
                    QString why = QString::fromUtf8(process->readAll()).trimmed();
                    why.remove(QStringLiteral("velquin-print: "));
                    m_doc.Prompt().Message(FormatString(LoadString(ids::kDropPrintFailed),
                                                        path.toStdString(), why.toStdString()),
                                           MsgIcon::Warning, MsgButtons::Ok);
                }
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, printer](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) {
                    process->deleteLater();
                    m_doc.Prompt().Message(
                        FormatString(LoadString(ids::kDropNoPrinter), printer.toStdString()),
                        MsgIcon::Warning, MsgButtons::Ok);
                }
            });
    process->start();
}

int CNewFaxView::DefaultCommand() const {
    return cmd::kViewReadyFax;
}

bool CNewFaxView::CommandState(int id, bool& enabled, bool& checked) {
    checked = false;
    const std::size_t n = SelectedDocuments().size();
    switch (id) {
    case cmd::kDelete:
    case cmd::kSaveDocument:
        enabled = n > 0;
        return true;
    case cmd::kNewDocument:
        enabled = true;
        return true;
    case cmd::kViewReadyFax:
    case cmd::kSendFax:
    case cmd::kSendList:
    case cmd::kSendPersonal:
    case cmd::kMoveUp:
    case cmd::kMoveDown:
        enabled = n == 1;
        return true;
    default:
        return false;
    }
}

bool CNewFaxView::OnCommand(int id) {
    switch (id) {
    case cmd::kDelete:
        DeleteSelected();
        return true;
    case cmd::kSaveDocument:
        OnSaveDocument();
        return true;
    case cmd::kNewDocument:
        m_doc.Printed().AddChosenFile();
        return true;
    case cmd::kViewReadyFax:
        OnViewReadyFax();
        return true;
    case cmd::kSendFax:
        OnSendFax();
        return true;
    case cmd::kSendList:
        OnSendList();
        return true;
    case cmd::kSendPersonal:
        OnSendPersonal();
        return true;
    case cmd::kMoveUp:
        MoveSelected(true);
        return true;
    case cmd::kMoveDown:
        MoveSelected(false);
        return true;
    default:
        return false;
    }
}

void CNewFaxView::Send(int command) {
    std::vector<CFaxDocument*> selected = SelectedDocuments();
    if (selected.size() != 1 || !m_send) {
        return;
    }
    m_send(command, *selected.front());
}

void CNewFaxView::OnSendFax() {
    Send(cmd::kSendFax);
}
void CNewFaxView::OnSendList() {
    Send(cmd::kSendList);
}
void CNewFaxView::OnSendPersonal() {
    Send(cmd::kSendPersonal);
}

void CNewFaxView::OnSaveDocument() {
    for (CFaxDocument* d : SelectedDocuments()) {
        // The copy carries the title the user sees, also where the printed one has no name file.
        if (m_doc.Saved().AddFile(d->m_path, d->m_title) != 0) {
            m_doc.Prompt().FileError(FormatString(LoadString(kIdsDocumentNotSaved), d->m_path));
        }
    }
}

void CNewFaxView::OnViewReadyFax() {
    // The same way as a double-click: the own viewer, when chosen, shows the fax image.
    std::vector<CFaxDocument*> selected = SelectedDocuments();
    if (selected.size() == 1 && selected.front() != nullptr) {
        OpenDocument(*selected.front());
    }
}

// --- saved documents -------------------------------------------------------------------------

CSavedDocView::CSavedDocView(CVelquinDoc& doc, QWidget* parent)
    : CDocListView(doc, doc.Saved(), true, parent) {
    setObjectName(QStringLiteral("savedDocView"));
}

int CSavedDocView::DefaultCommand() const {
    return cmd::kViewFax;
}

bool CSavedDocView::CommandState(int id, bool& enabled, bool& checked) {
    checked = false;
    const std::size_t n = SelectedDocuments().size();
    switch (id) {
    case cmd::kDelete:
    case cmd::kAddToNewFax:
        enabled = n > 0;
        return true;
    case cmd::kViewFax:
        enabled = n == 1;
        return true;
    default:
        return false;
    }
}

bool CSavedDocView::OnCommand(int id) {
    switch (id) {
    case cmd::kDelete:
        DeleteSelected();
        return true;
    case cmd::kAddToNewFax:
        OnAddToNewFax();
        return true;
    case cmd::kViewFax: {
        std::vector<CFaxDocument*> selected = SelectedDocuments();
        if (selected.size() == 1) {
            OpenDocument(*selected.front());
        }
        return true;
    }
    default:
        return false;
    }
}

void CSavedDocView::OnAddToNewFax() {
    for (CFaxDocument* d : SelectedDocuments()) {
        m_doc.Printed().Forward(d->m_title.empty() ? std::string("Copy of saved fax") : d->m_title,
                                d->m_path, nullptr);
    }
}
