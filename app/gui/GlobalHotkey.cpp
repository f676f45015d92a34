#include "GlobalHotkey.h"

#include "AutoTypeX11Connection.h"
#include "AutoTypeX11ErrorTrap.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QVector>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace {

// The key symbol of a Qt key, NoSymbol when there is none.
KeySym keysymOfQtKey(int key)
{
    static const struct {
        int key;
        KeySym sym;
    } table[] = {
        {Qt::Key_Escape, XK_Escape},      {Qt::Key_Tab, XK_Tab},           {Qt::Key_Backtab, XK_Tab},
        {Qt::Key_Backspace, XK_BackSpace}, {Qt::Key_Return, XK_Return},     {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert},      {Qt::Key_Delete, XK_Delete},     {Qt::Key_Pause, XK_Pause},
        {Qt::Key_Print, XK_Print},        {Qt::Key_Home, XK_Home},         {Qt::Key_End, XK_End},
        {Qt::Key_Left, XK_Left},          {Qt::Key_Up, XK_Up},             {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down},          {Qt::Key_PageUp, XK_Prior},      {Qt::Key_PageDown, XK_Next},
        {Qt::Key_Space, XK_space},        {Qt::Key_Menu, XK_Menu},
    };
    for (const auto& entry : table) {
        if (entry.key == key)
            return entry.sym;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + (key - Qt::Key_F1);
    if (key >= 0x20 && key <= 0xff)
        return QChar(key).toLower().unicode();
    if (key > 0xff && key < 0x110000 && !(key & Qt::KeyboardModifierMask))
        return 0x01000000 + key;
    return NoSymbol;
}

} // namespace

struct GlobalHotkey::Private {
    AutoTypeX11Connection x;
    QKeySequence sequence;
    KeySym sym = NoSymbol;
    KeyCode code = 0;
    unsigned int modifiers = 0;
    bool down = false;

    Display* display() const { return x.display(); }

    // The real modifier that the keys of `first` or `second` set, 0 when none.
    unsigned int modifierOf(KeySym first, KeySym second) const
    {
        unsigned int mask = 0;
        XModifierKeymap* modmap = XGetModifierMapping(display());
        if (!modmap)
            return 0;
        for (int index = 0; index < 8 && !mask; ++index) {
            for (int i = 0; i < modmap->max_keypermod; ++i) {
                const KeyCode code = modmap->modifiermap[index * modmap->max_keypermod + i];
                const KeySym sym = code ? XkbKeycodeToKeysym(display(), code, 0, 0) : NoSymbol;
                if (code && (sym == first || sym == second)) {
                    mask = 1u << index;
                    break;
                }
            }
        }
        XFreeModifiermap(modmap);
        return mask;
    }

    // Each of the combinations the grab covers: the modifiers themselves and
    // with Caps Lock and Num Lock in any state.
    QVector<unsigned int> variants(unsigned int base) const
    {
        const unsigned int numLock = modifierOf(XK_Num_Lock, XK_Num_Lock);
        QVector<unsigned int> all = {base, base | LockMask};
        if (numLock && !(base & numLock))
            all << (base | numLock) << (base | numLock | LockMask);
        return all;
    }

    void ungrab()
    {
        if (!code || !x.isOpen())
            return;
        AutoTypeX11ErrorTrap trap(display());
        for (unsigned int variant : variants(modifiers))
            XUngrabKey(display(), code, variant, x.root());
        trap.sync();
    }

    // 0 when grabbed, else the X error.
    int grab(KeyCode newCode, unsigned int newModifiers)
    {
        const QVector<unsigned int> all = variants(newModifiers);
        AutoTypeX11ErrorTrap trap(display());
        for (unsigned int variant : all)
            XGrabKey(display(), newCode, variant, x.root(), False, GrabModeAsync, GrabModeAsync);
        const int error = trap.sync();
        if (error != Success) {
            // Let go of the variants that were grabbed before the failure.
            for (unsigned int variant : all)
                XUngrabKey(display(), newCode, variant, x.root());
            trap.sync();
        }
        return error;
    }
};

