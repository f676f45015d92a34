#include "app/gui/PasswordSearchResults.h"

#include "app/database/PasswordBackup.h"

#include <QStringList>

#include <algorithm>

QList<PasswordDatabase::Password*> PasswordSearchResults::find(const PasswordDatabase& database,
                                                               const QString& text, int findFlags,
                                                               bool backupGroup)
{
    if (!database.isOpen() || database.isLocked() || !(findFlags & ~PasswordDatabase::FindCaseSensitive))
        return {};
    QList<PasswordDatabase::Password*> found = database.find(text, findFlags);
    if (!backupGroup) {
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [](const PasswordDatabase::Password* password) {
                                       return isInBackupGroup(*password);
                                   }),
                    found.end());
    }
    return found;
}

QList<PasswordSearchResults::Row> PasswordSearchResults::rowsOf(const QList<PasswordDatabase::Password*>& found)
{
    QList<Row> rows;
    // Most results share a few groups; each group's name is built once.
    QHash<const PasswordDatabase::Group*, QString> names;
    rows.reserve(found.size());
    for (PasswordDatabase::Password* password : found) {
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
