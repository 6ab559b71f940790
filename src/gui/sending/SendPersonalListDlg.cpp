#include "gui/sending/SendPersonalListDlg.h"

#include "gui/sending/DocPreview.h"

#include "gui/sending/SendDlgCommon.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <ctime>

using namespace send_dlg;

CSendPersonalListDlg::CSendPersonalListDlg(std::string printRunPath, IPrompt& prompt,
                                           ISentRecords& records, QWidget* parent)
    : CSendDlgBase(parent),
      m_job(std::make_unique<CSendPersonalJob>(std::move(printRunPath), prompt, records)) {
    setObjectName(QStringLiteral("CSendPersonalListDlg"));
    setWindowTitle(tr("Отправка персонифицированных факс-сообщений по списку"));

    m_listName = MakeEdit(this, 1011);
    m_listName->setMinimumWidth(320);
    m_recipientFile = MakeEdit(this, 1013);
    m_browse = MakeButton(this, 1033, QStringLiteral("..."));
    m_pages = MakeEdit(this, 1058);
    m_pages->setReadOnly(true);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("progress"));

    auto* layout = new QVBoxLayout(this);
    m_preview = new CDocPreview(m_job->m_printRunPath, prompt, this);
    layout->addWidget(m_preview);
    auto* run = new QGroupBox(tr("Рассылка"), this);
    auto* rl = new QGridLayout(run);
    rl->addWidget(new QLabel(tr("Название рассылки"), run), 0, 0);
    rl->addWidget(m_listName, 0, 1, 1, 3);
    rl->addWidget(new QLabel(tr("Файл со списком получателей"), run), 1, 0);
    rl->addWidget(m_recipientFile, 1, 1, 1, 2);
    rl->addWidget(m_browse, 1, 3);
    rl->addWidget(new QLabel(tr("Каждый персональный факс содержит"), run), 2, 0);
    rl->addWidget(m_pages, 2, 1);
    rl->addWidget(MakeSpin(run, 1059, m_pagesUp, m_pagesDown), 2, 2);
    rl->addWidget(new QLabel(tr("страниц"), run), 2, 3);
    layout->addWidget(run);
    layout->addWidget(AccountBox());
    layout->addWidget(DeliveryBox(tr("Доставка")));
    layout->addWidget(m_progress);
    layout->addLayout(ButtonRow());

    m_job->Open(static_cast<std::int64_t>(std::time(nullptr)));
    connect(m_listName, &QLineEdit::textEdited, this, [this] { Changed(); });
    connect(m_recipientFile, &QLineEdit::textEdited, this, [this] { Changed(); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        StoreControls();
        m_job->BrowseRecipientFile();
        LoadControls();
        UpdateButtons();
    });
    connect(m_pagesUp, &QToolButton::clicked, this, [this] { OnPagesSpin(1); });
    connect(m_pagesDown, &QToolButton::clicked, this, [this] { OnPagesSpin(-1); });
    Bind();
    FocusFirst(m_recipientFile, {m_listName, m_recipientFile, m_browse});
}

void CSendPersonalListDlg::Prefill(const std::string& recipientFile, std::int32_t pagesPerRecipient,
                                   const std::string& name) {
    m_job->m_recipientFilePath = recipientFile;
    m_job->m_pagesPerRecipient = pagesPerRecipient;
    m_job->m_listName = name;
    LoadControls();
    UpdateButtons();
}

void CSendPersonalListDlg::LoadOwn() {
    m_listName->setText(QString::fromStdString(m_job->m_listName));
    m_listName->setCursorPosition(0);
    m_recipientFile->setText(QString::fromStdString(m_job->m_recipientFilePath));
    m_pages->setText(QString::number(m_job->m_pagesPerRecipient));
    m_preview->SetPagesText(tr("Страниц в тираже: %1, каждому получателю: %2")
                                .arg(m_preview->Pages())
                                .arg(m_job->m_pagesPerRecipient));
}

void CSendPersonalListDlg::StoreOwn() {
    m_job->m_listName = m_listName->text().toStdString();
    m_job->m_recipientFilePath = m_recipientFile->text().toStdString();
}

void CSendPersonalListDlg::EnableOwn(bool idle) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_listName, m_recipientFile, m_browse,
                                                      m_pages, m_pagesUp, m_pagesDown}) {
        w->setEnabled(idle);
    }
}

void CSendPersonalListDlg::OnPagesSpin(int delta) {
    StoreControls();
    m_job->SpinPages(delta);
    LoadControls();
    UpdateButtons();
}

void CSendPersonalListDlg::OnDone() {
    StoreControls();
    m_job->Done();
    LoadControls();
    UpdateButtons();
}

void CSendPersonalListDlg::OnSend() {
    StoreControls();
    std::optional<CSendPersonalJob::CPersonalPosting> posting = m_job->PrepareSend();
    if (!posting) {
        return;
    }
    m_posting = std::move(*posting);
    const int total = static_cast<int>(m_posting.items.size());
    m_progress->setText(QStringLiteral("0 / %1").arg(total));
    PostInBackground(
        [this, total] {
            m_results = CSendPersonalJob::Post(m_posting, [this, total](int index) {
                QMetaObject::invokeMethod(
                    m_progress,
                    [this, index, total] {
                        m_progress->setText(QStringLiteral("%1 / %2").arg(index + 1).arg(total));
                    },
                    Qt::QueuedConnection);
            });
        },
        [this] {
            if (m_job->FinishSend(m_posting, m_results) == SendOutcome::Submitted) {
                accept();
            }
        });
}
