#ifndef AUTOTYPEKEYBOARD_H
#define AUTOTYPEKEYBOARD_H

#include <QCoreApplication>
#include <QString>

#include <memory>

// Types characters into whichever window has the input focus, through the X
// display's XTest extension, on a connection of its own (whatever platform
// Qt runs on). A character of the keyboard layout is typed by its key with
// the modifiers its level needs; any other character by binding a key code
// that has no symbols to it for the time of the typing. Nothing goes through
// the clipboard, and no copy of the text is kept.
class AutoTypeKeyboard
{
    Q_DECLARE_TR_FUNCTIONS(AutoTypeKeyboard)

public:
    enum Key { Tab, Enter, Space };

    // Opens the connection; cheap enough to make one for each typing run.
    AutoTypeKeyboard();
    // Gives every key code it bound back its empty mapping, releases what it
    // still holds down and closes the connection.
    ~AutoTypeKeyboard();
    AutoTypeKeyboard(const AutoTypeKeyboard&) = delete;
    AutoTypeKeyboard& operator=(const AutoTypeKeyboard&) = delete;

    // Whether there is an X11 display with XTest; when not, `reason` tells
    // why in words for the user.
    static bool isAvailable(QString* reason = nullptr);

    bool isOpen() const;
    // The pause after each key press and release, in milliseconds (10 unless set).
    void setKeyDelay(int milliseconds);
    // Lets go of every modifier key that is down (the user may still hold
    // those of the global hotkey), leaving Caps Lock and Num Lock as they
    // are, then waits (a second at most) until no key is held any more, since
    // keys the user holds cannot be released for them.
    void releaseHeldModifiers();
    // Types every character; '\t' as Tab and '\n' (or "\r\n") as Return.
    // Nothing is typed when the text holds a character that cannot be typed
    // (another control character, a broken surrogate pair).
    bool typeText(const QString& text, QString* error = nullptr);
    bool pressKey(Key key, QString* error = nullptr);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif // AUTOTYPEKEYBOARD_H
