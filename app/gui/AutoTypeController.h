#ifndef AUTOTYPECONTROLLER_H
#define AUTOTYPECONTROLLER_H

#include "app/database/PasswordDatabase.h"

#include <QKeySequence>
#include <QObject>
#include <QString>

class GlobalHotkey;
class QTimer;
class QWidget;

// Auto-Type on an X11 desktop: the global shortcut, the other program's
// window the user worked in last, and typing an entry's sequence into a
// window. The program never types into its own windows.
class AutoTypeController : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxKeyDelayMilliseconds = 1000;

    explicit AutoTypeController(QObject* parent = nullptr);

    // Whether this desktop lets the program type into other windows; when
    // not, `reason` says why, for a tool tip.
    static bool isAvailable(QString* reason = nullptr);
    // The same, as found when the controller was made: asking the display
    // each time would cost two connections to it.
    bool available(QString* reason = nullptr) const;
    // "app.settings.autoTypeShortcut" (Ctrl+Alt+A; empty: no global key)
    // and "app.settings.autoTypeKeyDelayMilliseconds" (10).
    static QKeySequence shortcutSetting();
    static int keyDelaySetting();

    // Grabs the shortcut of the settings; false, with `error` saying why
    // (another program holds it), when it could not.
    bool applyShortcut(QString* error = nullptr);
    QKeySequence shortcut() const;
    // Why the last applyShortcut() failed; empty after a success.
    QString shortcutError() const { return m_shortcutError; }

    // Shows the program's `window` above the others with the keyboard
    // focus: asked from another program's window, the focus must not stay
    // there, or what the user types next (the master password) would go to
    // that program. Qt's own request can be refused on X11 without a window
    // manager, since the key press came through another connection.
    static void bringToFront(QWidget* window);
    // Whether `window` belongs to this program.
    static bool isOwnWindow(quint64 window);
    // The other program's window that was active last while this program
    // was not; 0 when none was seen.
    quint64 previousWindow() const { return m_previousWindow; }

    // Types the sequence of `password` into `window`, bringing it to the
    // front first. False, with `error` saying why, when the sequence cannot
    // be typed (nothing is typed then), when the window cannot be brought
    // to the front, or when another window came to the front meanwhile
    // (typing stops there).
    bool perform(const PasswordDatabase::Password& password, quint64 window, QString* error = nullptr);

signals:
    // The global shortcut was pressed in the window `window` of another
    // program, titled `title`.
    void hotkeyPressed(quint64 window, const QString& title);

private slots:
    void hotkeyActivated();
    void trackActiveWindow();

private:
    GlobalHotkey* m_hotkey;
    QTimer* m_tracker;
    quint64 m_previousWindow = 0;
    bool m_available = false;
    QString m_unavailableReason;
    QString m_shortcutError;
};

#endif // AUTOTYPECONTROLLER_H
