#include "app/gui/SecretText.h"

#include <QLineEdit>

QString takeSecretText(QLineEdit* edit)
{
    QString text = edit->text();
    // setText(), unlike clear(), does not record the removal as an undoable
    // edit, so no step of the undo history keeps the characters.
    edit->setText(QString());
    return text;
}
