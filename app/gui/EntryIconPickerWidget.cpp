#include "app/gui/EntryIconPickerWidget.h"

#include "ui_EntryIconPickerWidget.h"

#include "app/gui/EntryIcon.h"

#include <QSet>

EntryIconPickerWidget::EntryIconPickerWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::EntryIconPickerWidget)
{
    ui->setupUi(this);
    // An id offered by two packs is shown once, with the earlier pack's
    // image: that is the image the tree and table draw for it.
    const QList<EntryIcon> icons = allEntryIcons();
    QSet<QString> shown;
    for (const EntryIcon& icon : icons) {
        if (shown.contains(icon.id))
            continue;
        shown.insert(icon.id);
        ui->comboBox->addItem(icon.icon, QString(), icon.id);
    }
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
