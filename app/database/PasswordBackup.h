#ifndef PASSWORDBACKUP_H
#define PASSWORDBACKUP_H

#include "app/database/PasswordDatabase.h"

// The backup group: the first group in the database tagged
// PasswordDatabase::BackupGroupTag, where copies of changed and deleted
// passwords are kept. The program and the command-line client both back up
// through here, so that they keep the same copies.

// Puts a copy of `password` into the backup group, creating the group
// (named "Backup", icon "tessavond.backup", appended at the top level, which
// marks the database modified) when there is none. The same state is never
// kept twice: when the group already holds a password equal to it, nothing
// is added. Returns true when a copy was added. `createdGroup`, when given,
// receives the group made by this call, or null when it existed already (so
// that a view can show the new group).
bool backupPassword(PasswordDatabase& db, const PasswordDatabase::Password& password,
                    PasswordDatabase::Group** createdGroup = nullptr);

// True when `item` is the backup group or lies inside it at any depth (a
// group around it, or the item itself when it is a group, is tagged as the
// backup group): such passwords are deleted without a copy.
bool isInBackupGroup(const PasswordDatabase::Item& item);

#endif // PASSWORDBACKUP_H
