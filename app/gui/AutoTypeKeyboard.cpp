#include "AutoTypeKeyboard.h"

#include "AutoTypeX11Connection.h"
#include "AutoTypeX11ErrorTrap.h"

#include <QElapsedTimer>
#include <QThread>
#include <QVector>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// A key code bound to a character is not bound to another one (nor given
// back its empty mapping) until this long after its last press: the window
// that receives the press looks the mapping up only when it handles it.
const qint64 rebindGraceMs = 250;
// Before the bound key codes get their empty mapping back at the end, a
// longer wait: the receiving window may still be working through the last
// presses of a fast typing run.
const qint64 restoreGraceMs = 500;
// How long releaseHeldModifiers() waits for the user to let go of the keys.
const qint64 releaseTimeoutMs = 1000;

KeySym keysymOf(uint codePoint)
{
    if ((codePoint >= 0x20 && codePoint <= 0x7e) || (codePoint >= 0xa0 && codePoint <= 0xff))
        return codePoint;
    return 0x01000000 + codePoint;
}

// The older symbol some layouts use for a character instead of its
// Unicode symbol.
KeySym legacySym(KeySym sym)
{
    return sym == 0x010020ac ? KeySym(XK_EuroSign) : KeySym(NoSymbol);
}

bool isLockKeysym(KeySym sym)
{
    switch (sym) {
    case XK_Caps_Lock:
    case XK_Shift_Lock:
    case XK_Num_Lock:
    case XK_Scroll_Lock:
    case XK_ISO_Lock:
    case XK_ISO_Level3_Lock:
    case XK_ISO_Level5_Lock:
    case XK_ISO_Group_Lock:
        return true;
    default:
        return false;
    }
}

int bitCount(unsigned int mask)
{
    int count = 0;
    for (; mask; mask &= mask - 1)
        ++count;
    return count;
}

struct Stroke {
    KeyCode code = 0;
    unsigned int modifiers = 0; // real modifiers to hold around the key
};

struct SpareCode {
    KeyCode code = 0;
    KeySym bound = NoSymbol;
    qint64 lastUsed = -rebindGraceMs;
};

} // namespace

struct AutoTypeKeyboard::Private {
    AutoTypeX11Connection x;
    bool hasXTest = false;
    int keyDelay = 10;
    int minCode = 0;
    int maxCode = 0;
    int symsPerCode = 0;
    QVector<SpareCode> spares;
    int nextSpare = 0;
    QElapsedTimer clock;
    // The layout as it was when the current typing began.
    XkbDescPtr xkb = nullptr;
    unsigned int group = 0;
    unsigned int stateModifiers = 0;
    // For each modifier that typing may hold (Shift, level three, level
    // five), a key that sets it.
    KeyCode modifierKey[8] = {};
    QVector<KeyCode> held;

    Display* display() const { return x.display(); }

    bool isSpare(int code) const
    {
        for (const SpareCode& spare : spares) {
            if (spare.code == code)
                return true;
        }
        return false;
    }

    KeySym firstSym(int code) const
    {
        if (!xkb || code < xkb->min_key_code || code > xkb->max_key_code || !XkbKeyNumGroups(xkb, code))
            return NoSymbol;
        return XkbKeySymEntry(xkb, code, 0, 0);
    }

    void findSpareCodes()
    {
        int perCode = 0;
        KeySym* map = XGetKeyboardMapping(display(), KeyCode(minCode), maxCode - minCode + 1, &perCode);
        if (!map)
            return;
        symsPerCode = perCode;
        // From the top: low codes are the ones keyboards send.
        for (int code = maxCode; code >= minCode; --code) {
            const KeySym* syms = map + (code - minCode) * perCode;
            bool empty = true;
            for (int i = 0; i < perCode && empty; ++i)
                empty = syms[i] == NoSymbol;
            if (empty) {
                SpareCode spare;
                spare.code = KeyCode(code);
                spares.append(spare);
            }
        }
        XFree(map);
    }

