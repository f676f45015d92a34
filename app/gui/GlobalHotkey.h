#ifndef GLOBALHOTKEY_H
#define GLOBALHOTKEY_H

#include <QKeySequence>
#include <QObject>

#include <memory>

class QSocketNotifier;

// One system-wide key combination, grabbed on the X display's root window
// through a connection of its own, so that it works whatever platform Qt
// runs on. Caps Lock and Num Lock do not matter to it.
class GlobalHotkey : public QObject
{
    Q_OBJECT

public:
    explicit GlobalHotkey(QObject* parent = nullptr);
    // Ungrabs the combination.
    ~GlobalHotkey() override;

    // Grabs the first combination of `sequence` in place of the one held so
    // far; an empty sequence only lets go of it. False, with the reason in
    // `error`, when there is no X11 display, the key is not on the keyboard
    // or another program holds the combination; the combination held so far
    // then stays grabbed.
    bool setShortcut(const QKeySequence& sequence, QString* error = nullptr);
    QKeySequence shortcut() const;

signals:
    // The combination was pressed (once for each press, however long it is
    // held).
    void activated();

private:
    struct Private;

    void readEvents();

    std::unique_ptr<Private> d;
    QSocketNotifier* m_notifier = nullptr;
};

#endif // GLOBALHOTKEY_H
