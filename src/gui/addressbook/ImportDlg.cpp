#include "gui/addressbook/ImportDlg.h"

#include "addressbook/Import.h"
#include "app/ThreadControl.h"
#include "gui/addressbook/AbkCommon.h"
#include "resources/Strings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

using namespace abk;

namespace {
constexpr const char* kTextFilter = "Text files (*.TXT) |*.TXT|All files (*.*)|*.*||";
constexpr int kProgressRange = 1000;
constexpr int kCodeRole = Qt::UserRole;

void RequestStop() {
    CThreadControl& control = CThreadControl::Instance();
    if (control.busy.load() != 0) {
        int expected = 0;
        control.stopRequest.compare_exchange_strong(expected, 1);
    }
}
} // namespace

struct CImportDlg::CData {
    CImportFields fields;
    std::vector<CImportRow> rows;
};

// The reader's calls, each run on the GUI thread while the reader waits (the synchronous
// messages of the original).
class CImportDlg::CReaderPort : public IImportDialog {
public:
    explicit CReaderPort(CImportDlg& dlg) : m_dlg(dlg) {}
    bool GetPreview() override {
        bool ok = false;
        m_dlg.m_invoker.Run([&] { ok = m_dlg.m_preview != nullptr; });
        return ok;
    }
    std::string GetPath() override {
        std::string path;
        m_dlg.m_invoker.Run([&] { path = m_dlg.m_path; });
        return path;
    }
    std::string GetSeparator() override {
        std::string s;
        m_dlg.m_invoker.Run([&] { s = U(m_dlg.m_separator->text()); });
        return s;
    }
    bool GetIgnoreFlag() override {
        bool on = true;
        m_dlg.m_invoker.Run([&] { on = m_dlg.m_ignore->isChecked(); });
        return on;
    }
    ImportEncoding GetEncoding() override {
        ImportEncoding e = ImportEncoding::Auto;
        m_dlg.m_invoker.Run(
            [&] { e = static_cast<ImportEncoding>(m_dlg.m_encoding->currentIndex()); });
        return e;
    }
    void EncodingUncertain() override {
        m_dlg.m_invoker.Run([&] { m_dlg.m_uncertain = true; });
    }
    CFieldMap GetFieldMap() override {
        CFieldMap map;
        m_dlg.m_invoker.Run([&] { map = m_dlg.m_fields.FieldMap(); });
        return map;
    }
    void ProgressStart(std::uint64_t total) override {
        m_dlg.m_invoker.Run([&] {
            m_dlg.m_total = total;
            m_dlg.m_progress->setRange(0, kProgressRange);
            m_dlg.m_progress->setValue(0);
            m_dlg.m_progress->show();
        });
    }
    void ProgressStep(std::uint64_t position) override {
        m_dlg.m_invoker.Run([&] {
            const std::uint64_t total = std::max<std::uint64_t>(1, m_dlg.m_total);
            m_dlg.m_progress->setValue(static_cast<int>(
                std::min<std::uint64_t>(kProgressRange, position * kProgressRange / total)));
        });
    }
    void ProgressEnd() override {
        m_dlg.m_invoker.Run([&] { m_dlg.m_progress->hide(); });
    }
    void RowsAdded(std::vector<CImportRow>&& rows, std::size_t recordsRead) override {
        m_dlg.m_invoker.Run([&] {
            QList<QTreeWidgetItem*> items;
            items.reserve(static_cast<qsizetype>(rows.size()));
            for (CImportRow& r : rows) {
                auto* item = new QTreeWidgetItem;
                item->setText(0, Q(r.group));
                item->setText(1, Q(r.number));
                item->setText(2, Q(r.company));
                item->setText(3, Q(r.person));
                items.push_back(item);
                m_dlg.m_rows.push_back(std::move(r));
            }
            m_dlg.m_preview->addTopLevelItems(items);
            if (!items.isEmpty()) {
                m_dlg.m_preview->scrollToItem(items.back());
            }
            m_dlg.m_records->setText(QString::number(recordsRead));
        });
    }
    void OpenFailed() override {
        if (!m_dlg.m_invoker.Run([&] {
                m_dlg.m_prompt.MessageId(kMsgCannotOpenDataFile, MsgIcon::Stop);
                m_dlg.ReaderDone();
            })) {
            m_dlg.m_reading = false;
        }
    }
    void Finished(bool numbersPrefixed, bool notStopped) override {
        if (!m_dlg.m_invoker.Run([&] {
                const bool closing = m_dlg.m_closeWhenDone;
                m_dlg.ReaderDone();
                if (closing || !notStopped) {
                    return;
                }
                m_dlg.m_records->setText(QString::number(m_dlg.m_rows.size()));
                if (numbersPrefixed) {
                    m_dlg.m_prompt.Message(ImportPrefixedMessage(), MsgIcon::Information,
                                           MsgButtons::Ok);
                }
                if (m_dlg.m_uncertain) {
                    m_dlg.m_prompt.MessageId(kMsgImportEncodingUncertain, MsgIcon::Warning);
                    m_dlg.m_encoding->setFocus();
                }
            })) {
            m_dlg.m_reading = false;
        }
    }

private:
    CImportDlg& m_dlg;
};

