#include "blib/app/BCalendarDialog.h"

#include "ui_CalendarDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"

#include <QSignalBlocker>

BCalendarDialog::BCalendarDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::CalendarDialog)
    , m_date(QDate::currentDate())
{
    initResources();
    ui->setupUi(this);
    centreOnParent(this);
    connect(ui->calendarWidget, &QCalendarWidget::selectionChanged,
            this, &BCalendarDialog::calendarWidgetSelectionChanged);
    connect(ui->calendarWidget, &QCalendarWidget::clicked, this, &BCalendarDialog::calendarWidgetClicked);
}

BCalendarDialog::~BCalendarDialog()
{
    delete ui;
}

void BCalendarDialog::setDate(const QDate& date)
{
    m_date = date;
    // Selecting the date from here must not count as the user's choice.
    const QSignalBlocker blocker(ui->calendarWidget);
    ui->calendarWidget->setSelectedDate(date);
    ui->calendarWidget->setCurrentPage(date.year(), date.month());
}

void BCalendarDialog::calendarWidgetSelectionChanged()
{
    m_date = ui->calendarWidget->selectedDate();
    accept();
}

void BCalendarDialog::calendarWidgetClicked(const QDate&)
{
    m_date = ui->calendarWidget->selectedDate();
    accept();
}
