#include "app/cli/TerminalScriptUserInterface.h"

#include "app/cli/PasswordPrompt.h"
#include "app/cli/TerminalText.h"
#include "blib/crypto/BWipe.h"

#include <QIODevice>

TerminalScriptUserInterface::TerminalScriptUserInterface(QIODevice* input, QIODevice* error, PasswordPrompt* prompt,
                                                         bool interactive)
    : m_input(input)
    , m_error(error)
    , m_prompt(prompt)
    , m_interactive(interactive)
{
}

void TerminalScriptUserInterface::write(const QString& text)
{
    // What a plugin says may carry the imported file's control characters.
    if (m_error)
        m_error->write(TerminalText::block(text).toUtf8());
}

bool TerminalScriptUserInterface::readLine(QString& line)
{
    if (!m_interactive || !m_input)
        return false;
    // Blocks until a line is typed; nothing comes back at the end of input.
    QByteArray bytes = m_input->readLine();
    if (bytes.isEmpty())
        return false;
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromUtf8(bytes);
    wipe(bytes);
    return true;
}

void TerminalScriptUserInterface::info(const QString& title, const QString& text)
{
    write(tr("%1: %2\n").arg(title, text));
}

void TerminalScriptUserInterface::warning(const QString& title, const QString& text)
{
    write(tr("Warning: %1: %2\n").arg(title, text));
}

void TerminalScriptUserInterface::error(const QString& title, const QString& text)
{
    write(tr("Error: %1: %2\n").arg(title, text));
}

bool TerminalScriptUserInterface::askYesNo(const QString& kind, const QString& title, const QString& text,
                                           const QString& yesText, const QString& noText)
{
    write(QStringLiteral("%1%2\n%3\n").arg(kind, title, text));
    if (!m_interactive) {
        write(tr("(No terminal to answer at: \"%1\".)\n").arg(noText));
        return false;
    }
    write(tr("Type y for \"%1\" or n for \"%2\": ").arg(yesText, noText));
    QString answer;
    if (!readLine(answer))
        return false;
    answer = answer.trimmed();
    return answer.compare(QLatin1String("y"), Qt::CaseInsensitive) == 0
        || answer.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0
        || (!yesText.isEmpty() && answer.compare(yesText, Qt::CaseInsensitive) == 0);
}

bool TerminalScriptUserInterface::yesNo(const QString& title, const QString& text, const QString& yesText,
                                        const QString& noText)
{
    return askYesNo(QString(), title, text, yesText, noText);
}

bool TerminalScriptUserInterface::yesNoWarning(const QString& title, const QString& text, const QString& yesText,
                                               const QString& noText)
{
    return askYesNo(tr("Warning: "), title, text, yesText, noText);
}

ScriptUserInterface::SaveDiscardCancelAnswer TerminalScriptUserInterface::saveDiscardCancel(const QString& title,
                                                                                           const QString& text)
{
    write(QStringLiteral("%1\n%2\n").arg(title, text));
    if (!m_interactive) {
        write(tr("(No terminal to answer at: cancelled.)\n"));
        return Cancel;
    }
    write(tr("Type s to save, d to discard or c to cancel: "));
    QString answer;
    if (!readLine(answer))
        return Cancel;
    answer = answer.trimmed().toLower();
    if (answer == QLatin1String("s") || answer == QLatin1String("save"))
        return Save;
    if (answer == QLatin1String("d") || answer == QLatin1String("discard"))
        return Discard;
    return Cancel;
}

bool TerminalScriptUserInterface::text(const QString& title, const QString& label, QString& answer)
{
    write(QStringLiteral("%1\n").arg(title));
    if (!m_interactive) {
        write(tr("(No terminal to answer at: cancelled.)\n"));
        return false;
    }
    write(QStringLiteral("%1 ").arg(label));
    return readLine(answer);
}

bool TerminalScriptUserInterface::password(QString& answer)
{
    if (!m_interactive || !m_prompt) {
        write(tr("A password was asked for, but there is no terminal to type it at.\n"));
        return false;
    }
    bool ok = false;
    QByteArray bytes = m_prompt->ask(tr("Enter password:") + QLatin1Char(' '), ok);
    if (ok)
        answer = QString::fromUtf8(bytes);
    wipe(bytes);
    return ok;
}
