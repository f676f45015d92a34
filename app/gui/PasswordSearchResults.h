#ifndef PASSWORDSEARCHRESULTS_H
#define PASSWORDSEARCHRESULTS_H

#include "app/database/PasswordDatabase.h"

#include <QHash>
#include <QList>
#include <QString>

// The search of the find bar over a whole database, and the rows of the
// password table that list its matches, each with the full name of its
// group. The lists are taken afresh for every search and fill and never
// kept beyond the next change of the database, so they cannot outlive an
// entry that an edit, a deletion, a lock or a close destroys.
class PasswordSearchResults
{
public:
    struct Row {
        PasswordDatabase::Password* password;
        QString groupName;
    };

    // The entries of `database` (none when it is closed or locked) that
    // match `text` with the find flags of the find bar, in tree order; with
    // no field ticked nothing matches. The entries inside the backup group
    // are left out unless `backupGroup`.
    static QList<PasswordDatabase::Password*> find(const PasswordDatabase& database, const QString& text,
                                                   int findFlags, bool backupGroup);
    // The rows that list `found`.
    static QList<Row> rowsOf(const QList<PasswordDatabase::Password*>& found);

    // "Parent / Child" for a group inside the top-level group "Parent".
    static QString fullGroupName(const PasswordDatabase::Group* group);

private:
    PasswordSearchResults() = default;
};

#endif // PASSWORDSEARCHRESULTS_H
