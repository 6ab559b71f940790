#include "gui/filters/FilterDlg.h"

#include <QDateEdit>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

CFilterDlg::CFilterDlg(const CListFilter& filter, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("filterDlg"));
    setWindowTitle(tr("Фильтр для просмотра списка"));
    m_filter.SetFilter(filter.Kind(), 0);
    std::int32_t kind = 0, datum = 0;
    filter.GetFilter(kind, datum);
    m_filter.SetFilter(kind, datum);

    auto* intro = new QLabel(
        tr("Выберите тип фильтра, который будет применяться при показе элементов списка"));
    intro->setWordWrap(true);
    auto* box = new QGroupBox(tr("Тип фильтра"));
    m_all = new QRadioButton(tr("Показывать все факсы"));
    m_all->setObjectName(QStringLiteral("filterAll"));
    m_lastDays = new QRadioButton(tr("Показывать факсы за последние "));
    m_lastDays->setObjectName(QStringLiteral("filterLastDays"));
    m_after = new QRadioButton(tr("Показывать факсы после "));
    m_after->setObjectName(QStringLiteral("filterAfter"));
    m_days = new QSpinBox();
    m_days->setObjectName(QStringLiteral("filterDays"));
    m_days->setRange(0, 9999);
    m_date = new QDateEdit();
    m_date->setObjectName(QStringLiteral("filterDate"));
    m_date->setCalendarPopup(true);
    auto* grid = new QGridLayout(box);
    grid->addWidget(m_all, 0, 0, 1, 3);
    grid->addWidget(m_lastDays, 1, 0);
    grid->addWidget(m_days, 1, 1);
    grid->addWidget(new QLabel(tr("дней")), 1, 2);
    grid->addWidget(m_after, 2, 0);
    grid->addWidget(m_date, 2, 1, 1, 2);
    grid->setColumnStretch(3, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)
        ->setObjectName(QStringLiteral("okButton"));
    buttons->addButton(tr("Отмена"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(intro);
    lay->addWidget(box);
    lay->addWidget(buttons);

    switch (kind) {
    case CListFilter::kLastDays:
        m_lastDays->setChecked(true);
        break;
    case CListFilter::kAfterDate:
        m_after->setChecked(true);
        break;
    default:
        m_all->setChecked(true);
        break;
    }
    m_days->setValue(kind == CListFilter::kLastDays ? datum : 5);
    m_date->setDate(kind == CListFilter::kAfterDate
                        ? QDateTime::fromSecsSinceEpoch(static_cast<std::uint32_t>(datum)).date()
                        : QDate::currentDate());
}

void CFilterDlg::accept() {
    m_days->interpretText();
    // The picked day ends at 23:59:59 local time: entries from the next day on pass.
    const std::int64_t dayStart = QDateTime(m_date->date(), QTime(12, 0)).toSecsSinceEpoch();
    const std::int64_t end = LocalEndOfDay(dayStart);
    if (m_lastDays->isChecked()) {
        m_filter.SetFilter(CListFilter::kLastDays, m_days->value());
    } else if (m_after->isChecked()) {
        m_filter.SetFilter(CListFilter::kAfterDate, static_cast<std::int32_t>(end));
    } else {
        m_filter.SetFilter(CListFilter::kAll, 0);
    }
    QDialog::accept();
}
