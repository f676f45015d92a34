#ifndef AUTOTYPEX11ERRORTRAP_H
#define AUTOTYPEX11ERRORTRAP_H

// Internal to the Auto-Type X11 classes (includes Xlib; see
// AutoTypeX11Connection.h).

#include <X11/Xlib.h>

// Catches the X errors of one connection while it lives: requests made in its
// scope that fail (BadAccess of a grab held elsewhere, BadWindow of a window
// that went away) are recorded instead of reaching the default handler,
// which would end the program. Errors of other connections go on to the
// handler that was installed before.
class AutoTypeX11ErrorTrap
{
public:
    explicit AutoTypeX11ErrorTrap(Display* display);
    ~AutoTypeX11ErrorTrap();
    AutoTypeX11ErrorTrap(const AutoTypeX11ErrorTrap&) = delete;
    AutoTypeX11ErrorTrap& operator=(const AutoTypeX11ErrorTrap&) = delete;

    // Waits for the server to handle every request so far, then returns the
    // first error code seen in the scope (0, Success, when none).
    int sync();

private:
    static int handler(Display* display, XErrorEvent* event);

    Display* m_display;
    AutoTypeX11ErrorTrap* m_outer;
    int (*m_previous)(Display*, XErrorEvent*);
    int m_error = 0;
};

#endif // AUTOTYPEX11ERRORTRAP_H
