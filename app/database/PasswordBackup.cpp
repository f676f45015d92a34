#include "app/database/PasswordBackup.h"

#include <QCoreApplication>

using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Password = PasswordDatabase::Password;

bool backupPassword(PasswordDatabase& db, const Password& password, Group** createdGroup)
{
    if (createdGroup)
        *createdGroup = nullptr;
    // The first group with the tag: a password carrying it (from another
    // program's file, say) must not make every backup start a new group.
    Group* backup = nullptr;
    for (Item* item : db.getAllItems()) {
        if (item->isGroup() && item->getTag() == PasswordDatabase::BackupGroupTag) {
            backup = static_cast<Group*>(item);
            break;
        }
    }
    if (!backup) {
        backup = new Group;
        backup->setName(QCoreApplication::translate("MainWindow", "Backup"));
        backup->setTag(PasswordDatabase::BackupGroupTag);
        backup->setIconId(QStringLiteral("tessavond.backup"));
        db.addItem(backup);
        if (createdGroup)
            *createdGroup = backup;
    }
    for (const Item* child : backup->getItems()) {
        if (child->isPassword() && *static_cast<const Password*>(child) == password)
            return false;
    }
    // A copy is an item of its own, not a second place of the original.
    Password* copy = new Password(password);
    copy->renewUuid();
    backup->addItem(copy);
    db.setModified();
    return true;
}

bool isInBackupGroup(const Item& item)
{
    // Every enclosing group counts, not only the top-level one: the backup
    // group may have been moved inside another group.
    const Item* at = item.isGroup() ? &item : item.getParent();
    for (; at; at = at->getParent()) {
        if (at->getTag() == PasswordDatabase::BackupGroupTag)
            return true;
    }
    return false;
}
