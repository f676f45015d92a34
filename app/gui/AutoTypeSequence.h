#ifndef AUTOTYPESEQUENCE_H
#define AUTOTYPESEQUENCE_H

#include "app/database/PasswordDatabase.h"
#include "app/gui/AutoTypeKeyboard.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

// What Auto-Type types for an entry: a sequence of literal text and
// placeholders in braces, "{USERNAME}{TAB}{PASSWORD}{ENTER}" unless the
// entry's note has a line "auto-type: SEQUENCE". The placeholders are
// {USERNAME}, {PASSWORD}, {URL}, {EMAIL}, {PHONE}, {TOTP} (the current
// one-time code of the note's otpauth link), {TAB}, {ENTER}, {SPACE},
// {DELAY N} (a pause of N milliseconds) and {{} and {}} for the braces
// themselves, in any letter case.
//
// The steps hold copies of the entry's secrets: they are wiped when the
// sequence goes.
class AutoTypeSequence
{
    Q_DECLARE_TR_FUNCTIONS(AutoTypeSequence)

public:
    static constexpr int MaxDelayMilliseconds = 10000;
    // Longest sequence read from a note, in characters.
    static constexpr int MaxSequenceLength = 1024;

    struct Step {
        enum Kind { Text, Key, Delay };
        Kind kind = Text;
        QString text;                               // Text
        AutoTypeKeyboard::Key key = AutoTypeKeyboard::Tab; // Key
        int milliseconds = 0;                       // Delay
    };

    AutoTypeSequence() = default;
    AutoTypeSequence(const AutoTypeSequence&) = delete;
    AutoTypeSequence& operator=(const AutoTypeSequence&) = delete;
    ~AutoTypeSequence();

    static QString defaultSequence();
    // The note's "auto-type:" line (the first one), else the default.
    static QString sequenceOf(const PasswordDatabase::Password& password);

    // Reads `sequence` and fills in the fields of `password`, with the
    // one-time code of `unixTime`. False, with `error` naming what is wrong
    // (an unknown placeholder, an unmatched brace, a {TOTP} without a valid
    // link, a bad delay), and no steps, when anything cannot be typed.
    bool build(const QString& sequence, const PasswordDatabase::Password& password, qint64 unixTime,
               QString* error = nullptr);

    const QList<Step>& steps() const { return m_steps; }
    // Wipes and forgets every step.
    void clear();

private:
    void appendText(const QString& text);

    QList<Step> m_steps;
};

#endif // AUTOTYPESEQUENCE_H
