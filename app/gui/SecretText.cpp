#include "app/gui/SecretText.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BPasswordGeneratorDialog.h"

#include <QLineEdit>

QString takeSecretText(QLineEdit* edit)
{
    QString text = edit->text();
    // setText(), unlike clear(), does not record the removal as an undoable
    // edit, so no step of the undo history keeps the characters.
    edit->setText(QString());
    return text;
}

void fillFromPasswordGenerator(QWidget* parent, QLineEdit* password, QLineEdit* repeat)
{
    BPasswordGeneratorDialog dialog(parent);
    if (execDialog(parent, &dialog) != QDialog::Accepted)
        return;
    QString generated = dialog.password();
    if (!generated.isEmpty()) {
        password->setText(generated);
        repeat->setText(generated);
    }
    wipe(generated);
}
