#include "gui/sending/SendDlgCommon.h"

#include "app/Settings.h"
#include "sending/PhoneNumbers.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace send_dlg {

namespace {
template <typename W> W* Named(W* w, int id) {
    w->setObjectName(QString::number(id));
    return w;
}
} // namespace

QLineEdit* MakeEdit(QWidget* parent, int id) {
    return Named(new QLineEdit(parent), id);
}

QLabel* MakeDialledLine(QWidget* parent, QLineEdit* number) {
    auto* line = new QLabel(parent);
    line->setObjectName(number->objectName() + QStringLiteral("_dialled"));
    auto show = [line](const QString& text) {
        std::string dialled;
        line->setText(NormalizeTypedNumber(text.toStdString(), Settings().DefaultAreaCode, dialled)
                          ? QCoreApplication::translate("send_dlg", "Будет набран номер %1")
                                .arg(QString::fromStdString(dialled))
                          : QString());
    };
    QObject::connect(number, &QLineEdit::textChanged, line, show);
    show(number->text());
    return line;
}

QPushButton* MakeButton(QWidget* parent, int id, const QString& text) {
    auto* b = Named(new QPushButton(text, parent), id);
    b->setAutoDefault(false);
    return b;
}

QCheckBox* MakeCheck(QWidget* parent, int id, const QString& text) {
    return Named(new QCheckBox(text, parent), id);
}

QRadioButton* MakeRadio(QWidget* parent, int id, const QString& text) {
    return Named(new QRadioButton(text, parent), id);
}

QDateEdit* MakeDate(QWidget* parent, int id) {
    auto* d = Named(new QDateEdit(parent), id);
    d->setCalendarPopup(true);
    d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    return d;
}

QTimeEdit* MakeTime(QWidget* parent, int id) {
    auto* t = Named(new QTimeEdit(parent), id);
    t->setDisplayFormat(QStringLiteral("HH:mm"));
    return t;
}

QWidget* MakeSpin(QWidget* parent, int id, QToolButton*& up, QToolButton*& down) {
    auto* box = new QWidget(parent);
    box->setObjectName(QString::number(id));
    auto* l = new QVBoxLayout(box);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    up = new QToolButton(box);
    up->setObjectName(QStringLiteral("%1_up").arg(id));
    up->setArrowType(Qt::UpArrow);
    down = new QToolButton(box);
    down->setObjectName(QStringLiteral("%1_down").arg(id));
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setFixedSize(18, 12);
        l->addWidget(b);
    }
    return box;
}

void SetPickers(QDateEdit* date, QTimeEdit* time, std::int64_t dateValue, std::int64_t timeValue) {
    date->setDate(QDateTime::fromSecsSinceEpoch(dateValue).date());
    time->setTime(QDateTime::fromSecsSinceEpoch(timeValue).time());
}

void ReadPickers(const QDateEdit* date, const QTimeEdit* time, std::int64_t& dateValue,
                 std::int64_t& timeValue) {
    dateValue = QDateTime(date->date(), QTime(0, 0)).toSecsSinceEpoch();
    // Only the hour and minute of the time picker count; today gives them a valid day.
    timeValue = QDateTime(QDate::currentDate(), QTime(time->time().hour(), time->time().minute()))
                    .toSecsSinceEpoch();
}

} // namespace send_dlg
