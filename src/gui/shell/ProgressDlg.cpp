#include "gui/shell/ProgressDlg.h"

#include "gui/shell/Commands.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CProgressDlg::CProgressDlg(QWidget* owner, unsigned captionId)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint), m_owner(owner) {
    setObjectName(QStringLiteral("progressDlg"));
    setWindowTitle(Str(captionId));
    setModal(false);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setMinimumWidth(320);
    auto* cancel = new QPushButton(tr("Прервать"), this);
    cancel->setObjectName(QStringLiteral("progressCancel"));
    connect(cancel, &QPushButton::clicked, this, [this] { m_cancel = true; });
    auto* row = new QHBoxLayout();
    row->addStretch();
    row->addWidget(cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_bar);
    lay->addLayout(row);
}

void CProgressDlg::SetRange(int lower, int upper) {
    m_bar->setRange(lower, std::max(lower, upper));
}

void CProgressDlg::SetPos(int pos) {
    m_bar->setValue(pos);
}

int CProgressDlg::Pos() const {
    return m_bar->value();
}

void CProgressDlg::StepIt() {
    m_bar->setValue(std::min(m_bar->maximum(), m_bar->value() + m_step));
}

void CProgressDlg::Create() {
    // Window-modal: the owner takes no input while the window exists.
    setWindowModality(Qt::WindowModal);
    show();
}

void CProgressDlg::Destroy() {
    // The window it held takes the keyboard back (F5 again) also where no window manager
    // hands the activation back to it.
    const bool wasActive = isActiveWindow();
    hide();
    if (wasActive && parentWidget() != nullptr) {
        parentWidget()->activateWindow();
    }
}

bool CProgressDlg::CheckCancelButton() {
    const bool c = m_cancel;
    m_cancel = false;
    return c;
}

void CProgressDlg::reject() {
    m_cancel = true; // Escape asks to stop, like the button
}

CSyncProgress::~CSyncProgress() {
    Close();
}

void CSyncProgress::Open(int upper) {
    m_dlg = new CProgressDlg(m_owner);
    m_dlg->SetRange(0, upper);
    m_dlg->SetStep(1);
    m_dlg->SetPos(0);
    m_dlg->Create();
}

void CSyncProgress::Step() {
    QCoreApplication::processEvents();
    if (m_dlg != nullptr) {
        m_dlg->StepIt();
    }
}

bool CSyncProgress::Cancelled() {
    return m_dlg != nullptr && m_dlg->CheckCancelButton();
}

void CSyncProgress::Close() {
    if (m_dlg != nullptr) {
        m_dlg->Destroy();
        m_dlg->deleteLater();
        m_dlg = nullptr;
    }
}
