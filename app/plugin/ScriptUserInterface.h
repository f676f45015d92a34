#ifndef SCRIPTUSERINTERFACE_H
#define SCRIPTUSERINTERFACE_H

#include <QString>

// How loader scripts talk to the user (the script classes Alert and Prompt).
// The program shows message boxes and input dialogs; the command-line client
// writes to standard error and asks at the terminal. Without an interface
// installed, alerts are dropped and every prompt is refused.
class ScriptUserInterface
{
public:
    // The answers of saveDiscardCancel(), as the script constants give them.
    enum SaveDiscardCancelAnswer { Discard = 0, Save = 1, Cancel = 2 };

    virtual ~ScriptUserInterface() = default;

    virtual void info(const QString& title, const QString& text) = 0;
    virtual void warning(const QString& title, const QString& text) = 0;
    virtual void error(const QString& title, const QString& text) = 0;
    // True when the yes answer was chosen. yesNo() has the no answer as its
    // default; yesNoWarning() warns and has no default.
    virtual bool yesNo(const QString& title, const QString& text, const QString& yesText,
                       const QString& noText) = 0;
    virtual bool yesNoWarning(const QString& title, const QString& text, const QString& yesText,
                              const QString& noText) = 0;
    virtual SaveDiscardCancelAnswer saveDiscardCancel(const QString& title, const QString& text) = 0;
    // A line of text; false when cancelled or refused.
    virtual bool text(const QString& title, const QString& label, QString& answer) = 0;
    // A secret typed without echo; false when cancelled or refused. The
    // caller wipes the answer.
    virtual bool password(QString& answer) = 0;

    // The interface scripts use (not owned); null when none is installed.
    static ScriptUserInterface* current();
    static void setCurrent(ScriptUserInterface* userInterface);

    // Installs an interface for as long as it lives, then puts the previous
    // one back.
    class Installation
    {
    public:
        explicit Installation(ScriptUserInterface* userInterface)
            : m_previous(current())
        {
            setCurrent(userInterface);
        }
        ~Installation() { setCurrent(m_previous); }
        Installation(const Installation&) = delete;
        Installation& operator=(const Installation&) = delete;

    private:
        ScriptUserInterface* m_previous;
    };
};

#endif // SCRIPTUSERINTERFACE_H
