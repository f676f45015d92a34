#include "app/database/DatabaseKeyDerivation.h"

#include "app/database/DatabaseKdfParameters.h"
#include "app/database/PasswordDatabase.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BHkdf.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BSubTaskController.h"

BTaskResult deriveDatabaseKey(PasswordDatabase& db, BTaskController* controller,
                              const QString& password, QByteArray& key, QByteArray& salt,
                              int rounds, int keyLength)
{
    wipeKey(key);
    if (salt.isEmpty())
        salt = randomBytes(DatabaseKeySaltLength);
    BKDFTask task(db.getKdf(), password, salt, rounds, keyLength);
    const BTaskResult result = task.run(controller);
    if (result == Success) {
        key = task.result();
        lockKeyInMemory(key);
    }
    return result;
}

BTaskResult deriveMasterKey(BTaskController* controller, const QString& password,
                            const QByteArray& salt, const DatabaseKdfParameters& parameters,
                            QByteArray& masterKey)
{
    wipe(masterKey);
    BKDFTask task(parameters.kdf, password, salt, parameters.rounds, DatabaseMasterKeyLength);
    if (parameters.isArgon2())
        task.setArgon2Parameters(parameters.memoryKib, parameters.parallelism);
    // The derivation's own title is not the caller's.
    BSubTaskController stage(controller, 0.0, 1.0);
    const BTaskResult result = task.run(&stage);
    if (result == Success && task.result().size() == DatabaseMasterKeyLength)
        masterKey = task.result();
    return masterKey.isEmpty() && result == Success ? Failure : result;
}

void expandDatabaseKeys(const QByteArray& masterKey, QByteArray& cipherKey, QByteArray& hmacKey)
{
    wipeKey(cipherKey);
    wipeKey(hmacKey);
    cipherKey = hkdfExpand(BHashId::SHA3_384, masterKey, QByteArrayLiteral("Lockharbour v4 cipher key"),
                           DatabaseCipherKeyLength);
    hmacKey = hkdfExpand(BHashId::SHA3_384, masterKey, QByteArrayLiteral("Lockharbour v4 hmac key"),
                         DatabaseFormat4HmacKeyLength);
    lockKeyInMemory(cipherKey);
    lockKeyInMemory(hmacKey);
}