CImportDlg::CImportDlg(IPrompt& prompt, IFrame& frame,
                       std::function<void(const std::function<void()>&)> withBooksLocked,
                       std::function<void()> booksChanged, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_frame(frame),
      m_withBooksLocked(std::move(withBooksLocked)), m_booksChanged(std::move(booksChanged)),
      m_data(std::make_unique<CData>()), m_fields(m_data->fields), m_rows(m_data->rows),
      m_invoker(this), m_port(std::make_unique<CReaderPort>(*this)) {
    setObjectName(QStringLiteral("importDlg"));
    setWindowTitle(tr("Импорт данных в адресную книгу"));

    m_input = new QListWidget(this);
    m_input->setObjectName(QStringLiteral("inputFields"));
    m_available = new QListWidget(this);
    m_available->setObjectName(QStringLiteral("availableFields"));
    m_toInput = new QPushButton(QStringLiteral("<--"), this);
    m_toInput->setObjectName(QStringLiteral("toInput"));
    m_toAvailable = new QPushButton(QStringLiteral("-->"), this);
    m_toAvailable->setObjectName(QStringLiteral("toAvailable"));
    m_separator = new QLineEdit(QStringLiteral(";"), this);
    m_separator->setObjectName(QStringLiteral("separator"));
    m_separator->setMaxLength(1);
    m_separator->setMaximumWidth(40);
    m_ignore = new QCheckBox(tr("Игнорировать некорректные записи"), this);
    m_ignore->setObjectName(QStringLiteral("ignoreInvalid"));
    m_ignore->setChecked(true);
    m_records = new QLineEdit(QStringLiteral("0"), this);
    m_records->setObjectName(QStringLiteral("recordsRead"));
    m_records->setReadOnly(true);
    m_records->setMaximumWidth(90);
    // The order of the entries is that of ImportEncoding.
    m_encoding = new QComboBox(this);
    m_encoding->setObjectName(QStringLiteral("encoding"));
    m_encoding->addItems(
        {tr("Определить"), QStringLiteral("UTF-8"), QStringLiteral("Windows-1251")});
    m_load = new QPushButton(tr("Загрузить файл..."), this);
    m_load->setObjectName(QStringLiteral("loadFile"));
    m_preview = new QTreeWidget(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setRootIsDecorated(false);
    m_preview->setUniformRowHeights(true);
    m_preview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_preview->setAllColumnsShowFocus(true);
    m_preview->setHeaderLabels({Str(kIdsColumnGroup), Str(1009), Str(1010), Str(1011)});
    for (int c = 0; c < 4; ++c) {
        m_preview->setColumnWidth(c, 100);
    }
    m_remove = new QPushButton(tr("Удалить"), this);
    m_remove->setObjectName(QStringLiteral("removeRows"));
    m_import = new QPushButton(tr("Импорт"), this);
    m_import->setObjectName(QStringLiteral("importButton"));
    m_close = new QPushButton(tr("Закрыть"), this);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->hide();
    for (QPushButton* b : {m_toInput, m_toAvailable, m_load, m_remove, m_close}) {
        b->setAutoDefault(false);
    }

    auto* fields = new QGroupBox(tr("Порядок полей"), this);
    auto* grid = new QGridLayout(fields);
    grid->addWidget(new QLabel(tr("Поля во входном файле"), fields), 0, 0);
    grid->addWidget(new QLabel(tr("Поля адресной книги"), fields), 0, 2);
    grid->addWidget(m_input, 1, 0);
    auto* arrows = new QVBoxLayout;
    arrows->addStretch(1);
    arrows->addWidget(m_toInput);
    arrows->addWidget(m_toAvailable);
    arrows->addStretch(1);
    grid->addLayout(arrows, 1, 1);
    grid->addWidget(m_available, 1, 2);
    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel(tr("Разделитель полей:"), this));
    options->addWidget(m_separator);
    options->addSpacing(12);
    options->addWidget(m_ignore);
    options->addSpacing(12);
    options->addWidget(new QLabel(tr("Кодировка:"), this));
    options->addWidget(m_encoding);
    options->addStretch(1);
    options->addWidget(m_load);
    auto* status = new QHBoxLayout;
    status->addWidget(new QLabel(tr("Прочитано записей:"), this));
    status->addWidget(m_records);
    status->addWidget(m_progress, 1);
    status->addStretch(0);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_remove);
    bottom->addStretch(1);
    bottom->addWidget(m_import);
    bottom->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fields);
    layout->addLayout(options);
    layout->addWidget(m_preview, 1);
    layout->addLayout(status);
    layout->addLayout(bottom);
    resize(640, 560);

    connect(m_toInput, &QPushButton::clicked, this, &CImportDlg::OnToInput);
    connect(m_toAvailable, &QPushButton::clicked, this, &CImportDlg::OnToAvailable);
    connect(m_load, &QPushButton::clicked, this, &CImportDlg::OnLoadFile);
    connect(m_encoding, &QComboBox::activated, this, &CImportDlg::OnEncodingChosen);
    connect(m_remove, &QPushButton::clicked, this, &CImportDlg::OnRemoveRows);
    connect(m_import, &QPushButton::clicked, this, &CImportDlg::accept);
    connect(m_close, &QPushButton::clicked, this, &CImportDlg::reject);
    connect(m_preview, &QTreeWidget::itemSelectionChanged, this, &CImportDlg::UpdateButtons);
    FillFieldLists(-1, 0);
}

