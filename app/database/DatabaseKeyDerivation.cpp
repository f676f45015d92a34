#include "app/database/DatabaseKeyDerivation.h"

#include "app/database/PasswordDatabase.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"

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
