#ifndef DESKTOPLOCKWATCHER_H
#define DESKTOPLOCKWATCHER_H

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// Listens to the desktop for the moments the workspace should lock: the
// screen saver or screen locker turning on (ActiveChanged(true) of the
// org.freedesktop, GNOME, KDE, MATE and Cinnamon screen savers on the
// session bus), the login manager's Lock signal for this session, and its
// PrepareForSleep(true) on the system bus. While sleep locking is wanted it
// holds a delay inhibitor of the login manager, so that the lock happens
// before the computer sleeps, and lets go of it once locked.
//
// Without a bus, or without a login manager, the missing part does nothing.
class DesktopLockWatcher : public QObject
{
    Q_OBJECT

public:
    // The default buses of the session.
    explicit DesktopLockWatcher(QObject* parent = nullptr);
    DesktopLockWatcher(const QDBusConnection& sessionBus, const QDBusConnection& systemBus, QObject* parent = nullptr);

    // Whether sleep locking is wanted: takes or drops the inhibitor.
    void setLockBeforeSleep(bool enabled);

    bool isSessionBusConnected() const { return m_sessionBus.isConnected(); }
    bool isSystemBusConnected() const { return m_systemBus.isConnected(); }

signals:
    // The screen locked or the session was told to lock.
    void screenLocked();
    // The computer is about to sleep. The inhibitor is released after the
    // receivers have run.
    void aboutToSleep();

private slots:
    void screenSaverActiveChanged(bool active);
    void sessionLockRequested();
    void prepareForSleep(bool start);

private:
    void connectSignals();
    void takeSleepInhibitor();
    void releaseSleepInhibitor();

    QDBusConnection m_sessionBus;
    QDBusConnection m_systemBus;
    bool m_lockBeforeSleep = false;
    QDBusUnixFileDescriptor m_sleepInhibitor;
};

#endif // DESKTOPLOCKWATCHER_H