    void refreshLayout()
    {
        if (xkb)
            XkbFreeKeyboard(xkb, 0, True);
        xkb = XkbGetMap(display(), XkbAllClientInfoMask, XkbUseCoreKbd);
        XkbStateRec state;
        if (XkbGetState(display(), XkbUseCoreKbd, &state) == Success) {
            group = state.group;
            stateModifiers = state.mods;
        }
        for (KeyCode& key : modifierKey)
            key = 0;
        XModifierKeymap* modmap = XGetModifierMapping(display());
        if (!modmap)
            return;
        for (int index = 0; index < 8; ++index) {
            for (int i = 0; i < modmap->max_keypermod && !modifierKey[index]; ++i) {
                const KeyCode code = modmap->modifiermap[index * modmap->max_keypermod + i];
                const KeySym sym = firstSym(code);
                const bool usable = index == ShiftMapIndex
                                        ? sym == XK_Shift_L || sym == XK_Shift_R
                                        : sym == XK_ISO_Level3_Shift || sym == XK_ISO_Level5_Shift;
                if (code && usable)
                    modifierKey[index] = code;
            }
        }
        XFreeModifiermap(modmap);
    }

    // The shift level a key of `type` has with these modifiers in effect.
    static int levelOf(const XkbKeyTypeRec* type, unsigned int modifiers)
    {
        const unsigned int relevant = modifiers & type->mods.mask;
        for (int i = 0; i < type->map_count; ++i) {
            if (type->map[i].active && type->map[i].mods.mask == relevant)
                return type->map[i].level;
        }
        return 0;
    }

    // The key and modifiers that give `sym` in the current group, given the
    // modifiers already in effect (Caps Lock, say); false when the layout
    // has no key for it that typing can reach.
    bool findStroke(KeySym sym, Stroke* stroke) const
    {
        if (!xkb)
            return false;
        unsigned int pressable = 0;
        for (int index = 0; index < 8; ++index) {
            if (modifierKey[index])
                pressable |= 1u << index;
        }
        int best = -1;
        for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
            const int groups = XkbKeyNumGroups(xkb, code);
            if (!groups || isSpare(code))
                continue;
            const int keyGroup = int(group) % groups;
            const XkbKeyTypeRec* type = XkbKeyKeyType(xkb, code, keyGroup);
            const int width = XkbKeyGroupWidth(xkb, code, keyGroup);
            for (int level = 0; level < width; ++level) {
                if (XkbKeySymEntry(xkb, code, level, keyGroup) != sym)
                    continue;
                // Every combination of the modifiers typing can hold.
                for (unsigned int held = 0; held <= pressable; ++held) {
                    if ((held & ~pressable) || levelOf(type, stateModifiers | held) != level)
                        continue;
                    const int cost = bitCount(held);
                    if (best < 0 || cost < best) {
                        best = cost;
                        stroke->code = KeyCode(code);
                        stroke->modifiers = held;
                    }
                }
            }
        }
        return best >= 0;
    }

    void key(KeyCode code, bool down)
    {
        XTestFakeKeyEvent(display(), code, down ? True : False, CurrentTime);
        if (down)
            held.append(code);
        else
            held.removeAll(code);
    }

    void pause()
    {
        XFlush(display());
        if (keyDelay > 0)
            QThread::msleep(static_cast<unsigned long>(keyDelay));
    }

    void strike(const Stroke& stroke)
    {
        for (int index = 0; index < 8; ++index) {
            if (stroke.modifiers & (1u << index))
                key(modifierKey[index], true);
        }
        key(stroke.code, true);
        key(stroke.code, false);
        for (int index = 7; index >= 0; --index) {
            if (stroke.modifiers & (1u << index))
                key(modifierKey[index], false);
        }
        pause();
    }

    // Waits until the spare code's last press is old enough to rebind it.
    void waitForGrace(const SpareCode& spare, qint64 grace = rebindGraceMs)
    {
        const qint64 wait = spare.lastUsed + grace - clock.elapsed();
        if (wait > 0) {
            XSync(display(), False);
            QThread::msleep(static_cast<unsigned long>(wait));
        }
    }

    bool bind(SpareCode& spare, KeySym sym)
    {
        QVector<KeySym> syms(qMax(symsPerCode, 2), NoSymbol);
        // The same symbol on both levels, so that Shift or Caps Lock in
        // effect change nothing.
        syms[0] = sym;
        syms[1] = sym;
        AutoTypeX11ErrorTrap trap(display());
        XChangeKeyboardMapping(display(), spare.code, syms.size(), syms.data(), 1);
        const bool ok = trap.sync() == Success;
        spare.bound = ok ? sym : KeySym(~0UL);
        return ok;
    }

    void unbind(SpareCode& spare)
    {
        QVector<KeySym> syms(qMax(symsPerCode, 1), NoSymbol);
        AutoTypeX11ErrorTrap trap(display());
        XChangeKeyboardMapping(display(), spare.code, syms.size(), syms.data(), 1);
        trap.sync();
        spare.bound = NoSymbol;
    }

    // A spare key code that gives `sym`: one bound to it already, else the
    // one used longest ago, bound afresh.
    SpareCode* spareFor(KeySym sym)
    {
        for (SpareCode& spare : spares) {
            if (spare.bound == sym)
                return &spare;
        }
        if (spares.isEmpty())
            return nullptr;
        SpareCode* oldest = &spares[0];
        for (SpareCode& spare : spares) {
            if (spare.bound == NoSymbol) {
                oldest = &spare;
                break;
            }
            if (spare.lastUsed < oldest->lastUsed)
                oldest = &spare;
        }
        waitForGrace(*oldest);
        return bind(*oldest, sym) ? oldest : nullptr;
    }

    void restoreSpares()
    {
        SpareCode newest;
        bool any = false;
        for (const SpareCode& spare : spares) {
            if (spare.bound != NoSymbol) {
                newest.lastUsed = any ? qMax(newest.lastUsed, spare.lastUsed) : spare.lastUsed;
                any = true;
            }
        }
        if (!any)
            return;
        waitForGrace(newest, restoreGraceMs);
        for (SpareCode& spare : spares) {
            if (spare.bound != NoSymbol) {
                unbind(spare);
                spare.lastUsed = -rebindGraceMs;
            }
        }
    }

    bool typeSym(KeySym sym, QString* error)
    {
        Stroke stroke;
        if (findStroke(sym, &stroke) || (legacySym(sym) != NoSymbol && findStroke(legacySym(sym), &stroke))) {
            strike(stroke);
            return !x.isLost();
        }
        SpareCode* spare = spareFor(sym);
        if (!spare) {
            if (error)
                *error = AutoTypeKeyboard::tr("The keyboard has no free key code to type a character "
                                              "that is not on its layout.");
            return false;
        }
        stroke.code = spare->code;
        strike(stroke);
        spare->lastUsed = clock.elapsed();
        return !x.isLost();
    }
};

