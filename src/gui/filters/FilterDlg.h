#pragma once
// The filter dialog of a fax list: everything, the last N days, or after a date.
#include "filters/ListFilter.h"

#include <QDialog>

class QDateEdit;
class QRadioButton;
class QSpinBox;

class CFilterDlg : public QDialog {
    Q_OBJECT
public:
    // Works on a copy of `filter`.
    explicit CFilterDlg(const CListFilter& filter, QWidget* parent = nullptr);
    const CListFilter& Filter() const { return m_filter; }
    void accept() override;

private:
    CListFilter m_filter;
    QRadioButton* m_all;
    QRadioButton* m_lastDays;
    QRadioButton* m_after;
    QSpinBox* m_days;
    QDateEdit* m_date;
};
