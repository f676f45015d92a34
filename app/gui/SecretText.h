#ifndef SECRETTEXT_H
#define SECRETTEXT_H

#include <QString>

class QLineEdit;

// Returns the text of a password field and empties the field, dropping its
// undo history with it. The returned text is then the only holder of the
// field's former storage, so wiping it (BWipe.h) wipes what the field held.
QString takeSecretText(QLineEdit* edit);

#endif // SECRETTEXT_H
