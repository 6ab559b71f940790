#pragma once
// What the three send dialogs share on Qt: the account, attempts, delay and send time
// controls bound to a CSendJobBase, the "Готово" / "Отправить" / "Отменить" buttons, and the
// post on its own thread while the dialog stays modal and busy.
#include "sending/SendJob.h"

#include <QDialog>
#include <functional>
#include <initializer_list>
#include <thread>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QToolButton;

class CSendDlgBase : public QDialog {
    Q_OBJECT
public:
    explicit CSendDlgBase(QWidget* parent);
    ~CSendDlgBase() override;

    // True while a post is under way.
    bool Busy() const { return m_busy; }
    void reject() override;

    virtual void OnDone() = 0;
    virtual void OnSend() = 0;

Q_SIGNALS:
    // The post came back and its reply was applied.
    void SendFinished();

protected:
    virtual CSendJobBase& BaseJob() = 0;
    // The dialog's own fields, after the shared ones.
    virtual void LoadOwn() {}
    virtual void StoreOwn() {}
    virtual void EnableOwn(bool idle) { (void)idle; }
    virtual bool DoneAllowed() { return true; }

    QGroupBox* AccountBox();
    QGroupBox* DeliveryBox(const QString& title);
    QHBoxLayout* ButtonRow();
    // The dialog opens with the cursor in `first` (the recipients), and Tab goes through
    // `own` before the account and delivery fields made by this base.
    void FocusFirst(QWidget* first, std::initializer_list<QWidget*> own);
    // Connects the shared controls; call once the job is open.
    void Bind();

    void LoadControls();
    void StoreControls();
    void UpdateButtons();
    void Changed();
    // Runs `post` on a thread, then `finish` on the GUI thread; the dialog is busy between.
    void PostInBackground(std::function<void()> post, std::function<void()> finish);

    QLineEdit* m_attempts;
    QToolButton* m_attemptsUp;
    QToolButton* m_attemptsDown;
    QCheckBox* m_remember;
    QLineEdit* m_delay;
    QToolButton* m_delayUp;
    QToolButton* m_delayDown;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QDateEdit* m_date;
    QTimeEdit* m_time;
    QRadioButton* m_atOnce;
    QRadioButton* m_atTime;
    QPushButton* m_done;
    QPushButton* m_send;
    QPushButton* m_cancel;
    bool m_loading = false;

private:
    void OnSpin(QToolButton* button);

    std::thread m_post;
    bool m_busy = false;
};
