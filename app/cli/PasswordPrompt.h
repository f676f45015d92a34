#ifndef PASSWORDPROMPT_H
#define PASSWORDPROMPT_H

#include <QByteArray>
#include <QString>

// Asks the user for a secret. The command-line client asks through this
// interface so that the terminal can be replaced in tests.
class PasswordPrompt
{
public:
    virtual ~PasswordPrompt() = default;

    // Shows `label` and reads one line without echo, as the bytes typed
    // (the caller decodes them and wipes them). `ok` is false when no answer
    // could be read (no terminal, end of input).
    virtual QByteArray ask(const QString& label, bool& ok) = 0;
};

#endif // PASSWORDPROMPT_H
