#include "gui/sending/SendDlgBase.h"

#include "gui/sending/SendDlgCommon.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QToolButton>

using namespace send_dlg;

CSendDlgBase::CSendDlgBase(QWidget* parent) : QDialog(parent) {
    setModal(true);
    m_user = MakeEdit(this, 1002);
    m_password = MakeEdit(this, 1004);
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = MakeCheck(this, 1014, tr("Запомнить пароль"));
    m_attempts = MakeEdit(this, 1054);
    m_attempts->setReadOnly(true);
    m_delay = MakeEdit(this, 1055);
    m_delay->setReadOnly(true);
    m_atOnce = MakeRadio(this, 1028, tr("Немедленно после получения письма"));
    m_atTime = MakeRadio(this, 1030, tr("В указанное время"));
    m_date = MakeDate(this, 1031);
    m_time = MakeTime(this, 1032);
    m_done = MakeButton(this, 1047, tr("Готово"));
    m_send = MakeButton(this, 1, tr("Отправить"));
    m_cancel = MakeButton(this, 2, tr("Отменить"));
    m_done->setDefault(true);
}

void CSendDlgBase::FocusFirst(QWidget* first, std::initializer_list<QWidget*> own) {
    // The base's fields are made first, so by default they would lead the tab order.
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* w) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, w);
        }
        previous = w;
    };
    for (QWidget* w : own) {
        chain(w);
    }
    for (QWidget* w : {static_cast<QWidget*>(m_user), static_cast<QWidget*>(m_password),
                       static_cast<QWidget*>(m_remember), static_cast<QWidget*>(m_atOnce),
                       static_cast<QWidget*>(m_atTime), static_cast<QWidget*>(m_date),
                       static_cast<QWidget*>(m_time), static_cast<QWidget*>(m_done),
                       static_cast<QWidget*>(m_send), static_cast<QWidget*>(m_cancel)}) {
        chain(w);
    }
    first->setFocus();
}

CSendDlgBase::~CSendDlgBase() {
    if (m_post.joinable()) {
        m_post.join();
    }
}

QGroupBox* CSendDlgBase::AccountBox() {
    auto* box = new QGroupBox(tr("Учётная запись"), this);
    auto* l = new QGridLayout(box);
    l->addWidget(new QLabel(tr("Имя пользователя"), box), 0, 0);
    l->addWidget(m_user, 0, 1);
    l->addWidget(new QLabel(tr("Пароль"), box), 1, 0);
    l->addWidget(m_password, 1, 1);
    l->addWidget(m_remember, 2, 1);
    return box;
}

QGroupBox* CSendDlgBase::DeliveryBox(const QString& title) {
    auto* box = new QGroupBox(title, this);
    auto* l = new QGridLayout(box);
    l->addWidget(new QLabel(tr("Число попыток"), box), 0, 0);
    l->addWidget(m_attempts, 0, 1);
    l->addWidget(MakeSpin(box, 1057, m_attemptsUp, m_attemptsDown), 0, 2);
    l->addWidget(new QLabel(tr("Интервал между попытками (мин.)"), box), 1, 0);
    l->addWidget(m_delay, 1, 1);
    l->addWidget(MakeSpin(box, 1056, m_delayUp, m_delayDown), 1, 2);
    l->addWidget(m_atOnce, 2, 0, 1, 3);
    l->addWidget(m_atTime, 3, 0);
    l->addWidget(m_date, 3, 1);
    l->addWidget(m_time, 3, 2);
    return box;
}

QHBoxLayout* CSendDlgBase::ButtonRow() {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : {m_done, m_send, m_cancel}) {
        row->addWidget(b);
    }
    return row;
}

