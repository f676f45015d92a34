#include "app/gui/AutoTypeController.h"

#include "app/gui/AutoTypeKeyboard.h"
#include "app/gui/AutoTypeSequence.h"
#include "app/gui/AutoTypeWindows.h"
#include "app/gui/GlobalHotkey.h"
#include "blib/app/BSettings.h"

#include <QApplication>
#include <QDateTime>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace {
// How often the active window is looked at while another program is in
// front, to know where Perform Auto-Type types: often enough that a quick
// switch from the target window to this program is still seen.
constexpr int TrackingIntervalMilliseconds = 150;
}

AutoTypeController::AutoTypeController(QObject* parent)
    : QObject(parent)
    , m_hotkey(new GlobalHotkey(this))
    , m_tracker(new QTimer(this))
{
    connect(m_hotkey, &GlobalHotkey::activated, this, &AutoTypeController::hotkeyActivated);
    m_tracker->setInterval(TrackingIntervalMilliseconds);
    connect(m_tracker, &QTimer::timeout, this, &AutoTypeController::trackActiveWindow);
    m_available = isAvailable(&m_unavailableReason);
    if (!m_available)
        return;
    // Only while the program is not in front: then the active window is
    // another program's.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            m_tracker->stop();
        else {
            trackActiveWindow();
            m_tracker->start();
        }
    });
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        m_tracker->start();
}

bool AutoTypeController::isAvailable(QString* reason)
{
    return AutoTypeKeyboard::isAvailable(reason) && AutoTypeWindows::isAvailable(reason);
}

bool AutoTypeController::available(QString* reason) const
{
    if (reason)
        *reason = m_unavailableReason;
    return m_available;
}

QKeySequence AutoTypeController::shortcutSetting()
{
    return QKeySequence::fromString(stringSetting(QStringLiteral("app.settings.autoTypeShortcut"),
                                                  QStringLiteral("Ctrl+Alt+A")),
                                    QKeySequence::PortableText);
}

int AutoTypeController::keyDelaySetting()
{
    return qBound(0, intSetting(QStringLiteral("app.settings.autoTypeKeyDelayMilliseconds"), 10),
                  MaxKeyDelayMilliseconds);
}

bool AutoTypeController::applyShortcut(QString* error)
{
    const QKeySequence wanted = m_available ? shortcutSetting() : QKeySequence();
    m_shortcutError.clear();
    if (wanted == m_hotkey->shortcut() && !wanted.isEmpty())
        return true;
    if (m_hotkey->setShortcut(wanted, &m_shortcutError))
        return true;
    if (error)
        *error = m_shortcutError;
    return false;
}

QKeySequence AutoTypeController::shortcut() const
{
    return m_hotkey->shortcut();
}

bool AutoTypeController::isOwnWindow(quint64 window)
{
    if (!window)
        return false;
    if (AutoTypeWindows::windowProcessId(window) == QCoreApplication::applicationPid())
        return true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* widget : windows) {
        if (widget->testAttribute(Qt::WA_WState_Created) && quint64(widget->winId()) == window)
            return true;
    }
    return false;
}

void AutoTypeController::bringToFront(QWidget* window)
{
    window->raise();
    window->activateWindow();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !isAvailable())
        return;
    // Once Qt has sent the window's requests to the display.
    QPointer<QWidget> guarded(window);
    QTimer::singleShot(0, window, [guarded]() {
        if (guarded && guarded->isVisible())
            AutoTypeWindows::activateWindow(quint64(guarded->winId()));
    });
}

void AutoTypeController::hotkeyActivated()
{
    const quint64 window = AutoTypeWindows::activeWindow();
    if (!window || isOwnWindow(window))
        return;
    m_previousWindow = window;
    emit hotkeyPressed(window, AutoTypeWindows::windowTitle(window));
}

void AutoTypeController::trackActiveWindow()
{
    const quint64 window = AutoTypeWindows::activeWindow();
    if (window && window != m_previousWindow && !isOwnWindow(window))
        m_previousWindow = window;
}

bool AutoTypeController::perform(const PasswordDatabase::Password& password, quint64 window, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QString reason;
    if (!available(&reason))
        return fail(reason);
    if (!window)
        return fail(tr("No window of another program to type into was found. Click into the window, then "
                       "use the Auto-Type shortcut there."));
    if (isOwnWindow(window))
        return fail(tr("Auto-Type does not type into the program's own windows."));

    AutoTypeSequence sequence;
    if (!sequence.build(AutoTypeSequence::sequenceOf(password), password, QDateTime::currentSecsSinceEpoch(),
                        error))
        return false;

    if (AutoTypeWindows::activeWindow() != window && !AutoTypeWindows::activateWindow(window))
        return fail(tr("The window \"%1\" could not be brought to the front.")
                        .arg(AutoTypeWindows::windowTitle(window).left(200)));

    AutoTypeKeyboard keyboard;
    if (!keyboard.isOpen())
        return fail(tr("The keyboard of the display could not be reached."));
    keyboard.setKeyDelay(keyDelaySetting());
    keyboard.releaseHeldModifiers();
    for (const AutoTypeSequence::Step& step : sequence.steps()) {
        if (step.kind == AutoTypeSequence::Step::Delay) {
            QThread::msleep(static_cast<unsigned long>(step.milliseconds));
            continue;
        }
        // What is typed goes only to the window it was meant for.
        if (AutoTypeWindows::activeWindow() != window)
            return fail(tr("Auto-Type stopped: another window came to the front."));
        const bool typed = step.kind == AutoTypeSequence::Step::Text ? keyboard.typeText(step.text, error)
                                                                     : keyboard.pressKey(step.key, error);
        if (!typed)
            return false;
    }
    return true;
}
