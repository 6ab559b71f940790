#pragma once
// The options dialog: works on copies of the settings and writes them back, and saves all
// settings, only with "Сохранить".
#include <QDialog>
#include <cstdint>
#include <string>

class IPrompt;
class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // A settings file that cannot be written is reported through `prompt` when there is one.
    explicit CSettingsDlg(QWidget* parent = nullptr, IPrompt* prompt = nullptr);

    // The values the dialog works on.
    struct Values {
        bool AutoShowOnPrint = false;
        bool NotifyOnSync = true;
        bool UseOwnViewer = false;
        bool ConfirmDeleteItem = false;
        bool ClearNewFaxSection = false;
        bool DeleteSentAfterDays = false;
        std::int32_t SentDeleteDays = 0;
        bool DeleteReceivedAfterDays = false;
        std::int32_t ReceivedDeleteDays = 0;
        std::string DefaultAreaCode;
        std::string ProxyHost; // "" or "host:port"
        std::string ProxyUser;
        std::string ProxyPassword;
        // Carried through unchanged.
        bool AutoSyncronize = false;
        std::int32_t SyncronizationDelay = 10;
        bool DeleteE2FConf = false;
        bool DeleteF2EConf = false;
        std::string SMTPAddress;
        std::string SMTPMailFrom;
        bool UseSMAPI = false;
    };
    const Values& Data() const { return m_values; }

    void accept() override;

    static constexpr unsigned kMsgDeleteAllSentConfirm = 9330;

private:
    void UpdateDayFields();
    // False when the user keeps the dialog open instead.
    bool ConfirmDeletingAllSent();
    // False, with the field focused, when the proxy's address is neither empty nor host:port.
    bool CheckProxyAddress();
    Values m_values;
    IPrompt* m_prompt = nullptr;
    QCheckBox* m_autoShow;
    QCheckBox* m_notify;
    QRadioButton* m_standardViewer;
    QRadioButton* m_ownViewer;
    QCheckBox* m_confirmDelete;
    QCheckBox* m_clearNew;
    QCheckBox* m_deleteSent;
    QSpinBox* m_sentDays;
    QCheckBox* m_deleteReceived;
    QSpinBox* m_receivedDays;
    QLineEdit* m_prefix;
    QLineEdit* m_proxyHost;
    QLineEdit* m_proxyUser;
    QLineEdit* m_proxyPassword;
    QCheckBox* m_autoSync;
    QCheckBox* m_autostart;
    QSpinBox* m_syncMinutes;
};