void CSendDlgBase::Bind() {
    for (QLineEdit* e : {m_user, m_password}) {
        connect(e, &QLineEdit::textEdited, this, [this] { Changed(); });
    }
    connect(m_remember, &QCheckBox::toggled, this, [this] { Changed(); });
    connect(m_date, &QDateEdit::dateChanged, this, [this] { Changed(); });
    connect(m_time, &QTimeEdit::timeChanged, this, [this] { Changed(); });
    for (QRadioButton* r : {m_atOnce, m_atTime}) {
        connect(r, &QRadioButton::clicked, this, [this] {
            StoreControls();
            BaseJob().SetSendMode(m_atTime->isChecked() ? kSendAtTime : kSendAtOnce);
            LoadControls();
            UpdateButtons();
        });
    }
    for (QToolButton* b : {m_attemptsUp, m_attemptsDown, m_delayUp, m_delayDown}) {
        connect(b, &QToolButton::clicked, this, [this, b] { OnSpin(b); });
    }
    connect(m_done, &QPushButton::clicked, this, [this] {
        if (!m_busy) {
            OnDone();
        }
    });
    connect(m_send, &QPushButton::clicked, this, [this] {
        if (!m_busy && BaseJob().SendEnabled()) {
            OnSend();
        }
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    LoadControls();
    UpdateButtons();
}

void CSendDlgBase::LoadControls() {
    CSendJobBase& job = BaseJob();
    m_loading = true;
    m_attempts->setText(QString::number(job.m_attempts));
    m_delay->setText(QString::number(job.m_delay));
    m_remember->setChecked(job.m_rememberPwd);
    m_user->setText(QString::fromStdString(job.m_userName));
    m_password->setText(QString::fromStdString(job.m_password));
    SetPickers(m_date, m_time, job.m_sendDate, job.m_sendTime);
    m_atOnce->setChecked(job.m_sendMode == kSendAtOnce);
    m_atTime->setChecked(job.m_sendMode == kSendAtTime);
    LoadOwn();
    m_loading = false;
}

void CSendDlgBase::StoreControls() {
    CSendJobBase& job = BaseJob();
    job.m_rememberPwd = m_remember->isChecked();
    job.m_userName = m_user->text().toStdString();
    job.m_password = m_password->text().toStdString();
    ReadPickers(m_date, m_time, job.m_sendDate, job.m_sendTime);
    job.m_sendMode = m_atTime->isChecked() ? kSendAtTime : kSendAtOnce;
    StoreOwn();
}

void CSendDlgBase::UpdateButtons() {
    const bool idle = !m_busy;
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_attempts, m_attemptsUp, m_attemptsDown, m_remember, m_delay, m_delayUp, m_delayDown,
             m_user, m_password, m_atOnce, m_atTime, m_cancel}) {
        w->setEnabled(idle);
    }
    m_done->setEnabled(idle && DoneAllowed());
    m_date->setEnabled(idle && BaseJob().PickersEnabled());
    m_time->setEnabled(idle && BaseJob().PickersEnabled());
    m_send->setEnabled(idle && BaseJob().SendEnabled());
    EnableOwn(idle);
}

void CSendDlgBase::Changed() {
    if (m_loading) {
        return;
    }
    StoreControls();
    BaseJob().Edited();
    UpdateButtons();
}

void CSendDlgBase::OnSpin(QToolButton* button) {
    StoreControls();
    if (button == m_attemptsUp || button == m_attemptsDown) {
        BaseJob().SpinAttempts(button == m_attemptsUp ? 1 : -1);
    } else {
        BaseJob().SpinDelay(button == m_delayUp ? 1 : -1);
    }
    LoadControls();
    UpdateButtons();
}

void CSendDlgBase::PostInBackground(std::function<void()> post, std::function<void()> finish) {
    if (m_post.joinable()) {
        m_post.join();
    }
    m_busy = true;
    setCursor(Qt::BusyCursor);
    UpdateButtons();
    // The destructor joins, so the dialog is still there when the reply is queued to it.
    m_post = std::thread([this, post = std::move(post), finish = std::move(finish)] {
        post();
        QMetaObject::invokeMethod(
            this,
            [this, finish] {
                if (m_post.joinable()) {
                    m_post.join();
                }
                m_busy = false;
                unsetCursor();
                finish();
                if (result() != QDialog::Accepted) {
                    UpdateButtons();
                }
                Q_EMIT SendFinished();
            },
            Qt::QueuedConnection);
    });
}

void CSendDlgBase::reject() {
    // The post cannot be called back: the dialog waits for its reply.
    if (!m_busy) {
        QDialog::reject();
    }
}
