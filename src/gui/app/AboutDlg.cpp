#include "gui/app/AboutDlg.h"

#include "gui/shell/Commands.h"
#include "platform/SysInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

// --- fader -----------------------------------------------------------------------------------

CFader::CFader(QWidget* window, int stepIn, int stepOut, int intervalMs)
    : QObject(window), m_window(window), m_stepIn(stepIn), m_stepOut(stepOut) {
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &CFader::Tick);
}

bool CFader::Available() {
    // Offscreen and minimal platforms have no window opacity.
    const QString p = QGuiApplication::platformName();
    return p != QLatin1String("offscreen") && p != QLatin1String("minimal");
}

void CFader::FadeIn() {
    m_in = true;
    m_alpha = 0;
    m_window->setWindowOpacity(0.0);
    m_timer.start();
}

void CFader::FadeOut() {
    m_in = false;
    m_alpha = 255;
    m_window->setWindowOpacity(1.0);
    m_timer.start();
}

void CFader::Tick() {
    if (m_in) {
        m_alpha += m_stepIn;
        if (m_alpha > 255) {
            m_alpha = 255;
            m_timer.stop();
        }
    } else {
        m_alpha -= m_stepOut;
        if (m_alpha < 1) {
            m_alpha = 0;
            m_timer.stop();
        }
    }
    m_window->setWindowOpacity(m_alpha / 255.0);
    if (!m_timer.isActive()) {
        m_window->setWindowOpacity(1.0); // the end of either fade leaves the window opaque
        if (!m_in) {
            Q_EMIT FadedOut();
        }
    }
}

// --- About ----------------------------------------------------------------------------------

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_fader(this, 15, 25, 50) {
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(tr("О программе %1").arg(Str(ids::kProductName)));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/app.png")).pixmap(64, 64));
    auto* name = new QLabel(tr("<b style='font-size:14pt'>%1</b><br>Версия %2")
                                .arg(Str(ids::kProductName), QApplication::applicationVersion()),
                            this);
    auto* text = new QLabel(tr("Клиент Интернет-факса: отправка документов по факсу<br>"
                               "и контроль их доставки.<br><br>© Tarnwell"),
                            this);
    // The links point at the maker's site unless the program runs as the system account.
    const bool links = platform::CurrentUserName() != "SYSTEM";
    auto* link1 = new QLabel(this);
    link1->setObjectName(QStringLiteral("link1027"));
    auto* link2 = new QLabel(this);
    link2->setObjectName(QStringLiteral("link1028"));
    const QString site = QLatin1String(kSiteAddress);
    if (links) {
        link1->setText(QStringLiteral("<a href=\"%1\">www.velquin.net</a>").arg(site));
        link2->setText(tr("<a href=\"%1support/\">Служба поддержки</a>").arg(site));
    } else {
        link1->setText(QStringLiteral("www.velquin.net"));
        link2->setText(tr("Служба поддержки"));
    }
    // The frame opens the links, so that a browser that does not start is reported.
    for (QLabel* link : {link1, link2}) {
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(link, &QLabel::linkActivated, this, &CAboutDlg::LinkWanted);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* top = new QHBoxLayout();
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* col = new QVBoxLayout();
    col->addWidget(name);
    col->addWidget(text);
    col->addWidget(link1);
    col->addWidget(link2);
    top->addLayout(col, 1);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(buttons);
    connect(&m_fader, &CFader::FadedOut, this, [this] {
        const int r = m_pendingResult;
        m_pendingResult = -1;
        QDialog::done(r);
    });
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (CFader::Available()) {
        m_fader.FadeIn();
    }
}

void CAboutDlg::done(int result) {
    if (!CFader::Available() || m_pendingResult >= 0) {
        if (m_pendingResult < 0) {
            QDialog::done(result);
        }
        return;
    }
    m_pendingResult = result;
    m_fader.FadeOut();
}

// --- old mail client ----------------------------------------------------------------------------

CBatVersionNotOKDlg::CBatVersionNotOKDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("batVersionDlg"));
    setWindowTitle(Str(ids::kProductName));
    auto* t1 = new QLabel(tr("Вы пользуетесь почтовым клиентом The BAT! версии ниже 1.60 !\n"
                             "Версии The BAT! ниже 1.60 некорректно поддерживают работу с "
                             "Simple MAPI."),
                          this);
    auto* t2 = new QLabel(tr("Для того, чтобы обеспечить корректную работу Simple "
                             "MAPI обновите вашу инсталляцию The BAT! до версии не "
                             "ниже 1.60"),
                          this);
    t1->setWordWrap(true);
    t2->setWordWrap(true);
    m_check = new QCheckBox(tr("Больше не показывать это сообщение"), this);
    m_check->setObjectName(QStringLiteral("check1018"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(t1);
    lay->addWidget(t2);
    lay->addWidget(m_check);
    lay->addWidget(buttons);
    setMinimumWidth(460);
}

bool CBatVersionNotOKDlg::DontShowAgain() const {
    return m_check->isChecked();
}
