#include "app/gui/DesktopLockWatcher.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QVariant>

#include <unistd.h>

namespace {

const char* const LoginService = "org.freedesktop.login1";
const char* const LoginPath = "/org/freedesktop/login1";
const char* const LoginManager = "org.freedesktop.login1.Manager";
const char* const LoginSession = "org.freedesktop.login1.Session";

struct ScreenSaver {
    const char* path;
    const char* interface;
};

// Where the desktops announce their screen saver. KDE emits the freedesktop
// interface on /ScreenSaver as well as on the full path.
const ScreenSaver ScreenSavers[] = {
    { "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver" },
    { "/ScreenSaver", "org.freedesktop.ScreenSaver" },
    { "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver" },
    { "/org/mate/ScreenSaver", "org.mate.ScreenSaver" },
    { "/org/cinnamon/ScreenSaver", "org.cinnamon.ScreenSaver" },
};

// Calls to the login manager wait at most this long: a hung bus must not
// hang the window.
constexpr int CallTimeoutMilliseconds = 2000;

} // namespace

DesktopLockWatcher::DesktopLockWatcher(QObject* parent)
    : DesktopLockWatcher(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), parent)
{
}

DesktopLockWatcher::DesktopLockWatcher(const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                                       QObject* parent)
    : QObject(parent)
    , m_sessionBus(sessionBus)
    , m_systemBus(systemBus)
{
    connectSignals();
}

void DesktopLockWatcher::connectSignals()
{
    if (m_sessionBus.isConnected()) {
        for (const ScreenSaver& saver : ScreenSavers)
            m_sessionBus.connect(QString(), QLatin1String(saver.path), QLatin1String(saver.interface),
                                 QStringLiteral("ActiveChanged"), this, SLOT(screenSaverActiveChanged(bool)));
    }
    if (!m_systemBus.isConnected())
        return;
    m_systemBus.connect(QLatin1String(LoginService), QLatin1String(LoginPath), QLatin1String(LoginManager),
                        QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));

    // The session this process belongs to, for its Lock signal ("loginctl
    // lock-session", and desktops that lock through the login manager).
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(LoginService), QLatin1String(LoginPath),
                                                       QLatin1String(LoginManager),
                                                       QStringLiteral("GetSessionByPID"));
    call << quint32(::getpid());
    const QDBusReply<QDBusObjectPath> session = m_systemBus.call(call, QDBus::Block, CallTimeoutMilliseconds);
    if (session.isValid() && !session.value().path().isEmpty())
        m_systemBus.connect(QLatin1String(LoginService), session.value().path(), QLatin1String(LoginSession),
                            QStringLiteral("Lock"), this, SLOT(sessionLockRequested()));
}

void DesktopLockWatcher::setLockBeforeSleep(bool enabled)
{
    m_lockBeforeSleep = enabled;
    if (enabled)
        takeSleepInhibitor();
    else
        releaseSleepInhibitor();
}

void DesktopLockWatcher::takeSleepInhibitor()
{
    if (m_sleepInhibitor.isValid() || !m_systemBus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(LoginService), QLatin1String(LoginPath),
                                                       QLatin1String(LoginManager), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Lockharbour")
         << tr("Lock the open password database before sleeping") << QStringLiteral("delay");
    const QDBusReply<QDBusUnixFileDescriptor> reply = m_systemBus.call(call, QDBus::Block, CallTimeoutMilliseconds);
    if (reply.isValid())
        m_sleepInhibitor = reply.value();
}

void DesktopLockWatcher::releaseSleepInhibitor()
{
    // The login manager lets the sleep go on once every delay inhibitor's
    // descriptor is closed; the object closes its duplicate when it goes.
    m_sleepInhibitor = QDBusUnixFileDescriptor();
}

void DesktopLockWatcher::screenSaverActiveChanged(bool active)
{
    if (active)
        emit screenLocked();
}

void DesktopLockWatcher::sessionLockRequested()
{
    emit screenLocked();
}

void DesktopLockWatcher::prepareForSleep(bool start)
{
    if (!start) {
        // Awake again: be ready for the next sleep.
        if (m_lockBeforeSleep)
            takeSleepInhibitor();
        return;
    }
    emit aboutToSleep();
    releaseSleepInhibitor();
}
