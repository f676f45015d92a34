#ifndef JSONTREEIMPORT_H
#define JSONTREEIMPORT_H

#include "app/database/PasswordDatabase.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

// Reads the JSON that `lockharbour-cli export` writes ({"groups": [...]},
// the tree as the database file holds it) back into groups. The file is
// treated as hostile: its size is bounded, every member must be one the
// format knows with the type it has there, every attachment must match its
// hash, and anything that does not fit refuses the whole file.
class JsonTreeImport
{
    Q_DECLARE_TR_FUNCTIONS(JsonTreeImport)

public:
    // Files larger than this are refused before they are read.
    static constexpr qint64 MaxFileSize = PasswordDatabase::MaxFileSize;

    // On success the new, detached top-level groups are appended to `groups`
    // and belong to the caller. On failure `groups` is unchanged, nothing
    // stays allocated and `error` says what is wrong.
    // `deletions`, when given, receives the file's "deleted" list.
    static bool readFile(const QString& path, QList<PasswordDatabase::Group*>& groups, QString& error,
                         QList<PasswordDatabase::Deletion>* deletions = nullptr);
};

#endif // JSONTREEIMPORT_H
