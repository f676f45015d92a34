#include "app/gui/EntryIconPickerWidget.h"

#include "ui_EntryIconPickerWidget.h"

#include "app/gui/EntryIcon.h"

EntryIconPickerWidget::EntryIconPickerWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::EntryIconPickerWidget)
{
    ui->setupUi(this);
    const QList<EntryIcon> icons = allEntryIcons();
    for (const EntryIcon& icon : icons)
        ui->comboBox->addItem(icon.icon, QString(), icon.id);
}

EntryIconPickerWidget::~EntryIconPickerWidget()
{
    delete ui;
}

QString EntryIconPickerWidget::currentIconId() const
{
    return ui->comboBox->currentData(Qt::UserRole).toString();
}

void EntryIconPickerWidget::setCurrentIconId(const QString& id)
{
    // A group or password without an icon chooses nothing.
    if (id.isEmpty())
        return;
    for (int i = 0; i < ui->comboBox->count(); ++i) {
        if (ui->comboBox->itemData(i, Qt::UserRole).toString() == id) {
            ui->comboBox->setCurrentIndex(i);
            return;
        }
    }
}
