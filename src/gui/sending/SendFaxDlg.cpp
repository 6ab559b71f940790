#include "gui/sending/SendFaxDlg.h"

#include "addressbook/AddrBook.h"
#include "gui/addressbook/AddrBookViews.h"
#include "gui/sending/DocPreview.h"
#include "gui/sending/SendDlgCommon.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

using namespace send_dlg;

CSendFaxDlg::CSendFaxDlg(std::string imagePath, std::string imageName, std::string description,
                         IPrompt& prompt, ISentRecords& records, QWidget* parent)
    : CSendDlgBase(parent),
      m_job(std::make_unique<CSendFaxJob>(std::move(imagePath), std::move(imageName),
                                          std::move(description), prompt, records)) {
    setObjectName(QStringLiteral("CSendFaxDlg"));
    setWindowTitle(tr("Отправка одиночного факс-сообщения"));

    m_number = MakeEdit(this, 1039);
    m_pick = MakeButton(this, 1012, tr("Выбрать"));
    m_singlePages = MakeCheck(this, 1013, tr("Отправлять каждую страницу как отдельный факс"));
    m_save = MakeButton(this, 1069, tr("Сохранить"));
    m_save->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CDocPreview(m_job->m_imagePath, prompt, this));
    auto* recipient = new QGroupBox(tr("Укажите номер получателя"), this);
    auto* rl = new QGridLayout(recipient);
    rl->addWidget(m_number, 0, 0);
    rl->addWidget(m_pick, 0, 1);
    rl->addWidget(MakeDialledLine(recipient, m_number), 1, 0, 1, 2);
    rl->addWidget(m_singlePages, 2, 0, 1, 2);
    layout->addWidget(recipient);
    layout->addWidget(AccountBox());
    layout->addWidget(DeliveryBox(tr("Доставка")));
    QHBoxLayout* buttons = ButtonRow();
    buttons->insertWidget(3, m_save);
    layout->addLayout(buttons);

    m_job->Open(static_cast<std::int64_t>(std::time(nullptr)));
    connect(m_number, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_loading) {
            m_job->SetNumber(text.toStdString());
            UpdateButtons();
        }
    });
    m_number->installEventFilter(this);
    connect(m_pick, &QPushButton::clicked, this, [this] { OnPick(); });
    connect(m_save, &QPushButton::clicked, this, [this] {
        if (!Busy() && m_job->SendEnabled() && m_job->Save()) {
            accept();
        }
    });
    Bind();
    FocusFirst(m_number, {m_number, m_pick, m_singlePages});
}

void CSendFaxDlg::LoadOwn() {
    m_number->setText(QString::fromStdString(m_job->m_number));
    m_singlePages->setChecked(m_job->m_singlePages);
}

void CSendFaxDlg::StoreOwn() {
    m_job->m_singlePages = m_singlePages->isChecked();
}

void CSendFaxDlg::EnableOwn(bool idle) {
    m_number->setEnabled(idle);
    m_pick->setEnabled(idle);
    // Sending every page as its own fax is not offered.
    m_singlePages->setEnabled(false);
    m_save->setEnabled(idle && m_job->SendEnabled());
}

bool CSendFaxDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_number && event->type() == QEvent::FocusOut && !Busy()) {
        m_job->LeaveNumberField();
        m_loading = true;
        m_number->setText(QString::fromStdString(m_job->m_number));
        m_loading = false;
    }
    return CSendDlgBase::eventFilter(watched, event);
}

void CSendFaxDlg::OnPick() {
    std::vector<CAddrBookEntry*> chosen = CAddrBookDlg::Pick(true, this);
    const auto* contact = chosen.empty() ? nullptr : dynamic_cast<CContactEntry*>(chosen.front());
    if (contact == nullptr) {
        return;
    }
    StoreControls();
    m_job->PickContact(contact->GetName(), contact->m_company, contact->m_person);
    m_job->Edited();
    LoadControls();
    UpdateButtons();
}

void CSendFaxDlg::OnDone() {
    StoreControls();
    m_job->Done();
    LoadControls();
    UpdateButtons();
}

void CSendFaxDlg::OnSend() {
    StoreControls();
    std::optional<CPosting> posting = m_job->PrepareSend();
    if (!posting) {
        return;
    }
    PostInBackground([this, posting = *posting] { m_result = CSendFaxJob::Post(posting); },
                     [this] {
                         if (m_job->FinishSend(m_result) == SendOutcome::Submitted) {
                             accept();
                         }
                     });
}
