#include "gui/app/SettingsDlg.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "gui/app/Desktop.h"
#include "gui/shell/Commands.h"
#include "resources/Strings.h"
#include "service/Transport.h"
#include "store/StatusSync.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QSpinBox* DaysField(QWidget* parent, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(0, 99999);
    s->setMinimumWidth(80);
    return s;
}

} // namespace

CSettingsDlg::CSettingsDlg(QWidget* parent, IPrompt* prompt) : QDialog(parent), m_prompt(prompt) {
    setObjectName(QStringLiteral("settingsDlg"));
    setWindowTitle(tr("Настройки программы TW Velquin"));
    const CSettings& s = Settings();
    m_values.AutoShowOnPrint = s.AutoShowOnPrint;
    m_values.NotifyOnSync = s.NotifyOnSync;
    m_values.UseOwnViewer = s.UseOwnViewer;
    m_values.ConfirmDeleteItem = s.ConfirmDeleteItem;
    m_values.ClearNewFaxSection = s.ClearNewFaxSection;
    m_values.DeleteSentAfterDays = s.DeleteSentAfterDays;
    m_values.SentDeleteDays = s.SentDeleteDays;
    m_values.DeleteReceivedAfterDays = s.DeleteReceivedAfterDays;
    m_values.ReceivedDeleteDays = s.ReceivedDeleteDays;
    m_values.DefaultAreaCode = s.DefaultAreaCode;
    m_values.ProxyHost = s.ProxyHost;
    m_values.ProxyUser = s.ProxyUser;
    m_values.ProxyPassword = s.ProxyPassword;
    m_values.AutoSyncronize = s.AutoSyncronize;
    m_values.SyncronizationDelay = s.SyncronizationDelay;
    m_values.DeleteE2FConf = s.DeleteE2FConf;
    m_values.DeleteF2EConf = s.DeleteF2EConf;
    m_values.SMTPAddress = s.SMTPAddress;
    m_values.SMTPMailFrom = s.SMTPMailFrom;
    m_values.UseSMAPI = s.UseSMAPI;

    auto* printBox = new QGroupBox(tr("При печати нового файла на TW Ostrevo принтер"));
    m_autoShow = new QCheckBox(tr("Показывать главное окно программы поверх других окон"));
    m_autoShow->setObjectName(QStringLiteral("check1026"));
    (new QVBoxLayout(printBox))->addWidget(m_autoShow);

    auto* desktopBox = new QGroupBox(tr("Рабочий стол"));
    m_autostart = new QCheckBox(tr("Запускать Velquin при входе в систему"));
    m_autostart->setObjectName(QStringLiteral("checkAutostart"));
    (new QVBoxLayout(desktopBox))->addWidget(m_autostart);

    auto* viewerBox = new QGroupBox(tr("Для просмотра TIFF файлов"));
    m_standardViewer = new QRadioButton(tr("Использовать программу рабочего стола"));
    m_standardViewer->setObjectName(QStringLiteral("radio1021"));
    m_ownViewer = new QRadioButton(tr("Использовать встроенную программу Velquin"));
    m_ownViewer->setObjectName(QStringLiteral("radio1024"));
    auto* vl = new QVBoxLayout(viewerBox);
    vl->addWidget(m_standardViewer);
    vl->addWidget(m_ownViewer);

    auto* listBox = new QGroupBox(tr("Списки"));
    m_confirmDelete = new QCheckBox(tr("Подтверждать удаление элементов списка"));
    m_confirmDelete->setObjectName(QStringLiteral("check1012"));
    m_clearNew = new QCheckBox(tr("Удалять напечатанные файлы после отправки факса"));
    m_clearNew->setObjectName(QStringLiteral("check1013"));
    m_deleteSent = new QCheckBox(tr("Удалять отправленные факсы через "));
    m_deleteSent->setObjectName(QStringLiteral("check1018"));
    m_sentDays = DaysField(listBox, "edit1004");
    m_deleteReceived = new QCheckBox(tr("Удалять принятые факсы через "));
    m_deleteReceived->setObjectName(QStringLiteral("check1020"));
    m_receivedDays = DaysField(listBox, "edit1005");
    m_notify =
        new QCheckBox(tr("Сообщать на рабочем столе, какие факсы доставлены или не доставлены"));
    m_notify->setObjectName(QStringLiteral("checkNotify"));
    // Without it delivery is only heard of after F5.
    m_autoSync = new QCheckBox(tr("Узнавать о доставке автоматически каждые "));
    m_autoSync->setObjectName(QStringLiteral("checkAutoSync"));
    m_syncMinutes = new QSpinBox(listBox);
    m_syncMinutes->setObjectName(QStringLiteral("editSyncMinutes"));
    m_syncMinutes->setRange(CSyncTimer::kMinMinutes, CSyncTimer::kMaxMinutes);
    m_syncMinutes->setMinimumWidth(80);
    auto* grid = new QGridLayout(listBox);
    grid->addWidget(m_confirmDelete, 0, 0, 1, 3);
    grid->addWidget(m_clearNew, 1, 0, 1, 3);
    grid->addWidget(m_deleteSent, 2, 0);
    grid->addWidget(m_sentDays, 2, 1);
    grid->addWidget(new QLabel(tr("дней")), 2, 2);
    grid->addWidget(m_deleteReceived, 3, 0);
    grid->addWidget(m_receivedDays, 3, 1);
    grid->addWidget(new QLabel(tr("дней")), 3, 2);
    grid->addWidget(m_autoSync, 4, 0);
    grid->addWidget(m_syncMinutes, 4, 1);
    grid->addWidget(new QLabel(tr("мин.")), 4, 2);
    grid->addWidget(m_notify, 5, 0, 1, 3);
    grid->setColumnStretch(3, 1);

    auto* prefixBox = new QGroupBox(tr("Префикс при воде номера напрямую, без адресной книги "));
    m_prefix = new QLineEdit();
    m_prefix->setObjectName(QStringLiteral("edit1003"));
    m_prefix->setMaximumWidth(100);
    auto* hint = new QLabel(tr("Префикс - это '8' + код вашей области, например,  для "
                               "Москвы 8495, для Санкт-Петербурга 8812"));
    hint->setWordWrap(true);
    auto* pl = new QGridLayout(prefixBox);
    pl->addWidget(new QLabel(tr("Префикс")), 0, 0);
    pl->addWidget(m_prefix, 0, 1);
    pl->addWidget(hint, 0, 2);
    pl->setColumnStretch(2, 1);

    auto* proxyBox = new QGroupBox(tr("Прокси-сервер"));
    auto edit = [](const char* name) {
        auto* e = new QLineEdit();
        e->setObjectName(QLatin1String(name));
        return e;
    };
    m_proxyHost = edit("editProxyHost");
    m_proxyHost->setPlaceholderText(tr("из переменных http_proxy и https_proxy"));
    m_proxyUser = edit("editProxyUser");
    m_proxyPassword = edit("editProxyPassword");
    m_proxyPassword->setEchoMode(QLineEdit::Password);
    auto* xl = new QGridLayout(proxyBox);
    xl->addWidget(new QLabel(tr("Адрес (имя:порт)")), 0, 0);
    xl->addWidget(m_proxyHost, 0, 1, 1, 3);
    xl->addWidget(new QLabel(tr("Пользователь")), 1, 0);
    xl->addWidget(m_proxyUser, 1, 1);
    xl->addWidget(new QLabel(tr("Пароль")), 1, 2);
    xl->addWidget(m_proxyPassword, 1, 3);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(tr("Сохранить"), QDialogButtonBox::AcceptRole);
    save->setObjectName(QStringLiteral("saveButton"));
    save->setDefault(true);
    QPushButton* cancel = buttons->addButton(tr("Отменить"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(printBox);
    lay->addWidget(desktopBox);
    lay->addWidget(viewerBox);
    lay->addWidget(listBox);
    lay->addWidget(prefixBox);
    lay->addWidget(proxyBox);
    lay->addWidget(buttons);
    setMinimumWidth(560);

    m_autoShow->setChecked(m_values.AutoShowOnPrint);
    m_notify->setChecked(m_values.NotifyOnSync);
    (m_values.UseOwnViewer ? m_ownViewer : m_standardViewer)->setChecked(true);
    m_confirmDelete->setChecked(m_values.ConfirmDeleteItem);
    m_clearNew->setChecked(m_values.ClearNewFaxSection);
    m_deleteSent->setChecked(m_values.DeleteSentAfterDays);
    m_sentDays->setValue(m_values.SentDeleteDays);
    m_deleteReceived->setChecked(m_values.DeleteReceivedAfterDays);
    m_receivedDays->setValue(m_values.ReceivedDeleteDays);
    m_prefix->setText(Q(m_values.DefaultAreaCode));
    m_proxyHost->setText(Q(m_values.ProxyHost));
    m_proxyUser->setText(Q(m_values.ProxyUser));
    m_proxyPassword->setText(Q(m_values.ProxyPassword));
    m_autoSync->setChecked(m_values.AutoSyncronize);
    m_autostart->setChecked(AutostartEnabled());
    m_syncMinutes->setValue(m_values.SyncronizationDelay);
    UpdateDayFields();
    connect(m_autoSync, &QCheckBox::toggled, this, &CSettingsDlg::UpdateDayFields);
    connect(m_deleteSent, &QCheckBox::toggled, this, &CSettingsDlg::UpdateDayFields);
    connect(m_deleteReceived, &QCheckBox::toggled, this, &CSettingsDlg::UpdateDayFields);
}

void CSettingsDlg::UpdateDayFields() {
    m_sentDays->setEnabled(m_deleteSent->isChecked());
    m_receivedDays->setEnabled(m_deleteReceived->isChecked());
    m_syncMinutes->setEnabled(m_autoSync->isChecked());
}

// Deleting sent faxes after 0 days deletes every one of them at the next start.
bool CSettingsDlg::ConfirmDeletingAllSent() {
    const bool allSent = m_deleteSent->isChecked() && m_sentDays->value() == 0;
    const bool already = m_values.DeleteSentAfterDays && m_values.SentDeleteDays == 0;
    if (!allSent || already) {
        return true;
    }
    const std::string_view text = LoadString(kMsgDeleteAllSentConfirm);
    const bool yes =
        m_prompt != nullptr
            ? m_prompt->Message(text, MsgIcon::Warning, MsgButtons::YesNo) == MsgAnswer::Yes
            : QMessageBox::warning(
                  this, windowTitle(),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    if (!yes) {
        m_sentDays->setFocus();
        m_sentDays->selectAll();
    }
    return yes;
}

bool CSettingsDlg::CheckProxyAddress() {
    const std::string address = m_proxyHost->text().trimmed().toStdString();
    if (address.empty() || IsProxyAddress(address)) {
        return true;
    }
    const QString text = tr("Адрес прокси-сервера пишется как имя:порт, например "
                            "proxy.office.local:3128 или [2001:db8::1]:8080.");
    if (m_prompt != nullptr) {
        m_prompt->Message(text.toStdString(), MsgIcon::Warning, MsgButtons::Ok);
    } else {
        QMessageBox::warning(this, windowTitle(), text);
    }
    m_proxyHost->setFocus();
    m_proxyHost->selectAll();
    return false;
}

void CSettingsDlg::accept() {
    m_sentDays->interpretText();
    m_receivedDays->interpretText();
    m_syncMinutes->interpretText();
    if (!CheckProxyAddress() || !ConfirmDeletingAllSent()) {
        return;
    }
    m_values.AutoShowOnPrint = m_autoShow->isChecked();
    m_values.NotifyOnSync = m_notify->isChecked();
    m_values.UseOwnViewer = m_ownViewer->isChecked();
    m_values.ConfirmDeleteItem = m_confirmDelete->isChecked();
    m_values.ClearNewFaxSection = m_clearNew->isChecked();
    m_values.DeleteSentAfterDays = m_deleteSent->isChecked();
    m_values.SentDeleteDays = m_sentDays->value();
    m_values.DeleteReceivedAfterDays = m_deleteReceived->isChecked();
    m_values.ReceivedDeleteDays = m_receivedDays->value();
    m_values.DefaultAreaCode = m_prefix->text().toStdString();
    m_values.ProxyHost = m_proxyHost->text().trimmed().toStdString();
    m_values.ProxyUser = m_proxyUser->text().toStdString();
    m_values.ProxyPassword = m_proxyPassword->text().toStdString();
    m_values.AutoSyncronize = m_autoSync->isChecked();
    // A stored interval outside the timer's range is kept unless the user changed it.
    if (m_syncMinutes->value() != std::clamp(m_values.SyncronizationDelay, CSyncTimer::kMinMinutes,
                                             CSyncTimer::kMaxMinutes)) {
        m_values.SyncronizationDelay = m_syncMinutes->value();
    }

    CSettings& s = Settings();
    s.AutoShowOnPrint = m_values.AutoShowOnPrint;
    s.NotifyOnSync = m_values.NotifyOnSync;
    s.UseOwnViewer = m_values.UseOwnViewer;
    s.ConfirmDeleteItem = m_values.ConfirmDeleteItem;
    s.ClearNewFaxSection = m_values.ClearNewFaxSection;
    s.DeleteSentAfterDays = m_values.DeleteSentAfterDays;
    s.SentDeleteDays = m_values.SentDeleteDays;
    s.DeleteReceivedAfterDays = m_values.DeleteReceivedAfterDays;
    s.ReceivedDeleteDays = m_values.ReceivedDeleteDays;
    s.DefaultAreaCode = m_values.DefaultAreaCode;
    s.ProxyHost = m_values.ProxyHost;
    s.ProxyUser = m_values.ProxyUser;
    s.ProxyPassword = m_values.ProxyPassword;
    s.AutoSyncronize = m_values.AutoSyncronize;
    s.SyncronizationDelay = m_values.SyncronizationDelay;
    s.DeleteE2FConf = m_values.DeleteE2FConf;
    s.DeleteF2EConf = m_values.DeleteF2EConf;
    s.SMTPAddress = m_values.SMTPAddress;
    s.SMTPMailFrom = m_values.SMTPMailFrom;
    s.UseSMAPI = m_values.UseSMAPI;
    if (m_autostart->isChecked() != AutostartEnabled()) {
        QString error;
        if (!SetAutostart(m_autostart->isChecked(), QCoreApplication::applicationFilePath(),
                          error)) {
            if (m_prompt != nullptr) {
                m_prompt->FileError(error.toStdString());
            } else {
                QMessageBox::warning(this, windowTitle(), error);
            }
        }
    }
    // The new values hold for this session even when the file cannot take them.
    if (m_prompt != nullptr) {
        SaveSettings(*m_prompt);
    } else {
        SaveSettings();
    }
    QDialog::accept();
}
