// lockharbour-cli: the command-line client on the program's own libraries.
#include "app/cli/CommandLineClient.h"
#include "app/cli/TerminalPasswordPrompt.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BProcessProtection.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char* argv[])
{
    // Before anything can hold a secret.
    protectProcessMemory();
    wipeFreedHeapMemory(argv);
    QCoreApplication application(argc, argv);
    applyApplicationIdentity();

    QFile input;
    QFile output;
    QFile error;
    input.open(stdin, QIODevice::ReadOnly);
    output.open(stdout, QIODevice::WriteOnly);
    error.open(stderr, QIODevice::WriteOnly);

    TerminalPasswordPrompt prompt;
    CommandLineClient client(&input, &output, &error, &prompt);
    return client.run(application.arguments().mid(1));
}
