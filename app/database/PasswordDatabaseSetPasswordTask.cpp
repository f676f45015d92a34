#include "app/database/PasswordDatabaseSetPasswordTask.h"

#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BSubTaskController.h"

#include <QCoreApplication>

namespace {

DatabaseKdfParameters parametersFor(int kdf, int rounds)
{
    if (kdf == BKdfId::Argon2) {
        const DatabaseKdfParameters defaults = DatabaseKdfParameters::defaults();
        return DatabaseKdfParameters::argon2(rounds, defaults.isArgon2() ? defaults.memoryKib
                                                                         : DatabaseKdfParameters::DefaultArgon2MemoryKib,
                                             defaults.isArgon2() ? defaults.parallelism
                                                                 : DatabaseKdfParameters::DefaultArgon2Parallelism);
    }
    return DatabaseKdfParameters(kdf, rounds);
}

} // namespace

PasswordDatabaseSetPasswordTask::PasswordDatabaseSetPasswordTask(PasswordDatabase& database,
                                                                 const QString& password,
                                                                 int cipher, int kdf,
                                                                 int kdfRounds)
    : PasswordDatabaseSetPasswordTask(database, password, cipher, parametersFor(kdf, kdfRounds))
{
}

PasswordDatabaseSetPasswordTask::PasswordDatabaseSetPasswordTask(PasswordDatabase& database,
                                                                 const QString& password,
                                                                 int cipher,
                                                                 const DatabaseKdfParameters& kdf,
                                                                 int formatVersion)
    : m_database(database)
    , m_password(password)
    , m_cipher(cipher)
    , m_kdf(kdf)
    , m_formatVersion(formatVersion)
{
}

PasswordDatabaseSetPasswordTask::~PasswordDatabaseSetPasswordTask()
{
    wipe(m_password);
}

BTaskResult PasswordDatabaseSetPasswordTask::run(BTaskController* controller)
{
    controller->setTitle(QCoreApplication::translate("PasswordDatabase", "Setting Password"));
    if (m_database.m_locked)
        return Failure;
    const int version = m_formatVersion > 0 ? m_formatVersion : m_database.m_fileFormatVersion;
    if (version < CurrentDatabaseFormatVersion)
        return runLegacy(controller);

    const QString problem = m_kdf.problem();
    if (!problem.isEmpty()) {
        controller->setErrorMessage(problem);
        return Failure;
    }
    const QByteArray salt = randomBytes(DatabaseKdfSaltLength);
    QByteArray masterKey;
    const BTaskResult result = deriveMasterKey(controller, m_password, salt, m_kdf, masterKey);
    if (result != Success)
        return result;
    PasswordDatabase& db = m_database;
    db.m_fileFormatVersion = CurrentDatabaseFormatVersion;
    db.m_kdf = m_kdf.kdf;
    db.m_kdfRounds = m_kdf.rounds;
    db.m_kdfMemoryKib = m_kdf.isArgon2() ? m_kdf.memoryKib : 0;
    db.m_kdfParallelism = m_kdf.isArgon2() ? m_kdf.parallelism : 0;
    db.m_cipher = m_cipher;
    wipe(db.m_kdfSalt);
    db.m_kdfSalt = salt;
    // The salts of the earlier layout have no use from now on.
    wipe(db.m_cipherKeySalt);
    wipe(db.m_hmacKeySalt);
    expandDatabaseKeys(masterKey, db.m_cipherKey, db.m_hmacKey);
    wipe(masterKey);
    db.m_open = true;
    db.m_modified = true;
    return Success;
}

BTaskResult PasswordDatabaseSetPasswordTask::runLegacy(BTaskController* controller)
{
    if (m_kdf.kdf != BKdfId::PBKDF2) {
        controller->setErrorMessage(QCoreApplication::translate(
            "PasswordDatabase",
            "Vaults of format version 3 and earlier use PBKDF2 only: upgrade the vault to version 4 "
            "to use Argon2."));
        return Failure;
    }
    m_database.m_fileFormatVersion = LegacyDatabaseFormatVersion;
    m_database.m_kdf = m_kdf.kdf;
    m_database.m_kdfRounds = m_kdf.rounds;
    m_database.m_cipher = m_cipher;

    BSubTaskController cipherKeyStage(controller, 0.0, 0.8);
    BTaskResult result = deriveDatabaseKey(m_database, &cipherKeyStage, m_password,
                                           m_database.m_cipherKey, m_database.m_cipherKeySalt,
                                           m_database.m_kdfRounds, DatabaseCipherKeyLength);
    if (result != Success) {
        // Half of a key pair must not survive a failure: the old HMAC key
        // would otherwise sit beside an empty cipher key.
        wipeKey(m_database.m_hmacKey);
        return result;
    }

    BSubTaskController hmacKeyStage(controller, 0.8, 0.2);
    result = deriveDatabaseKey(m_database, &hmacKeyStage, m_password, m_database.m_hmacKey,
                               m_database.m_hmacKeySalt, DatabaseHmacKeyRounds,
                               DatabaseHmacKeyLength);
    if (result != Success) {
        wipeKey(m_database.m_cipherKey);
        return result;
    }

    m_database.m_open = true;
    m_database.m_modified = true;
    return Success;
}
