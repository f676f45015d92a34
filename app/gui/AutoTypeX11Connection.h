#ifndef AUTOTYPEX11CONNECTION_H
#define AUTOTYPEX11CONNECTION_H

// Internal to the Auto-Type X11 classes: this header includes Xlib, whose
// macros (None, Bool, Status, KeyPress, ...) clash with Qt, so only their
// .cpp files may include it.

#include <QString>

#include <X11/Xlib.h>

// One Xlib connection of its own to $DISPLAY. A lost connection (the server
// went away) marks the object lost instead of ending the program, and every
// request made after that is a harmless no-op for the caller to check.
class AutoTypeX11Connection
{
public:
    AutoTypeX11Connection();
    ~AutoTypeX11Connection();
    AutoTypeX11Connection(const AutoTypeX11Connection&) = delete;
    AutoTypeX11Connection& operator=(const AutoTypeX11Connection&) = delete;

    Display* display() const { return m_display; }
    bool isOpen() const { return m_display && !m_lost; }
    bool isLost() const { return m_lost; }
    Window root() const;

    // Whether the program runs in a Wayland session, where typing into and
    // watching other windows through X11 reaches only the few X programs.
    static bool isWaylandSession();

    // The atom of `name`, created when missing.
    Atom atom(const char* name) const;

    // Reads at most `maxItems` items of a window property of the given type
    // (AnyPropertyType for any) and format; false when the property is
    // missing, of another type or format, or the window is gone.
    bool readProperty(Window window, Atom property, Atom type, int format, long maxItems,
                      QByteArray* data, Atom* actualType = nullptr, unsigned long* items = nullptr) const;
    // The first 32-bit item of a property (a window id or a cardinal).
    bool readCardinal(Window window, Atom property, Atom type, unsigned long* value) const;

    // Whether a window manager that follows the desktop's window-manager
    // hints runs: the root names a check window that names itself.
    bool hasWindowManager() const;

private:
    Display* m_display = nullptr;
    bool m_lost = false;
};

#endif // AUTOTYPEX11CONNECTION_H
