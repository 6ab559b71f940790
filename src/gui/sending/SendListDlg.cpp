#include "gui/sending/SendListDlg.h"

#include "gui/sending/DocPreview.h"

#include "addressbook/AddrBook.h"
#include "gui/addressbook/AddrBookViews.h"
#include "gui/sending/SendDlgCommon.h"
#include "gui/shell/ProgressDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <ctime>
#include <thread>

using namespace send_dlg;

namespace {
constexpr int kProgressTickMs = 50;
constexpr int kShowProgressAfterMs = 300;
} // namespace

// --- recipient list
// -------------------------------------------------------------------------

CEditListDlg::CEditListDlg(std::vector<std::string>& lines, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_caller(lines), m_lines(lines), m_edit(m_lines, prompt) {
    setObjectName(QStringLiteral("CEditListDlg"));
    setWindowTitle(tr("Список номеров для рассылки"));
    setModal(true);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("1007"));
    m_number = MakeEdit(this, 1008);
    QPushButton* add = MakeButton(this, 1009, tr("В список"));
    add->setDefault(true);
    QPushButton* del = MakeButton(this, 1010, tr("Удалить"));
    QPushButton* delAll = MakeButton(this, 1011, tr("Удалить все"));
    QPushButton* book = MakeButton(this, 1006, tr("Адресная книга"));
    QPushButton* file = MakeButton(this, 1065, tr("CSV файл"));
    QPushButton* close = MakeButton(this, 1, tr("Закрыть"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_number, 0, 0);
    layout->addWidget(add, 0, 1);
    layout->addWidget(MakeDialledLine(this, m_number), 1, 0);
    layout->addWidget(m_list, 2, 0, 6, 1);
    int row = 2;
    for (QPushButton* b : {del, delAll, book, file}) {
        layout->addWidget(b, row++, 1);
    }
    layout->setRowStretch(row++, 1);
    layout->addWidget(close, row, 1);

    connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(del, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(delAll, &QPushButton::clicked, this, [this] { OnDeleteAll(); });
    connect(book, &QPushButton::clicked, this, [this] { OnAddressBook(); });
    connect(file, &QPushButton::clicked, this, [this] { OnFile(); });
    connect(close, &QPushButton::clicked, this, [this] { accept(); });
    Refill(-1);
    m_number->setFocus();
}

void CEditListDlg::Refill(int select) {
    m_list->clear();
    for (const std::string& line : m_lines) {
        m_list->addItem(QString::fromStdString(line));
    }
    if (select >= 0 && select < m_list->count()) {
        m_list->setCurrentRow(select);
        m_list->scrollToItem(m_list->item(select));
    }
}

void CEditListDlg::OnAdd() {
    switch (m_edit.AddTyped(m_number->text().toStdString())) {
    case CEditList::AddResult::Added:
        Refill(static_cast<int>(m_lines.size()) - 1);
        m_number->clear();
        break;
    case CEditList::AddResult::Duplicate:
        QApplication::beep();
        break;
    case CEditList::AddResult::Ignored:
        break;
    }
    m_number->setFocus();
}

void CEditListDlg::OnDelete() {
    const int row = m_list->currentRow();
    if (row < 0) {
        return;
    }
    Refill(m_edit.DeleteAt(row));
}

void CEditListDlg::OnDeleteAll() {
    m_edit.DeleteAll();
    Refill(-1);
}

void CEditListDlg::OnAddressBook() {
    std::vector<CAddrBookEntry*> chosen = CAddrBookDlg::Pick(false, this);
    if (chosen.empty()) {
        return;
    }
    m_edit.AddEntries(std::vector<const CAddrBookEntry*>(chosen.begin(), chosen.end()));
    Refill(static_cast<int>(m_lines.size()) - 1);
}

void CEditListDlg::OnFile() {
    std::optional<std::string> path = m_edit.AskFilePath();
    if (!path) {
        return;
    }
    CPhoneListRead read = m_edit.StartFileRead(*path);
    ReadOffGuiThread(read);
    if (m_edit.TakeFileRead(std::move(read))) {
        Refill(static_cast<int>(m_lines.size()) - 1);
    }
}

void CEditListDlg::ReadOffGuiThread(CPhoneListRead& read) {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        CEditList::ReadFile(read, [&](std::size_t d, std::size_t t) {
            done = d;
            total = t;
            return !stop.load();
        });
        finished = true;
    });

    // The window stays responsive; a list that takes a while shows its progress.
    setEnabled(false);
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer since;
    since.start();
    std::unique_ptr<CProgressDlg> progress;
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (finished.load()) {
            loop.quit();
            return;
        }
        if (!progress && since.elapsed() > kShowProgressAfterMs) {
            progress = std::make_unique<CProgressDlg>(this, kIdsReadingPhoneList);
            progress->Create();
        }
        if (progress) {
            progress->SetRange(0, static_cast<int>(total.load()));
            progress->SetPos(static_cast<int>(done.load()));
            if (progress->CheckCancelButton()) {
                stop = true;
            }
        }
    });
    tick.start(kProgressTickMs);
    loop.exec();
    // The application may be quitting: the reading is not waited out.
    stop = true;
    worker.join();
    setEnabled(true);
}

