#include "AutoTypeWindows.h"

#include "AutoTypeX11Connection.h"
#include "AutoTypeX11ErrorTrap.h"

#include <QElapsedTimer>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace {

const int maxTitleLength = 4096;
// A title is read as at most this many bytes: 4096 characters of UTF-8.
const long maxTitleBytes = 4 * maxTitleLength;
// How far up the window tree a window is followed: far more than any
// desktop nests its frames.
const int maxDepth = 64;
const int activationTimeoutMs = 1000;

QString boundedTitle(QString title)
{
    if (title.size() > maxTitleLength) {
        int cut = maxTitleLength;
        if (title.at(cut - 1).isHighSurrogate())
            --cut;
        title.truncate(cut);
    }
    return title;
}

QString readTitle(const AutoTypeX11Connection& x, Window window)
{
    QByteArray data;
    if (x.readProperty(window, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"), 8, maxTitleBytes, &data))
        return boundedTitle(QString::fromUtf8(data));
    Atom type = 0;
    unsigned long items = 0;
    if (!x.readProperty(window, XA_WM_NAME, AnyPropertyType, 8, maxTitleBytes, &data, &type, &items))
        return QString();
    if (type == XA_STRING)
        return boundedTitle(QString::fromLatin1(data));
    if (type == x.atom("UTF8_STRING"))
        return boundedTitle(QString::fromUtf8(data));
    if (type == x.atom("COMPOUND_TEXT")) {
        XTextProperty property;
        property.value = reinterpret_cast<unsigned char*>(data.data());
        property.encoding = type;
        property.format = 8;
        property.nitems = items;
        char** list = nullptr;
        int count = 0;
        QString title;
        if (Xutf8TextPropertyToTextList(x.display(), &property, &list, &count) >= Success && list) {
            if (count > 0 && list[0])
                title = QString::fromUtf8(list[0]);
            XFreeStringList(list);
        }
        return boundedTitle(title);
    }
    return QString();
}

bool hasTitle(const AutoTypeX11Connection& x, Window window)
{
    return !readTitle(x, window).isEmpty();
}

// The parent of `window`, 0 at the root or when the window is gone.
Window parentOf(const AutoTypeX11Connection& x, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Status ok;
    {
        AutoTypeX11ErrorTrap trap(x.display());
        ok = XQueryTree(x.display(), window, &root, &parent, &children, &count);
        if (trap.sync() != Success)
            ok = 0;
    }
    if (children)
        XFree(children);
    return ok && window != root ? parent : 0;
}

Window focusWindow(const AutoTypeX11Connection& x)
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x.display(), &focus, &revert);
    // None and PointerRoot name no window.
    return focus == PointerRoot ? 0 : focus;
}

// The focus window walked up to the nearest window that has a title, or its
// top-level window when none has.
Window titledFocusWindow(const AutoTypeX11Connection& x)
{
    Window window = focusWindow(x);
    const Window root = x.root();
    for (int depth = 0; window && window != root && depth < maxDepth; ++depth) {
        if (hasTitle(x, window))
            return window;
        const Window parent = parentOf(x, window);
        if (!parent || parent == root)
            return window;
        window = parent;
    }
    return 0;
}

// Whether the focus lies in `window` or one of its descendants.
bool focusIsIn(const AutoTypeX11Connection& x, Window window)
{
    Window focus = focusWindow(x);
    for (int depth = 0; focus && depth < maxDepth; ++depth) {
        if (focus == window)
            return true;
        focus = parentOf(x, focus);
    }
    return false;
}

Window active(const AutoTypeX11Connection& x)
{
    if (x.hasWindowManager()) {
        unsigned long window = 0;
        if (x.readCardinal(x.root(), x.atom("_NET_ACTIVE_WINDOW"), XA_WINDOW, &window))
            return window;
    }
    return titledFocusWindow(x);
}

bool windowExists(const AutoTypeX11Connection& x, Window window)
{
    XWindowAttributes attributes;
    AutoTypeX11ErrorTrap trap(x.display());
    const Status ok = XGetWindowAttributes(x.display(), window, &attributes);
    return trap.sync() == Success && ok;
}

} // namespace

bool AutoTypeWindows::isAvailable(QString* reason)
{
    QString why;
    if (AutoTypeX11Connection::isWaylandSession()) {
        why = tr("Auto-Type needs an X11 display; it does not work in a Wayland session.");
    } else {
        AutoTypeX11Connection x;
        if (!x.isOpen())
            why = tr("Auto-Type needs an X11 display.");
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

quint64 AutoTypeWindows::activeWindow()
{
    AutoTypeX11Connection x;
    return x.isOpen() ? active(x) : 0;
}

QString AutoTypeWindows::windowTitle(quint64 window)
{
    AutoTypeX11Connection x;
    return x.isOpen() && window ? readTitle(x, window) : QString();
}

qint64 AutoTypeWindows::windowProcessId(quint64 window)
{
    AutoTypeX11Connection x;
    unsigned long pid = 0;
    if (!x.isOpen() || !window || !x.readCardinal(window, x.atom("_NET_WM_PID"), XA_CARDINAL, &pid) || !pid)
        return -1;
    return qint64(pid);
}

bool AutoTypeWindows::activateWindow(quint64 id)
{
    AutoTypeX11Connection x;
    const Window window = id;
    if (!x.isOpen() || !window || !windowExists(x, window))
        return false;
    const bool managed = x.hasWindowManager();
    {
        AutoTypeX11ErrorTrap trap(x.display());
        if (managed) {
            XEvent event = {};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = x.atom("_NET_ACTIVE_WINDOW");
            event.xclient.format = 32;
            // Source 2: asked for by the user through a tool (a pager), which
            // window managers do not hold back as focus stealing.
            event.xclient.data.l[0] = 2;
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(x.display(), x.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        } else {
            XMapRaised(x.display(), window);
            XSetInputFocus(x.display(), window, RevertToParent, CurrentTime);
        }
        trap.sync();
    }
    QElapsedTimer timer;
    timer.start();
    forever {
        if ((managed && active(x) == window) || focusIsIn(x, window))
            return true;
        if (x.isLost() || timer.elapsed() > activationTimeoutMs)
            return false;
        QThread::msleep(10);
        if (!managed) {
            // A window mapped just now takes the focus only once it is viewable.
            AutoTypeX11ErrorTrap trap(x.display());
            XSetInputFocus(x.display(), window, RevertToParent, CurrentTime);
            trap.sync();
        }
    }
}
