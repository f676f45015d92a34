#ifndef SECRETREADER_H
#define SECRETREADER_H

#include <QCoreApplication>
#include <QString>

class PasswordPrompt;
class QIODevice;

// Reads the passwords of the command-line client: a line of standard input,
// or an answer typed at the terminal prompt. Every password must be valid
// UTF-8; the bytes read are wiped. Failures are written to `error`.
class SecretReader
{
    Q_DECLARE_TR_FUNCTIONS(SecretReader)

public:
    // None of the devices is owned; `prompt` may be null (no terminal).
    SecretReader(QIODevice* input, QIODevice* error, PasswordPrompt* prompt);

    // True when standard input is a terminal rather than a pipe or file.
    bool inputIsTerminal() const;
    // The next line of standard input (fromInput) or the prompt's answer.
    bool read(bool fromInput, const QString& label, QString& secret);
    // A new password: refused with `emptyMessage` when empty, and asked a
    // second time (with `repeatLabel`) when typed at the terminal.
    bool readNew(bool fromInput, const QString& label, const QString& repeatLabel, const QString& emptyMessage,
                 QString& secret);

private:
    void fail(const QString& message);

    QIODevice* m_input;
    QIODevice* m_error;
    PasswordPrompt* m_prompt;
};

#endif // SECRETREADER_H
