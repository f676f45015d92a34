// Locking with the desktop: a screen saver turning on and the computer
// going to sleep, announced on a private message bus that
// stands in for both the session and the system bus.
#include "app/gui/DesktopLockWatcher.h"
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include "support/WorkspaceFixture.h"

namespace {

// A dbus-daemon of the test's own, started before the application so that
// the program's default buses are this one.
class PrivateBus
{
public:
    bool start()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return false;
        m_process.start(daemon, { QStringLiteral("--session"), QStringLiteral("--nofork"),
                                  QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1") });
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000))
                return false;
        }
        address = QString::fromUtf8(m_process.readLine()).trimmed();
        return !address.isEmpty();
    }
    ~PrivateBus()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    QString address;

private:
    QProcess m_process;
};

PrivateBus* bus = nullptr;

} // namespace

class tst_DesktopLock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void screenSaverLocksTheWorkspace_data();
    void screenSaverLocksTheWorkspace();
    void goingToSleepLocksTheWorkspace();

private:
    // Sends a signal on the private bus from a connection of its own.
    void emitSignal(const QString& path, const QString& interface, const QString& name,
                    const QVariantList& arguments = QVariantList());

    MainWindow* m_window = nullptr;
    DesktopLockWatcher* m_watcher = nullptr;
};

void tst_DesktopLock::initTestCase()
{
    if (bus->address.isEmpty())
        QSKIP("dbus-daemon is not installed");
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
    // The login manager's name, owned by the connection that sends its
    // signals, so that the program hears them as the login manager's.
    QDBusConnection sender = QDBusConnection::connectToBus(bus->address, QStringLiteral("sender"));
    QVERIFY(sender.isConnected());
    QVERIFY(sender.registerService(QStringLiteral("org.freedesktop.login1")));
}

void tst_DesktopLock::init()
{
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceOnScreenLock"), true);
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceBeforeSleep"), true);
    m_window = new MainWindow(qApp, nullptr);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
    m_watcher = m_window->findChild<DesktopLockWatcher*>();
    QVERIFY(m_watcher);
    QVERIFY(m_watcher->isSessionBusConnected());
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    PasswordDatabase::Group* group = makeGroup(QStringLiteral("Internet"));
    makePassword(group, QStringLiteral("Bank"), QStringLiteral("alice"));
    db.addItem(group);
    m_window->activateDatabase(db);
    QVERIFY(m_window->isDatabaseView());
}

void tst_DesktopLock::cleanup()
{
    closeAndDeleteWindow(m_window);
}

void tst_DesktopLock::emitSignal(const QString& path, const QString& interface, const QString& name,
                                 const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(path, interface, name);
    message.setArguments(arguments);
    QVERIFY(QDBusConnection(QStringLiteral("sender")).send(message));
}

void tst_DesktopLock::screenSaverLocksTheWorkspace_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("interface");
    QTest::newRow("freedesktop") << "/org/freedesktop/ScreenSaver" << "org.freedesktop.ScreenSaver";
    QTest::newRow("kde") << "/ScreenSaver" << "org.freedesktop.ScreenSaver";
    QTest::newRow("gnome") << "/org/gnome/ScreenSaver" << "org.gnome.ScreenSaver";
}

void tst_DesktopLock::screenSaverLocksTheWorkspace()
{
    QFETCH(QString, path);
    QFETCH(QString, interface);
    QSignalSpy locked(m_watcher, &DesktopLockWatcher::screenLocked);

    // The screen saver going off, and going on while the setting is off,
    // leave the workspace open.
    emitSignal(path, interface, QStringLiteral("ActiveChanged"), { false });
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceOnScreenLock"), false);
    emitSignal(path, interface, QStringLiteral("ActiveChanged"), { true });
    QTRY_COMPARE(locked.count(), 1);
    QVERIFY(m_window->isDatabaseView());

    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceOnScreenLock"), true);
    emitSignal(path, interface, QStringLiteral("ActiveChanged"), { true });
    QTRY_VERIFY(m_window->isLockedView());
    QVERIFY(!m_window->database().hasKeys());
}

void tst_DesktopLock::goingToSleepLocksTheWorkspace()
{
    QSignalSpy sleeping(m_watcher, &DesktopLockWatcher::aboutToSleep);
    // Waking up does not lock; going to sleep does.
    emitSignal(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
               QStringLiteral("PrepareForSleep"), { false });
    emitSignal(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
               QStringLiteral("PrepareForSleep"), { true });
    QTRY_COMPARE(sleeping.count(), 1);
    QVERIFY(m_window->isLockedView());
}

int main(int argc, char** argv)
{
    PrivateBus privateBus;
    bus = &privateBus;
    if (privateBus.start()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", privateBus.address.toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", privateBus.address.toUtf8());
    }
    QApplication app(argc, argv);
    tst_DesktopLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktoplock.moc"
