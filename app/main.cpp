// The program's entry routine: the fixed start-up order, then the event loop.
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BLanguage.h"
#include "blib/app/BProcessProtection.h"
#include "blib/app/BResources.h"
#include "blib/app/BTheme.h"
#include "blib/net/BAnalytics.h"
#include "blib/task/BBackgroundTaskOwner.h"

#include <QApplication>
#include <cstdlib>
#include <ctime>

int main(int argc, char* argv[])
{
    // Before anything can hold a secret.
    protectProcessMemory();
    wipeFreedHeapMemory(argv);
    auto* application = new QApplication(argc, argv);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    applyApplicationIdentity();

    if (!installStartupLanguage()) {
        delete application;
        return 1;
    }

    initialiseAnalytics();
    BBackgroundTaskOwner::instance();

    setIconTheme(QStringLiteral("light"));
    setTheme(QStringLiteral("light"));

    auto* window = new MainWindow(application, nullptr);
    window->show();

    const int exitCode = application->exec();
    delete window;
    delete application;
    return exitCode;
}
