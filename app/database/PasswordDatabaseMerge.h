#ifndef PASSWORDDATABASEMERGE_H
#define PASSWORDDATABASEMERGE_H

#include "app/database/PasswordDatabase.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Merges the tree of one vault into another: two copies of the same vault
// that were changed apart (on two computers, or a synced folder's conflict
// copy).
//
// Items are matched by uuid, else to the one item of the same kind, name and
// parent path when exactly one exists on each side. Of a matched pair the
// later modified time wins, with its fields and its place; when two password
// versions differ the losing one is kept as a copy in the backup group. An
// item on one side only is added, unless the other side deleted it after it
// was last modified; a group is never removed while it holds items. The
// deletion lists are joined. Merging the same source again changes nothing.
class PasswordDatabaseMerge
{
public:
    struct Summary {
        int added = 0;
        int updated = 0;
        int deleted = 0;
        int conflicts = 0;
        // One line per change: "Added: Personal - Bank" and the like.
        QStringList details;
        bool isEmpty() const { return added + updated + deleted + conflicts == 0; }
    };

    // Merges `source` into `destination` (both unlocked) and marks the
    // destination modified when anything changed.
    static Summary merge(PasswordDatabase& destination, const PasswordDatabase& source);

private:
    using Item = PasswordDatabase::Item;
    using Group = PasswordDatabase::Group;
    using Password = PasswordDatabase::Password;

    PasswordDatabaseMerge(PasswordDatabase& destination, const PasswordDatabase& source);

    void matchItems();
    void applySource();
    void applyDeletions();
    void joinDeletionLists();

    // The destination group standing for a source group (null for the top
    // level), created with its ancestors when it is not there.
    Group* destinationGroupFor(const Group* sourceGroup);
    void place(Item* item, Group* parent);
    static bool sameGroupFields(const Group& a, const Group& b);
    static QString pathKey(const Item& item);

    PasswordDatabase& m_destination;
    const PasswordDatabase& m_source;
    Summary m_summary;
    // Source item -> its destination counterpart (matched, updated or added).
    QHash<const Item*, Item*> m_counterpart;
    QSet<const Item*> m_matchedDestination;
    // Newest deletion time per uuid, for each side.
    QHash<QString, QDateTime> m_destinationDeleted;
    QHash<QString, QDateTime> m_sourceDeleted;
};

#endif // PASSWORDDATABASEMERGE_H
