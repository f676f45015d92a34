#ifndef COMMANDHELP_H
#define COMMANDHELP_H

#include <QCoreApplication>
#include <QString>

// The help texts of lockharbour-cli: one synopsis and description per
// command, and the overview printed without a command. The manual page
// lockharbour-cli.1 beside this file says the same at more length; change
// both together.
class CommandHelp
{
    Q_DECLARE_TR_FUNCTIONS(CommandHelp)

public:
    // Every command with its synopsis and what it does, then the notes on
    // addressing items, passwords and exit codes.
    static QString overview();
    // "Usage: lockharbour-cli SYNOPSIS" and the command's description; empty
    // for a command that does not exist.
    static QString command(const QString& name);
};

#endif // COMMANDHELP_H