GlobalHotkey::GlobalHotkey(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
    if (!d->x.isOpen())
        return;
    // Held keys then repeat as presses without releases in between.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(d->display(), True, &supported);
    m_notifier = new QSocketNotifier(ConnectionNumber(d->display()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &GlobalHotkey::readEvents);
}

GlobalHotkey::~GlobalHotkey()
{
    d->ungrab();
}

bool GlobalHotkey::setShortcut(const QKeySequence& sequence, QString* error)
{
    const QString keys = sequence.toString(QKeySequence::NativeText);
    if (sequence.isEmpty()) {
        d->ungrab();
        d->sequence = QKeySequence();
        d->code = 0;
        d->sym = NoSymbol;
        return true;
    }
    if (!d->x.isOpen()) {
        if (error)
            *error = AutoTypeX11Connection::isWaylandSession()
                         ? tr("A global shortcut needs an X11 display; it does not work in a Wayland session.")
                         : tr("A global shortcut needs an X11 display.");
        return false;
    }
    const int combination = sequence[0];
    const KeySym sym = keysymOfQtKey(combination & ~Qt::KeyboardModifierMask);
    const KeyCode code = sym != NoSymbol ? XKeysymToKeycode(d->display(), sym) : 0;
    if (!code) {
        if (error)
            *error = tr("The key of %1 is not on this keyboard.").arg(keys);
        return false;
    }
    unsigned int modifiers = 0;
    if (combination & Qt::ShiftModifier)
        modifiers |= ShiftMask;
    if (combination & Qt::ControlModifier)
        modifiers |= ControlMask;
    if (combination & Qt::AltModifier)
        modifiers |= d->modifierOf(XK_Alt_L, XK_Alt_R) ? d->modifierOf(XK_Alt_L, XK_Alt_R) : Mod1Mask;
    if (combination & Qt::MetaModifier)
        modifiers |= d->modifierOf(XK_Super_L, XK_Super_R) ? d->modifierOf(XK_Super_L, XK_Super_R) : Mod4Mask;
    if (code == d->code && modifiers == d->modifiers) {
        d->sequence = QKeySequence(combination);
        return true;
    }
    const int failure = d->grab(code, modifiers);
    // Events read while waiting for the server's answers are in Xlib's queue
    // already, where the socket notifier does not see them.
    QTimer::singleShot(0, this, &GlobalHotkey::readEvents);
    if (failure != Success) {
        if (error) {
            *error = failure == BadAccess ? tr("Another program already uses %1.").arg(keys)
                                          : tr("The global shortcut %1 could not be set up.").arg(keys);
        }
        return false;
    }
    d->ungrab();
    d->sequence = QKeySequence(combination);
    d->sym = sym;
    d->code = code;
    d->modifiers = modifiers;
    d->down = false;
    return true;
}

QKeySequence GlobalHotkey::shortcut() const
{
    return d->sequence;
}

void GlobalHotkey::readEvents()
{
    if (!d->x.isOpen()) {
        if (m_notifier)
            m_notifier->setEnabled(false);
        return;
    }
    bool pressed = false;
    while (!d->x.isLost() && XPending(d->display()) > 0) {
        XEvent event;
        XNextEvent(d->display(), &event);
        if (event.type == KeyPress && d->code && event.xkey.keycode == d->code) {
            // A repeat of a held key comes as another press.
            if (!d->down)
                pressed = true;
            d->down = true;
        } else if (event.type == KeyRelease && d->code && event.xkey.keycode == d->code) {
            // Without detectable repeats, a repeat is a release and a press
            // at the same time.
            XEvent next;
            if (XPending(d->display()) > 0) {
                XPeekEvent(d->display(), &next);
                if (next.type == KeyPress && next.xkey.keycode == event.xkey.keycode
                    && next.xkey.time == event.xkey.time)
                    continue;
            }
            d->down = false;
        } else if (event.type == MappingNotify && event.xmapping.request != MappingPointer) {
            XRefreshKeyboardMapping(&event.xmapping);
            // The key may have moved to another code.
            const KeyCode code = d->sym != NoSymbol ? XKeysymToKeycode(d->display(), d->sym) : 0;
            if (d->code && code && code != d->code) {
                d->ungrab();
                if (d->grab(code, d->modifiers) == Success)
                    d->code = code;
                else
                    d->code = 0;
            }
        }
    }
    if (d->x.isLost() && m_notifier)
        m_notifier->setEnabled(false);
    if (pressed)
        emit activated();
}
