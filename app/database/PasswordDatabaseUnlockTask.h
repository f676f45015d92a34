#ifndef PASSWORDDATABASEUNLOCKTASK_H
#define PASSWORDDATABASEUNLOCKTASK_H

#include "blib/task/BTask.h"

#include <QString>

class PasswordDatabase;

// Derives both keys from a typed password (cipher key under progress
// 0.0-0.8, HMAC key under 0.8-1.0), checks them against the stored HMAC,
// decrypts the stored payload and rebuilds the tree. Serves a freshly loaded
// file as well as a locked workspace.
//
// The tree is built aside and installed only when all of it could be read:
// on any failure the database keeps its groups, flags and payload (the keys
// just derived stay, as a later attempt wipes them anyway). On failure the
// controller carries one of the texts "Failed to unlock password database.
// Incorrect password." (also for a damaged payload), "... Data is corrupt.",
// "... Data unloadable." or, for groups nested deeper than
// PasswordDatabase::MaxGroupDepth, "... Its groups are nested more than 256
// levels deep."; a failed key derivation sets none. The task
// cannot be cancelled.
class PasswordDatabaseUnlockTask : public BTask
{
    Q_OBJECT

public:
    PasswordDatabaseUnlockTask(PasswordDatabase& database, const QString& password);
    // Unlocks with the keys of another, unlocked database instead of a
    // password, without any derivation: a copy of the same vault under the
    // same password (same salts and settings) opens with them; any other
    // fails as an incorrect password.
    PasswordDatabaseUnlockTask(PasswordDatabase& database, const PasswordDatabase& keysOf);
    ~PasswordDatabaseUnlockTask() override;

    BTaskResult run(BTaskController* controller) override;

private:
    PasswordDatabase& m_database;
    QString m_password;
    const PasswordDatabase* m_keysOf = nullptr;
};

#endif // PASSWORDDATABASEUNLOCKTASK_H
