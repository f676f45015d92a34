#ifndef TERMINALTEXT_H
#define TERMINALTEXT_H

#include <QString>

// Text from a vault, an imported file or a plugin, made safe to show on a
// terminal: control characters (C0, DEL and C1) become visible escapes such
// as \x1b, \n and \u009b, so that no name can move the cursor, set a window
// title, ring the bell or forge a line of output. Backslashes stay as they
// are. Output meant for programs (export, a single --field value) does not
// go through here.
class TerminalText
{
public:
    // For one line: every control character escaped, tab and newline too.
    static QString line(const QString& text);
    // For text that may span lines (notes, messages): newline and tab stay,
    // every other control character is escaped.
    static QString block(const QString& text);

private:
    static QString escaped(const QString& text, bool keepLines);
};

#endif // TERMINALTEXT_H
