#pragma once
// The personalised mass fax: one print run cut into one fax per recipient of a
// recipient file.
#include "gui/sending/SendDlgBase.h"
#include "sending/SendPersonalJob.h"

#include <memory>
#include <vector>

class QLabel;
class CDocPreview;
class QLineEdit;
class QPushButton;
class QToolButton;

class CSendPersonalListDlg : public CSendDlgBase {
    Q_OBJECT
public:
    CSendPersonalListDlg(std::string printRunPath, IPrompt& prompt, ISentRecords& records,
                         QWidget* parent = nullptr);

    CSendPersonalJob& Job() { return *m_job; }
    // A run prepared before the dialog shows: its recipient file, pages each and name.
    void Prefill(const std::string& recipientFile, std::int32_t pagesPerRecipient,
                 const std::string& name);

    void OnDone() override;
    void OnSend() override;

protected:
    CSendJobBase& BaseJob() override { return *m_job; }
    void LoadOwn() override;
    void StoreOwn() override;
    void EnableOwn(bool idle) override;

private:
    void OnPagesSpin(int delta);

    std::unique_ptr<CSendPersonalJob> m_job;
    CSendPersonalJob::CPersonalPosting m_posting;
    std::vector<CSubmitResult> m_results;

    CDocPreview* m_preview = nullptr;
    QLineEdit* m_listName;
    QLineEdit* m_recipientFile;
    QPushButton* m_browse;
    QLineEdit* m_pages;
    QToolButton* m_pagesUp;
    QToolButton* m_pagesDown;
    QLabel* m_progress;
};
