#include "app/gui/PasswordSearchResults.h"

#include "app/database/PasswordBackup.h"

#include <QStringList>

QList<PasswordSearchResults::Row> PasswordSearchResults::collect(const PasswordDatabase& database,
                                                                 const QString& text, int findFlags,
                                                                 bool backupGroup)
{
    QList<Row> rows;
    if (!database.isOpen() || database.isLocked() || !(findFlags & ~PasswordDatabase::FindCaseSensitive))
        return rows;
    // Most results share a few groups; each group's name is built once.
    QHash<const PasswordDatabase::Group*, QString> names;
    const QList<PasswordDatabase::Password*> found = database.find(text, findFlags);
    rows.reserve(found.size());
    for (PasswordDatabase::Password* password : found) {
        if (!backupGroup && isInBackupGroup(*password))
            continue;
        const PasswordDatabase::Group* group = password->getParent();
        auto it = names.find(group);
        if (it == names.end())
            it = names.insert(group, fullGroupName(group));
        rows.append({ password, *it });
    }
    return rows;
}

QString PasswordSearchResults::fullGroupName(const PasswordDatabase::Group* group)
{
    QStringList parts;
    for (; group; group = group->getParent())
        parts.prepend(group->getName());
    return parts.join(QStringLiteral(" / "));
}
