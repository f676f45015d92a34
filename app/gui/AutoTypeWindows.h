#ifndef AUTOTYPEWINDOWS_H
#define AUTOTYPEWINDOWS_H

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

// The desktop's windows, as Auto-Type needs them: which one is active, its
// title and process, and bringing one back to the front. Each call opens a
// connection of its own to the X display, whatever platform Qt runs on.
// Windows are X window ids; 0 is none.
class AutoTypeWindows
{
    Q_DECLARE_TR_FUNCTIONS(AutoTypeWindows)

public:
    // Whether there is an X11 display to work with; when not, `reason` tells
    // why in words for the user.
    static bool isAvailable(QString* reason = nullptr);

    // The window the window manager names active, or without one the window
    // that has the input focus (walked up to the nearest one with a title).
    static quint64 activeWindow();
    // The window's title (at most 4096 characters), empty when it has none.
    static QString windowTitle(quint64 window);
    // The id of the process that owns the window, as the window tells, or -1.
    static qint64 windowProcessId(quint64 window);
    // Brings the window to the front and gives it the keyboard, waiting
    // (about a second at most, handling none of the program's events) until
    // it is active; false when it never became so.
    static bool activateWindow(quint64 window);
};

#endif // AUTOTYPEWINDOWS_H
