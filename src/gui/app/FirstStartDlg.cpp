#include "gui/app/FirstStartDlg.h"

#include "app/DemoService.h"
#include "app/Ports.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "store/StatusSync.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLineEdit* Edit(const QString& name, const QString& text = {}) {
    auto* e = new QLineEdit(text);
    e->setObjectName(name);
    return e;
}

std::string Text(const QLineEdit* e) {
    return e->text().trimmed().toStdString();
}

} // namespace

CFirstStartDlg::CFirstStartDlg(IPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_prompt(prompt) {
    setObjectName(QStringLiteral("firstStartDlg"));
    setWindowTitle(tr("Velquin: первый запуск"));

    auto* intro = new QLabel(tr("Velquin ещё не настроен на этом компьютере. Укажите учётную "
                                "запись сервиса и папки для факсов."));
    intro->setWordWrap(true);

    auto* account = new QGroupBox(tr("Учётная запись"));
    m_user = Edit(QStringLiteral("editUser"));
    m_password = Edit(QStringLiteral("editPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = new QCheckBox(tr("Запомнить пароль"));
    m_remember->setObjectName(QStringLiteral("checkRemember"));
    auto* al = new QFormLayout(account);
    al->addRow(tr("Имя пользователя"), m_user);
    al->addRow(tr("Пароль"), m_password);
    al->addRow(QString(), m_remember);

    auto* service = new QGroupBox(tr("Сервис"));
    m_apiHost = Edit(QStringLiteral("editApiHost"), QLatin1String(kDefaultApiHost));
    m_webHost = Edit(QStringLiteral("editWebHost"), QLatin1String(kDefaultWebHost));
    auto* sl = new QFormLayout(service);
    sl->addRow(tr("Адрес сервиса"), m_apiHost);
    sl->addRow(tr("Адрес сайта"), m_webHost);

    auto* folders = new QGroupBox(tr("Папки"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/velquin");
    m_faxDir = Edit(QStringLiteral("editFaxDir"), data + QStringLiteral("/Fax"));
    m_dataDir = Edit(QStringLiteral("editDataDir"), data + QStringLiteral("/Store"));
    auto* fl = new QFormLayout(folders);
    fl->setRowWrapPolicy(QFormLayout::WrapAllRows); // long paths get the whole width
    auto row = [this](QLineEdit* edit) {
        auto* w = new QWidget;
        auto* l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(edit);
        auto* browse = new QToolButton;
        browse->setText(QStringLiteral("..."));
        browse->setObjectName(edit->objectName() + QStringLiteral("Browse"));
        connect(browse, &QToolButton::clicked, this, [this, edit] {
            const QString dir = QFileDialog::getExistingDirectory(this, QString(), edit->text());
            if (!dir.isEmpty()) {
                edit->setText(dir);
            }
        });
        l->addWidget(browse);
        return w;
    };
    fl->addRow(tr("Напечатанные документы"), row(m_faxDir));
    fl->addRow(tr("Отправленные факсы и адресные книги"), row(m_dataDir));

    auto* sync = new QWidget;
    auto* yl = new QHBoxLayout(sync);
    yl->setContentsMargins(0, 0, 0, 0);
    m_autoSync = new QCheckBox(tr("Узнавать о доставке автоматически каждые "));
    m_autoSync->setObjectName(QStringLiteral("checkAutoSync"));
    m_syncMinutes = new QSpinBox;
    m_syncMinutes->setObjectName(QStringLiteral("editSyncMinutes"));
    m_syncMinutes->setRange(CSyncTimer::kMinMinutes, CSyncTimer::kMaxMinutes);
    m_syncMinutes->setValue(30);
    m_syncMinutes->setEnabled(false);
    connect(m_autoSync, &QCheckBox::toggled, m_syncMinutes, &QSpinBox::setEnabled);
    yl->addWidget(m_autoSync);
    yl->addWidget(m_syncMinutes);
    yl->addWidget(new QLabel(tr("мин.")));
    yl->addStretch();

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(tr("Начать работу"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    buttons->addButton(tr("Отменить"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancelButton"));
    // The demo: the simulator installed with the program, with its account filled in.
    QPushButton* demoButton =
        buttons->addButton(tr("Попробовать демо"), QDialogButtonBox::ActionRole);
    demoButton->setObjectName(QStringLiteral("demoButton"));
    demoButton->setToolTip(tr("Без учётной записи: факсы уходят в учебный сервис на этом "
                              "компьютере, и их доставка видна как настоящая."));
    demoButton->setEnabled(!demo::SimulatorPath().empty());
    connect(demoButton, &QPushButton::clicked, this, [this] {
        m_user->setText(QLatin1String(demo::kUser));
        m_password->setText(QLatin1String(demo::kPassword));
        m_remember->setChecked(true);
        m_apiHost->setText(QString::fromStdString(demo::Host()));
        m_webHost->setText(m_apiHost->text());
        accept();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(intro);
    lay->addWidget(account);
    lay->addWidget(service);
    lay->addWidget(folders);
    lay->addWidget(sync);
    lay->addWidget(buttons);
    setMinimumWidth(560);
    m_user->setFocus();
}

bool CFirstStartDlg::AutoSync() const {
    return m_autoSync->isChecked();
}

std::int32_t CFirstStartDlg::SyncMinutes() const {
    return m_syncMinutes->value();
}

void CFirstStartDlg::accept() {
    CSetupValues values;
    values.progDir = platform::ExecutableDir();
    values.faxDir = Text(m_faxDir);
    values.dataDir = Text(m_dataDir);
    values.apiHost = Text(m_apiHost);
    values.webHost = Text(m_webHost);
    values.user = Text(m_user);
    for (QLineEdit* dir : {m_faxDir, m_dataDir}) {
        const std::string path = Text(dir);
        if (path.empty() || platform::CreatePrivateDirs(path) != 0 ||
            !platform::IsDirectory(path)) {
            m_prompt.FileError(
                tr("Не удалось создать папку «%1».").arg(dir->text().trimmed()).toStdString());
            dir->setFocus();
            return;
        }
    }
    const std::string password = m_password->text().toStdString();
    if (m_remember->isChecked()) {
        values.password = password;
    } else if (!password.empty()) {
        m_sessionPassword = password;
    }
    if (const std::string error = WriteSetupKey(values); !error.empty()) {
        m_prompt.FileError(error);
        return;
    }
    QDialog::accept();
}