AutoTypeKeyboard::AutoTypeKeyboard()
    : d(new Private)
{
    d->clock.start();
    if (!d->x.isOpen())
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    d->hasXTest = XTestQueryExtension(d->display(), &event, &error, &major, &minor);
    int xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion, opcode = 0;
    if (!d->hasXTest || !XkbQueryExtension(d->display(), &opcode, &event, &error, &xkbMajor, &xkbMinor)) {
        d->hasXTest = false;
        return;
    }
    // Typing goes on even while another client grabs the whole server.
    XTestGrabControl(d->display(), True);
    XDisplayKeycodes(d->display(), &d->minCode, &d->maxCode);
    d->findSpareCodes();
    d->refreshLayout();
}

AutoTypeKeyboard::~AutoTypeKeyboard()
{
    if (isOpen()) {
        for (int i = d->held.size() - 1; i >= 0; --i)
            XTestFakeKeyEvent(d->display(), d->held.at(i), False, CurrentTime);
        d->restoreSpares();
        XSync(d->display(), False);
    }
    for (SpareCode& spare : d->spares)
        spare.bound = NoSymbol;
    if (d->xkb)
        XkbFreeKeyboard(d->xkb, 0, True);
}

bool AutoTypeKeyboard::isAvailable(QString* reason)
{
    QString why;
    if (AutoTypeX11Connection::isWaylandSession()) {
        why = tr("Auto-Type needs an X11 display; it does not work in a Wayland session.");
    } else {
        AutoTypeX11Connection x;
        int event = 0, error = 0, major = 0, minor = 0;
        if (!x.isOpen())
            why = tr("Auto-Type needs an X11 display.");
        else if (!XTestQueryExtension(x.display(), &event, &error, &major, &minor))
            why = tr("Auto-Type needs the XTest extension of the X display, which this display lacks.");
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

bool AutoTypeKeyboard::isOpen() const
{
    return d->x.isOpen() && d->hasXTest;
}

void AutoTypeKeyboard::setKeyDelay(int milliseconds)
{
    d->keyDelay = qBound(0, milliseconds, 1000);
}

// How long typing waits after letting go of the held modifiers.
constexpr unsigned long settleAfterReleaseMs = 100;

void AutoTypeKeyboard::releaseHeldModifiers()
{
    if (!isOpen())
        return;
    XModifierKeymap* modmap = XGetModifierMapping(d->display());
    d->refreshLayout();
    auto isModifier = [&](int code) {
        for (int i = 0; modmap && i < 8 * modmap->max_keypermod; ++i) {
            if (modmap->modifiermap[i] == code)
                return true;
        }
        return false;
    };
    // Keys that are down but must stay so: Caps Lock and the other locks.
    auto mayStayDown = [&](int code) { return isLockKeysym(d->firstSym(code)); };
    char keys[32];
    XQueryKeymap(d->display(), keys);
    for (int code = d->minCode; code <= d->maxCode; ++code) {
        if ((keys[code / 8] >> (code % 8) & 1) && isModifier(code) && !mayStayDown(code))
            XTestFakeKeyEvent(d->display(), KeyCode(code), False, CurrentTime);
    }
    d->held.clear();
    XSync(d->display(), False);
    if (modmap)
        XFreeModifiermap(modmap);
    // A key the user holds stays down whatever this client sends.
    QElapsedTimer timer;
    timer.start();
    while (!d->x.isLost() && timer.elapsed() < releaseTimeoutMs) {
        XQueryKeymap(d->display(), keys);
        bool anyDown = false;
        for (int code = d->minCode; code <= d->maxCode && !anyDown; ++code)
            anyDown = (keys[code / 8] >> (code % 8) & 1) && !mayStayDown(code);
        if (!anyDown)
            break;
        QThread::msleep(10);
    }
    // The focused program learns of the released modifiers from the
    // display's state reports; a key typed before it has taken them in can
    // still reach it as a shortcut (Ctrl held) and be lost.
    QThread::msleep(settleAfterReleaseMs);
    d->refreshLayout();
}

bool AutoTypeKeyboard::typeText(const QString& text, QString* error)
{
    if (!isOpen()) {
        if (error)
            *error = tr("Auto-Type has no connection to an X11 display with XTest.");
        return false;
    }
    // Checked whole first, so that a text that cannot be typed types nothing.
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        const ushort u = c.unicode();
        const bool control = (u < 0x20 && u != '\t' && u != '\n' && u != '\r') || (u >= 0x7f && u < 0xa0);
        if (c.isSurrogate() || control) {
            if (error)
                *error = tr("The text holds a character that cannot be typed.");
            return false;
        }
    }
    d->refreshLayout();
    for (int i = 0; i < text.size(); ++i) {
        uint codePoint = text.at(i).unicode();
        if (QChar::isHighSurrogate(codePoint)) {
            codePoint = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        KeySym sym;
        if (codePoint == '\t') {
            sym = XK_Tab;
        } else if (codePoint == '\n') {
            sym = XK_Return;
        } else if (codePoint == '\r') {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                continue;
            sym = XK_Return;
        } else {
            sym = keysymOf(codePoint);
        }
        if (!d->typeSym(sym, error)) {
            if (error && d->x.isLost())
                *error = tr("The connection to the X11 display was lost while typing.");
            return false;
        }
    }
    XSync(d->display(), False);
    return true;
}

bool AutoTypeKeyboard::pressKey(Key key, QString* error)
{
    switch (key) {
    case Tab:
        return typeText(QStringLiteral("\t"), error);
    case Enter:
        return typeText(QStringLiteral("\n"), error);
    case Space:
        return typeText(QStringLiteral(" "), error);
    }
    return false;
}
