#include "AutoTypeX11Connection.h"

#include "AutoTypeX11ErrorTrap.h"

#include <QVector>
#include <QtGlobal>

#include <cstring>

#include <X11/Xatom.h>

namespace {

// The connections open here; the GUI thread opens and closes them all.
QVector<Display*>& openDisplays()
{
    static QVector<Display*> displays;
    return displays;
}

int (*previousIOErrorHandler)(Display*) = nullptr;

// Xlib's handler of a lost connection ends the program; for a connection of
// these classes it returns instead, so that only Auto-Type stops working.
// Other connections (the toolkit's, say) get the handler they had before.
int ioErrorHandler(Display* display)
{
    if (openDisplays().contains(display))
        return 0;
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

// Called after the handler above returned for a lost connection: instead of
// exiting, it marks the connection lost and leaves the program alive.
void connectionLost(Display*, void* data)
{
    *static_cast<bool*>(data) = true;
}

} // namespace

AutoTypeX11Connection::AutoTypeX11Connection()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    static const bool handlerInstalled = [] {
        previousIOErrorHandler = XSetIOErrorHandler(&ioErrorHandler);
        return true;
    }();
    Q_UNUSED(handlerInstalled)
    m_display = XOpenDisplay(nullptr);
    if (m_display) {
        openDisplays().append(m_display);
        XSetIOErrorExitHandler(m_display, &connectionLost, &m_lost);
    }
}

AutoTypeX11Connection::~AutoTypeX11Connection()
{
    if (m_display) {
        XCloseDisplay(m_display);
        openDisplays().removeOne(m_display);
    }
}

Window AutoTypeX11Connection::root() const
{
    return isOpen() ? DefaultRootWindow(m_display) : 0;
}

bool AutoTypeX11Connection::isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || qgetenv("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

Atom AutoTypeX11Connection::atom(const char* name) const
{
    return isOpen() ? XInternAtom(m_display, name, False) : 0;
}

bool AutoTypeX11Connection::readProperty(Window window, Atom property, Atom type, int format, long maxItems,
                                         QByteArray* data, Atom* actualType, unsigned long* items) const
{
    if (!isOpen() || !window || maxItems <= 0)
        return false;
    // The length is counted in 32-bit units whatever the format.
    const long units = format == 32 ? maxItems : (maxItems * format / 8 + 3) / 4;
    Atom gotType = 0;
    int gotFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* value = nullptr;
    int status;
    {
        AutoTypeX11ErrorTrap trap(m_display);
        status = XGetWindowProperty(m_display, window, property, 0, units, False, type, &gotType, &gotFormat,
                                    &count, &after, &value);
        if (trap.sync() != Success)
            status = BadWindow;
    }
    bool ok = status == Success && value && gotType != 0 && gotFormat == format
              && (type == AnyPropertyType || gotType == type);
    if (ok && data) {
        // Format 32 items come as longs, whatever their size on the wire.
        const int itemSize = format == 32 ? int(sizeof(long)) : format / 8;
        const unsigned long kept = qMin<unsigned long>(count, static_cast<unsigned long>(maxItems));
        *data = QByteArray(reinterpret_cast<const char*>(value), int(kept * itemSize));
        count = kept;
    }
    if (ok && actualType)
        *actualType = gotType;
    if (ok && items)
        *items = count;
    if (value)
        XFree(value);
    return ok;
}

bool AutoTypeX11Connection::readCardinal(Window window, Atom property, Atom type, unsigned long* value) const
{
    QByteArray data;
    unsigned long items = 0;
    if (!readProperty(window, property, type, 32, 1, &data, nullptr, &items) || items < 1)
        return false;
    long item = 0;
    memcpy(&item, data.constData(), sizeof item);
    *value = static_cast<unsigned long>(item) & 0xffffffffUL;
    return true;
}

bool AutoTypeX11Connection::hasWindowManager() const
{
    const Atom check = atom("_NET_SUPPORTING_WM_CHECK");
    unsigned long child = 0;
    if (!readCardinal(root(), check, XA_WINDOW, &child) || !child)
        return false;
    // A window manager that ended leaves the root naming a window that is gone.
    unsigned long self = 0;
    return readCardinal(child, check, XA_WINDOW, &self) && self == child;
}
