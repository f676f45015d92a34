#ifndef AUTOTYPEMATCHER_H
#define AUTOTYPEMATCHER_H

#include "app/database/PasswordDatabase.h"

#include <QList>
#include <QString>
#include <QStringList>

// Which entries belong to a window, by its title: an entry matches when the
// title contains the entry's name, or the host of its URL (without
// "www."), ignoring case, or when the title matches one of the entry's
// note lines "auto-type-window: PATTERN" (wildcards * and ?, the whole
// title, ignoring case). Entries of the backup group are old copies and
// never match.
class AutoTypeMatcher
{
public:
    static bool matches(const PasswordDatabase::Password& password, const QString& windowTitle);
    // The matching entries of `database`, in tree order.
    static QList<PasswordDatabase::Password*> matchingPasswords(const PasswordDatabase& database,
                                                                const QString& windowTitle);
    // Every entry of `database` outside the backup group, in tree order.
    static QList<PasswordDatabase::Password*> allPasswords(const PasswordDatabase& database);

    // The patterns of the note's "auto-type-window:" lines.
    static QStringList windowPatterns(const QString& note);
    // The host of `url`, lower case and without a leading "www."; empty
    // when it has none. A URL without a scheme is read as a web address.
    static QString urlHost(const QString& url);

private:
    AutoTypeMatcher() = default;
};

#endif // AUTOTYPEMATCHER_H
