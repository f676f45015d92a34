#ifndef TERMINALSCRIPTUSERINTERFACE_H
#define TERMINALSCRIPTUSERINTERFACE_H

#include "app/plugin/ScriptUserInterface.h"

#include <QCoreApplication>

class PasswordPrompt;
class QIODevice;

// How a loader script run by the command-line client reaches the user:
// alerts go to standard error; questions are asked there and answered on
// standard input only when it is a terminal (`interactive`), passwords
// through the client's password prompt without echo. Otherwise every
// question is refused: no, cancel, no text.
class TerminalScriptUserInterface : public ScriptUserInterface
{
    Q_DECLARE_TR_FUNCTIONS(TerminalScriptUserInterface)

public:
    // None of the devices is owned; `prompt` may be null.
    TerminalScriptUserInterface(QIODevice* input, QIODevice* error, PasswordPrompt* prompt, bool interactive);

    void info(const QString& title, const QString& text) override;
    void warning(const QString& title, const QString& text) override;
    void error(const QString& title, const QString& text) override;
    bool yesNo(const QString& title, const QString& text, const QString& yesText, const QString& noText) override;
    bool yesNoWarning(const QString& title, const QString& text, const QString& yesText,
                      const QString& noText) override;
    SaveDiscardCancelAnswer saveDiscardCancel(const QString& title, const QString& text) override;
    bool text(const QString& title, const QString& label, QString& answer) override;
    bool password(QString& answer) override;

private:
    void write(const QString& text);
    // One line typed at the terminal, without its line break; false when
    // not interactive or at the end of input.
    bool readLine(QString& line);
    bool askYesNo(const QString& kind, const QString& title, const QString& text, const QString& yesText,
                  const QString& noText);

    QIODevice* m_input;
    QIODevice* m_error;
    PasswordPrompt* m_prompt;
    bool m_interactive;
};

#endif // TERMINALSCRIPTUSERINTERFACE_H
