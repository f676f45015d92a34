#ifndef DATABASEKEYDERIVATION_H
#define DATABASEKEYDERIVATION_H

#include "blib/task/BTaskResult.h"

#include <QByteArray>
#include <QString>

class BTaskController;
class DatabaseKdfParameters;
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

// Format 4: one expensive derivation of a 48-byte master key M from the
// password and the vault's salt (PBKDF2-HMAC-Keccak-384 with one output
// block, or Argon2id), then both keys from M by HKDF-Expand with
// HMAC-Keccak-384, so that no key is cheaper to reach than the other.
constexpr int DatabaseKdfSaltLength = 32;
constexpr int DatabaseMinKdfSaltLength = 16;
constexpr int DatabaseMasterKeyLength = 48;
constexpr int DatabaseFormat4HmacKeyLength = 48;

// M for the given settings and salt, run on `controller` in the calling
// thread (a PBKDF2 derivation stops at its next progress report once
// cancellation is requested). On anything but success `masterKey` is empty.
BTaskResult deriveMasterKey(BTaskController* controller, const QString& password,
                            const QByteArray& salt, const DatabaseKdfParameters& parameters,
                            QByteArray& masterKey);
// cipherKey (32 bytes) and hmacKey (48 bytes) from M; both are locked into
// memory. The old contents of the two arrays are wiped first.
void expandDatabaseKeys(const QByteArray& masterKey, QByteArray& cipherKey, QByteArray& hmacKey);

#endif // DATABASEKEYDERIVATION_H
