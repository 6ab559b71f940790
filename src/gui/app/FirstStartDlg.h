#pragma once
// The first start on a machine without settings: the account, the service, the folders
// (proposed under the XDG data folder) and automatic delivery checks, written as the settings
// key. velquin-tool setup does the same for scripts.
#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

class IPrompt;
class QCheckBox;
class QLineEdit;
class QSpinBox;

class CFirstStartDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFirstStartDlg(IPrompt& prompt, QWidget* parent = nullptr);

    // After Accepted: what the settings file does not keep or the loaded settings take.
    std::optional<std::string> SessionPassword() const { return m_sessionPassword; }
    bool AutoSync() const;
    std::int32_t SyncMinutes() const;

    void accept() override;

private:
    IPrompt& m_prompt;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QLineEdit* m_apiHost;
    QLineEdit* m_webHost;
    QLineEdit* m_faxDir;
    QLineEdit* m_dataDir;
    QCheckBox* m_autoSync;
    QSpinBox* m_syncMinutes;
    std::optional<std::string> m_sessionPassword;
};
