#ifndef TERMINALPASSWORDPROMPT_H
#define TERMINALPASSWORDPROMPT_H

#include "app/cli/PasswordPrompt.h"

// Reads a password from the controlling terminal (/dev/tty) with echo off,
// so that it works even when standard input and output are redirected.
class TerminalPasswordPrompt : public PasswordPrompt
{
public:
    QByteArray ask(const QString& label, bool& ok) override;
};

#endif // TERMINALPASSWORDPROMPT_H
