#ifndef PASSWORDSEARCHRESULTS_H
#define PASSWORDSEARCHRESULTS_H

#include "app/database/PasswordDatabase.h"

#include <QHash>
#include <QList>
#include <QString>

// The entries of a whole database that match a find text, in tree order,
// each with the full name of its group. The list is taken afresh for every
// fill of the password table and never kept beyond it, so it cannot outlive
// an entry that an edit, a deletion, a lock or a close destroys.
class PasswordSearchResults
{
public:
    struct Row {
        PasswordDatabase::Password* password;
        QString groupName;
    };

    // Searches `database` (nothing when it is closed or locked) with the find
    // flags of the find bar; with no field ticked nothing matches. The
    // entries inside the backup group are left out unless `backupGroup`.
    static QList<Row> collect(const PasswordDatabase& database, const QString& text, int findFlags,
                              bool backupGroup);

    // "Parent / Child" for a group inside the top-level group "Parent".
    static QString fullGroupName(const PasswordDatabase::Group* group);

private:
    PasswordSearchResults() = default;
};

#endif // PASSWORDSEARCHRESULTS_H
