#ifndef DATABASEKEYDERIVATION_H
#define DATABASEKEYDERIVATION_H

#include "blib/task/BTaskResult.h"

#include <QByteArray>
#include <QString>

class BTaskController;
class PasswordDatabase;

// Salt length of the database's two keys.
constexpr int DatabaseKeySaltLength = 16;
// Cipher key: the database's kdfRounds, 32 bytes.
constexpr int DatabaseCipherKeyLength = 32;
// HMAC key: always 10000 rounds and 128 bytes, whatever the database's rounds.
constexpr int DatabaseHmacKeyRounds = 10000;
constexpr int DatabaseHmacKeyLength = 128;

// Derives one of a database's keys from the password with the database's KDF.
// The old key is wiped first; an empty salt is filled with 16 random bytes and
// kept, so a later derivation reuses it. The KDF task runs on `controller` in
// the calling thread. On failure `key` is left empty.
BTaskResult deriveDatabaseKey(PasswordDatabase& db, BTaskController* controller,
                              const QString& password, QByteArray& key, QByteArray& salt,
                              int rounds, int keyLength);

#endif // DATABASEKEYDERIVATION_H
