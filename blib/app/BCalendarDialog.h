#ifndef BCALENDARDIALOG_H
#define BCALENDARDIALOG_H

#include <QDate>
#include <QDialog>

namespace Ui {
class CalendarDialog;
}

// Picks one date: choosing a day in the calendar, by click or by moving the
// selection with the keyboard, stores it and accepts the dialog at once.
class BCalendarDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BCalendarDialog(QWidget* parent = nullptr);
    ~BCalendarDialog() override;

    // Selects `date` and scrolls to it without ending the dialog.
    void setDate(const QDate& date);
    QDate date() const { return m_date; }

private slots:
    void calendarWidgetSelectionChanged();
    void calendarWidgetClicked(const QDate& date);

private:
    Ui::CalendarDialog* ui;
    QDate m_date;
};

#endif // BCALENDARDIALOG_H
