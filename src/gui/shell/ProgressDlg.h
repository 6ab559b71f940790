#pragma once
// A progress window with "Прервать", shown without a nested event loop; the owner takes no
// input while it exists.
#include "store/StatusSync.h"

#include <QDialog>

class QProgressBar;

class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CProgressDlg(QWidget* owner, unsigned captionId = 113);
    void SetRange(int lower, int upper);
    void SetStep(int step) { m_step = step; }
    void SetPos(int pos);
    int Pos() const;
    void StepIt();
    // Shows the window over the disabled owner.
    void Create();
    // Closes it and enables the owner again.
    void Destroy();
    // True once after "Прервать" was pressed (reading clears it).
    bool CheckCancelButton();
    QProgressBar* Bar() const { return m_bar; }

protected:
    void reject() override;

private:
    QWidget* m_owner;
    QProgressBar* m_bar;
    int m_step = 10;
    bool m_cancel = false;
};

// The progress window of Synchronise: created on Open, handles pending events before each step.
class CSyncProgress : public ISyncProgress {
public:
    explicit CSyncProgress(QWidget* owner) : m_owner(owner) {}
    ~CSyncProgress() override;
    void Open(int upper) override;
    void Step() override;
    bool Cancelled() override;
    void Close() override;
    CProgressDlg* Dialog() const { return m_dlg; }

private:
    QWidget* m_owner;
    CProgressDlg* m_dlg = nullptr;
};