CImportDlg::~CImportDlg() {
    if (m_reading) {
        // The reader must make its last call before the dialog goes.
        RequestStop();
        m_closeWhenDone = true;
        while (m_reading) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
}

const CImportFields& CImportDlg::Fields() const {
    return m_fields;
}

const std::vector<CImportRow>& CImportDlg::Rows() const {
    return m_rows;
}

void CImportDlg::FillFieldLists(int inputCurrent, int availableCurrent) {
    auto fill = [](QListWidget* list, const std::vector<int>& codes, int current) {
        list->clear();
        for (int code : codes) {
            auto* item = new QListWidgetItem(Q(ImportFieldText(code)), list);
            item->setData(kCodeRole, code);
        }
        if (list->count() > 0 && current >= 0) {
            list->setCurrentRow(std::min(current, list->count() - 1));
        }
    };
    fill(m_input, m_fields.Input(), inputCurrent);
    fill(m_available, m_fields.Available(), availableCurrent);
    UpdateButtons();
}

void CImportDlg::OnToInput() {
    const int from = m_available->currentRow();
    if (from < 0) {
        return;
    }
    QListWidgetItem* current = m_input->currentItem();
    const int before = current != nullptr && current->isSelected() ? m_input->currentRow() : -1;
    if (m_fields.MoveToInput(from, before)) {
        // No input entry stays selected, so the next "<--" appends again.
        FillFieldLists(-1, from);
    }
}

void CImportDlg::OnToAvailable() {
    const int from = m_input->currentRow();
    if (from >= 0 && m_fields.MoveToAvailable(from)) {
        FillFieldLists(from, 0);
    }
}

bool CImportDlg::ClearPreview() {
    m_rows.clear();
    m_preview->clear();
    m_records->setText(QStringLiteral("0"));
    const std::string separator = U(m_separator->text());
    if (const unsigned msg = CheckImportFields(m_fields.FieldMap(), separator); msg != 0) {
        m_prompt.MessageId(msg, MsgIcon::Stop);
        UpdateButtons();
        return false;
    }
    return true;
}

void CImportDlg::OnLoadFile() {
    if (!ClearPreview()) {
        return;
    }
    const auto path = m_prompt.AskOpenFile(kTextFilter, "");
    if (!path) {
        UpdateButtons();
        return;
    }
    if (const unsigned msg = CheckImportPath(*path); msg != 0) {
        m_prompt.MessageId(msg, MsgIcon::Stop);
        UpdateButtons();
        return;
    }
    m_path = *path;
    StartReading();
}

void CImportDlg::OnEncodingChosen() {
    if (!m_path.empty() && !m_reading && ClearPreview()) {
        StartReading();
    }
}

void CImportDlg::StartReading() {
    SetControlsEnabled(false);
    m_reading = true;
    m_uncertain = false;
    StartImportReader(*m_port, CThreadControl::Instance());
}

void CImportDlg::ReaderDone() {
    m_reading = false;
    SetControlsEnabled(true);
    if (m_closeWhenDone) {
        m_closeWhenDone = false;
        QDialog::reject();
    }
}

void CImportDlg::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_available, m_input, m_toInput, m_toAvailable, m_separator, m_ignore, m_encoding,
             m_load, m_preview, m_remove, m_import, m_close}) {
        w->setEnabled(enabled);
    }
    if (enabled) {
        UpdateButtons();
    }
}

