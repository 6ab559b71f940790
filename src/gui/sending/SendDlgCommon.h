#pragma once
// Widgets of the send dialogs, each named by its control id so tests and scripts find it.
#include <QString>
#include <cstdint>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QToolButton;
class QWidget;

namespace send_dlg {

QLineEdit* MakeEdit(QWidget* parent, int id);
// A line under a number field named "<id>" that shows, as one types, the number that will be
// dialled (completed, a leading "+" as "810"); empty while the number is too short. Named
// "<id>_dialled".
QLabel* MakeDialledLine(QWidget* parent, QLineEdit* number);
QPushButton* MakeButton(QWidget* parent, int id, const QString& text);
QCheckBox* MakeCheck(QWidget* parent, int id, const QString& text);
QRadioButton* MakeRadio(QWidget* parent, int id, const QString& text);
QDateEdit* MakeDate(QWidget* parent, int id);
QTimeEdit* MakeTime(QWidget* parent, int id);
// An up-down pair named "<id>_up" and "<id>_down" in a box named "<id>".
QWidget* MakeSpin(QWidget* parent, int id, QToolButton*& up, QToolButton*& down);

// The pickers show local date and time of seconds since 1970, and give them back.
void SetPickers(QDateEdit* date, QTimeEdit* time, std::int64_t dateValue, std::int64_t timeValue);
void ReadPickers(const QDateEdit* date, const QTimeEdit* time, std::int64_t& dateValue,
                 std::int64_t& timeValue);

} // namespace send_dlg
