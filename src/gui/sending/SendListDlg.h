#pragma once
// The mass fax from a phone list: CSendListDlg (one document, one submission
// with a number list) and CEditListDlg (the recipient list it edits).
#include "gui/sending/SendDlgBase.h"
#include "sending/SendListJob.h"

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class CEditListDlg : public QDialog {
    Q_OBJECT
public:
    // Edits a copy of `lines`; "Закрыть" hands the result back, any other way out
    // leaves `lines` as they were.
    CEditListDlg(std::vector<std::string>& lines, IPrompt& prompt, QWidget* parent = nullptr);

    void OnAdd();
    void OnDelete();
    void OnDeleteAll();
    void OnAddressBook();
    void OnFile();
    void accept() override;

    QListWidget* List() const { return m_list; }

private:
    void Refill(int select);
    // Reads the list on a worker while the window shows progress and offers "Прервать".
    void ReadOffGuiThread(CPhoneListRead& read);

    std::vector<std::string>& m_caller;
    std::vector<std::string> m_lines;
    CEditList m_edit;
    QListWidget* m_list;
    QLineEdit* m_number;
};

class CSendListDlg : public CSendDlgBase {
    Q_OBJECT
public:
    CSendListDlg(std::string imagePath, std::string imageName, std::int32_t pages, IPrompt& prompt,
                 ISentRecords& records, QWidget* parent = nullptr);

    CSendListJob& Job() { return *m_job; }

    // A mailing prepared before the dialog shows: its recipient lines and name.
    void Prefill(std::vector<std::string> lines, const std::string& name);
    void OnEdit();
    void OnDone() override;
    void OnSend() override;

protected:
    CSendJobBase& BaseJob() override { return *m_job; }
    void LoadOwn() override;
    void StoreOwn() override;
    void EnableOwn(bool idle) override;
    bool DoneAllowed() override { return m_job->DoneEnabled(); }

private:
    std::unique_ptr<CSendListJob> m_job;
    IPrompt& m_prompt;
    CSubmitResult m_result;

    QLineEdit* m_count;
    QCheckBox* m_notifyFailure;
    QCheckBox* m_notifySuccess;
    QLineEdit* m_listName;
    QPushButton* m_edit;
};