void CImportDlg::UpdateButtons() {
    if (m_reading) {
        return;
    }
    m_remove->setEnabled(!m_preview->selectedItems().isEmpty());
    m_import->setEnabled(m_preview->topLevelItemCount() > 0);
}

void CImportDlg::OnRemoveRows() {
    std::vector<std::size_t> indices;
    for (QTreeWidgetItem* item : m_preview->selectedItems()) {
        indices.push_back(static_cast<std::size_t>(m_preview->indexOfTopLevelItem(item)));
    }
    RemovePreviewRows(m_rows, indices);
    std::sort(indices.rbegin(), indices.rend());
    for (std::size_t i : indices) {
        delete m_preview->takeTopLevelItem(static_cast<int>(i));
    }
    m_records->setText(QString::number(m_rows.size()));
    UpdateButtons();
}

void CImportDlg::accept() {
    if (m_reading || m_rows.empty()) {
        return;
    }
    SetControlsEnabled(false);
    auto commit = [this] { CommitImportToCurrentBook(m_rows, &m_frame, {}); };
    if (m_withBooksLocked) {
        m_withBooksLocked(commit);
    } else {
        commit();
    }
    SetControlsEnabled(true);
    QDialog::accept();
    if (m_booksChanged) {
        m_booksChanged();
    }
}

void CImportDlg::reject() {
    if (m_reading) {
        RequestStop();
        m_closeWhenDone = true; // closes at the reader's last call
        return;
    }
    QDialog::reject();
}
