#ifndef SECRETTEXT_H
#define SECRETTEXT_H

#include <QString>

class QLineEdit;
class QWidget;

// Returns the text of a password field and empties the field, dropping its
// undo history with it. The returned text is then the only holder of the
// field's former storage, so wiping it (BWipe.h) wipes what the field held.
QString takeSecretText(QLineEdit* edit);

// Runs the password generator dialog over `parent` and, when it is accepted
// with a password, puts that password into both fields (a password and its
// repetition). The copy taken from the dialog is wiped.
void fillFromPasswordGenerator(QWidget* parent, QLineEdit* password, QLineEdit* repeat);

#endif // SECRETTEXT_H
