#pragma once
// The single fax dialog: the widgets of CSendFaxJob, named by their control ids.
#include "gui/sending/SendDlgBase.h"
#include "sending/SendFaxJob.h"

#include <memory>

class QCheckBox;
class QLineEdit;
class QPushButton;

class CSendFaxDlg : public CSendDlgBase {
    Q_OBJECT
public:
    CSendFaxDlg(std::string imagePath, std::string imageName, std::string description,
                IPrompt& prompt, ISentRecords& records, QWidget* parent = nullptr);

    CSendFaxJob& Job() { return *m_job; }

    void OnDone() override;
    void OnSend() override;
    void OnPick();

protected:
    CSendJobBase& BaseJob() override { return *m_job; }
    void LoadOwn() override;
    void StoreOwn() override;
    void EnableOwn(bool idle) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<CSendFaxJob> m_job;
    CSubmitResult m_result;

    QLineEdit* m_number;
    QCheckBox* m_singlePages;
    QPushButton* m_pick;
    QPushButton* m_save;
};
