#include "app/database/PasswordDatabaseSetPasswordTask.h"

#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/PasswordDatabase.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BSubTaskController.h"

#include <QCoreApplication>

PasswordDatabaseSetPasswordTask::PasswordDatabaseSetPasswordTask(PasswordDatabase& database,
                                                                 const QString& password,
                                                                 int cipher, int kdf,
                                                                 int kdfRounds)
    : m_database(database)
    , m_password(password)
    , m_cipher(cipher)
    , m_kdf(kdf)
    , m_kdfRounds(kdfRounds)
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

    m_database.m_kdf = m_kdf;
    m_database.m_kdfRounds = m_kdfRounds;
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
