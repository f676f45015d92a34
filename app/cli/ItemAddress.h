#ifndef ITEMADDRESS_H
#define ITEMADDRESS_H

#include "app/database/PasswordDatabase.h"

#include <QHash>
#include <QList>
#include <QString>

// How the command-line client names the items of one database. Three forms
// are understood:
//   "Personal - Finance - Bank"   the full name, as the program shows it;
//   "/Personal/Finance/Bank"      a path: one part per level, "\/" for a
//                                 slash and "\\" for a backslash inside a
//                                 name; a trailing "/" names a group only;
//   "@7"                          the item's number in `ls --index`, counting
//                                 every item of the tree in order from 1.
// A full name can be ambiguous (a name containing " - ", or a group and an
// entry of the same name); a path only when siblings share a name; a number
// never. A text that reads as a path or number but names no item is tried as
// a full name as well, so that names starting with "/" or "@" stay usable.
class ItemAddress
{
public:
    // Item kinds to look for (the item types, or both).
    enum Kind { AnyKind = 0, GroupKind = PasswordDatabase::GroupType, EntryKind = PasswordDatabase::PasswordType };

    explicit ItemAddress(const PasswordDatabase& db);

    // Every item of `kind` that `address` names, in tree order.
    QList<PasswordDatabase::Item*> resolve(const QString& address, int kind) const;

    // The shortest form that names `item` alone among items of its kind:
    // the full name when that is unique, else the path, else the number.
    QString shortestAddress(const PasswordDatabase::Item* item) const;
    // The path of `item`, with a trailing "/" for a group.
    static QString path(const PasswordDatabase::Item* item);
    // "@N", the item's number in the whole tree.
    QString number(const PasswordDatabase::Item* item) const;

    // Splits a path into its unescaped parts. False for text that is no
    // path: not starting with "/", an empty part, or a stray backslash.
    // `groupOnly` tells whether it ended in "/".
    static bool splitPath(const QString& text, QStringList& parts, bool& groupOnly);
    // A name as one path part.
    static QString escapePart(const QString& name);

private:
    QList<PasswordDatabase::Item*> m_items; // the whole tree in order
    QList<PasswordDatabase::Group*> m_topLevel;
    QHash<const PasswordDatabase::Item*, int> m_numbers; // item -> index in m_items
    mutable QHash<QString, int> m_fullNameCounts[3]; // per kind, built when first needed

    QList<PasswordDatabase::Item*> byFullName(const QString& fullName, int kind) const;
    QList<PasswordDatabase::Item*> byPath(const QStringList& parts, bool groupOnly, int kind) const;
    int fullNameCount(const QString& fullName, int kind) const;
};

#endif // ITEMADDRESS_H