void CEditListDlg::accept() {
    m_caller = m_lines;
    QDialog::accept();
}

// --- send by list
// ---------------------------------------------------------------------------

CSendListDlg::CSendListDlg(std::string imagePath, std::string imageName, std::int32_t pages,
                           IPrompt& prompt, ISentRecords& records, QWidget* parent)
    : CSendDlgBase(parent),
      m_job(std::make_unique<CSendListJob>(std::move(imagePath), std::move(imageName), pages,
                                           prompt, records)),
      m_prompt(prompt) {
    setObjectName(QStringLiteral("CSendListDlg"));
    setWindowTitle(tr("Отправка факс-сообщения по списку"));

    m_listName = MakeEdit(this, 1011);
    m_listName->setMaxLength(static_cast<int>(kMaxListNameChars));
    m_count = MakeEdit(this, 1058);
    m_count->setReadOnly(true);
    m_edit = MakeButton(this, 1012, tr("Редактировать"));
    m_notifyFailure =
        MakeCheck(this, 1016, tr("Присылать отдельное уведомление о каждом неотправленном факсе"));
    m_notifySuccess = MakeCheck(this, 1007,
                                tr("Присылать отдельное уведомление о каждом "
                                   "успешно отправленном факсе"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CDocPreview(m_job->m_imagePath, prompt, this));
    auto* list = new QGroupBox(tr("Укажите название вашей факс-рассылки"), this);
    auto* ll = new QGridLayout(list);
    ll->addWidget(m_listName, 0, 0, 1, 4);
    ll->addWidget(new QLabel(tr("( Всего выбрано "), list), 1, 0);
    ll->addWidget(m_count, 1, 1);
    ll->addWidget(new QLabel(tr("номеров )"), list), 1, 2);
    ll->addWidget(m_edit, 1, 3);
    ll->addWidget(m_notifyFailure, 2, 0, 1, 4);
    ll->addWidget(m_notifySuccess, 3, 0, 1, 4);
    layout->addWidget(list);
    layout->addWidget(AccountBox());
    layout->addWidget(DeliveryBox(tr("Доставка")));
    layout->addLayout(ButtonRow());

    m_job->Open(static_cast<std::int64_t>(std::time(nullptr)));
    for (QCheckBox* c : {m_notifyFailure, m_notifySuccess}) {
        connect(c, &QCheckBox::toggled, this, [this] { Changed(); });
    }
    connect(m_listName, &QLineEdit::textEdited, this, [this] { Changed(); });
    connect(m_edit, &QPushButton::clicked, this, [this] { OnEdit(); });
    Bind();
    FocusFirst(m_edit, {m_listName, m_edit, m_notifyFailure, m_notifySuccess});
}

void CSendListDlg::LoadOwn() {
    m_count->setText(QString::number(m_job->m_numberCount));
    m_notifyFailure->setChecked(m_job->m_notifyFailure);
    m_notifySuccess->setChecked(m_job->m_notifySuccess);
    m_listName->setText(QString::fromStdString(m_job->m_listName));
}

void CSendListDlg::StoreOwn() {
    m_job->m_notifyFailure = m_notifyFailure->isChecked();
    m_job->m_notifySuccess = m_notifySuccess->isChecked();
    m_job->m_listName = m_listName->text().toStdString();
}

void CSendListDlg::EnableOwn(bool idle) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_count, m_notifyFailure, m_notifySuccess,
                                                      m_listName, m_edit}) {
        w->setEnabled(idle);
    }
}

void CSendListDlg::Prefill(std::vector<std::string> lines, const std::string& name) {
    m_job->m_lines = std::move(lines);
    m_job->m_listName = name;
    m_job->LinesEdited();
    LoadControls();
    UpdateButtons();
}

void CSendListDlg::OnEdit() {
    if (Busy()) {
        return;
    }
    StoreControls();
    CEditListDlg dlg(m_job->m_lines, m_prompt, this);
    dlg.exec();
    m_job->LinesEdited();
    LoadControls();
    UpdateButtons();
}

void CSendListDlg::OnDone() {
    StoreControls();
    m_job->Done();
    LoadControls();
    UpdateButtons();
}

void CSendListDlg::OnSend() {
    StoreControls();
    std::optional<CPosting> posting = m_job->PrepareSend();
    if (!posting) {
        return;
    }
    PostInBackground([this, posting = *posting] { m_result = CSendListJob::Post(posting); },
                     [this] {
                         if (m_job->FinishSend(m_result) == SendOutcome::Submitted) {
                             accept();
                         }
                     });
}
