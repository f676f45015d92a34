#include "app/gui/GroupEditDialog.h"

#include "ui_GroupEditDialog.h"

#include "app/gui/EntryIcon.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"

GroupEditDialog::GroupEditDialog(QWidget* parent, bool newGroup)
    : QDialog(parent)
    , ui(new Ui::GroupEditDialog)
    , m_newGroup(newGroup)
{
    initResources();
    ui->setupUi(this);
    fixDialogHeight(this);
    centreOnParent(this);
}

GroupEditDialog::~GroupEditDialog()
{
    delete ui;
}

void GroupEditDialog::loadGroup(const PasswordDatabase::Group& group)
{
    m_group = group;
    {
        // The name rule runs once below, whether or not the text changes.
        const QSignalBlocker blocker(ui->nameEdit);
        ui->nameEdit->setText(group.getName());
    }
    connect(ui->nameEdit, &QLineEdit::textChanged, this, &GroupEditDialog::nameEditTextChanged,
            Qt::UniqueConnection);
    nameEditTextChanged(group.getName());
    ui->iconPickerWidget->setCurrentIconId(group.getIconId());
}

QJsonObject GroupEditDialog::editState() const
{
    return QJsonObject { { QStringLiteral("name"), ui->nameEdit->text() },
                         { QStringLiteral("iconId"), ui->iconPickerWidget->currentIconId() } };
}

void GroupEditDialog::restoreEditState(const QJsonObject& state)
{
    // The name first: in new mode it chooses an icon, which the saved choice
    // then replaces.
    ui->nameEdit->setText(state.value(QLatin1String("name")).toString());
    ui->iconPickerWidget->setCurrentIconId(state.value(QLatin1String("iconId")).toString());
}

void GroupEditDialog::nameEditTextChanged(const QString& text)
{
    // Renaming an existing group never changes its icon.
    if (m_newGroup) {
        EntryIcon icon = guessEntryIcon(text);
        if (icon.isNull())
            icon = defaultWebIcon();
        ui->iconPickerWidget->setCurrentIconId(icon.id);
    }

    if (!text.isEmpty())
        setWindowTitle(text);
    else
        setWindowTitle(m_newGroup ? tr("New Group") : tr("Unnamed Group"));
}

void GroupEditDialog::accept()
{
    const QString name = ui->nameEdit->text();
    if (name.isEmpty()) {
        showError(this, tr("Name Required"), tr("The group must have a name."));
        ui->nameEdit->setFocus();
        return;
    }
    m_group.setName(name);
    m_group.setIconId(ui->iconPickerWidget->currentIconId());
    QDialog::accept();
}
