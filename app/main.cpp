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
#include <QFileInfo>
#include <QStringList>
#include <QTimer>
#include <cstdlib>
#include <ctime>

namespace {

// The database named on the command line ("lockharbour FILE", as a file
// manager starts the program; a vault is known by its content, and a file of
// another kind is imported): the first argument that is not an option. The
// toolkit has taken its own options out already.
QString databaseArgument(const QStringList& arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        if (!arguments.at(i).startsWith(QLatin1Char('-')))
            return QFileInfo(arguments.at(i)).absoluteFilePath();
    }
    return QString();
}

} // namespace

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
    // The file opens, with the unlock dialog, in the finished window: queued
    // behind the deferred set-up and then behind the splash it queues. The
    // splash goes at once, as it would cover the password prompt.
    const QString databasePath = databaseArgument(QCoreApplication::arguments());
    if (!databasePath.isEmpty()) {
        QTimer::singleShot(0, window, [window, databasePath]() {
            QTimer::singleShot(0, window, [window, databasePath]() {
                window->hideSplashDialog();
                window->openOrImportDatabase(databasePath);
            });
        });
    }

    const int exitCode = application->exec();
    delete window;
    delete application;
    return exitCode;
}
