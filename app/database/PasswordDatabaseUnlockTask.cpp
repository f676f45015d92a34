#include "app/database/PasswordDatabaseUnlockTask.h"

#include "app/database/DatabaseKdfParameters.h"
#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabase.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BSubTaskController.h"

#include <QCoreApplication>

namespace {

// Compares two byte arrays in time that depends only on their lengths.
bool constantTimeEquals(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a.constData());
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b.constData());
    volatile unsigned char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference |= x[i] ^ y[i];
    return difference == 0;
}

QString unlockError(const char* text)
{
    return QCoreApplication::translate("PasswordDatabase", text);
}

} // namespace

PasswordDatabaseUnlockTask::PasswordDatabaseUnlockTask(PasswordDatabase& database,
                                                       const QString& password)
    : m_database(database)
    , m_password(password)
{
}

PasswordDatabaseUnlockTask::PasswordDatabaseUnlockTask(PasswordDatabase& database,
                                                       const PasswordDatabase& keysOf)
    : m_database(database)
    , m_keysOf(&keysOf)
{
}

PasswordDatabaseUnlockTask::~PasswordDatabaseUnlockTask()
{
    wipe(m_password);
}

BTaskResult PasswordDatabaseUnlockTask::run(BTaskController* controller)
{
    PasswordDatabase& db = m_database;
    controller->setTitle(QCoreApplication::translate("PasswordDatabase", "Unlocking Database"));

    // Settings this program cannot work with are named as such, not taken
    // for a wrong password, and cost no key derivation.
    const bool format4 = !db.isLegacyFormat();
    if (format4 ? db.m_kdf != BKdfId::PBKDF2 && db.m_kdf != BKdfId::Argon2 : db.m_kdf != BKdfId::PBKDF2) {
        controller->setErrorMessage(unlockError(QT_TRANSLATE_NOOP(
            "PasswordDatabase",
            "Failed to unlock password database. It uses a key derivation function this program does "
            "not know.")));
        return Failure;
    }
    if (cipherKeySize(db.m_cipher) <= 0) {
        controller->setErrorMessage(unlockError(QT_TRANSLATE_NOOP(
            "PasswordDatabase",
            "Failed to unlock password database. It uses a cipher this program does not know.")));
        return Failure;
    }

    // Bounds are checked before anything is derived: a hostile header must
    // not make the program work for hours or take all memory first.
    if (format4) {
        const QString problem = db.getKdfParameters().problem();
        if (!problem.isEmpty()) {
            controller->setErrorMessage(
                unlockError(QT_TRANSLATE_NOOP("PasswordDatabase", "Failed to unlock password database. %1"))
                    .arg(problem));
            return Failure;
        }
    }

    // The keys are derived aside and stored only once they have proved right:
    // keys from a mistyped password would otherwise let a later save() write
    // over the file under that password.
    QByteArray cipherKey, hmacKey;
    if (m_keysOf) {
        // The stored HMAC below decides; equal inputs only spare a check
        // that cannot succeed.
        const PasswordDatabase& other = *m_keysOf;
        const bool sameInputs = other.hasKeys() && other.isLegacyFormat() == db.isLegacyFormat()
            && other.m_kdf == db.m_kdf && other.m_kdfRounds == db.m_kdfRounds
            && other.m_kdfMemoryKib == db.m_kdfMemoryKib && other.m_kdfParallelism == db.m_kdfParallelism
            && (format4 ? other.m_kdfSalt == db.m_kdfSalt
                        : other.m_cipherKeySalt == db.m_cipherKeySalt && other.m_hmacKeySalt == db.m_hmacKeySalt);
        if (sameInputs) {
            cipherKey = other.m_cipherKey;
            hmacKey = other.m_hmacKey;
            cipherKey.detach();
            hmacKey.detach();
        }
    } else if (format4) {
        QByteArray masterKey;
        const BTaskResult result =
            deriveMasterKey(controller, m_password, db.m_kdfSalt, db.getKdfParameters(), masterKey);
        if (result != Success)
            return result;
        expandDatabaseKeys(masterKey, cipherKey, hmacKey);
        wipe(masterKey);
    } else {
        BSubTaskController cipherKeyStage(controller, 0.0, 0.8);
        BTaskResult result = deriveDatabaseKey(db, &cipherKeyStage, m_password, cipherKey,
                                               db.m_cipherKeySalt, db.m_kdfRounds,
                                               DatabaseCipherKeyLength);
        if (result != Success)
            return result;

        BSubTaskController hmacKeyStage(controller, 0.8, 0.2);
        result = deriveDatabaseKey(db, &hmacKeyStage, m_password, hmacKey, db.m_hmacKeySalt,
                                   DatabaseHmacKeyRounds, DatabaseHmacKeyLength);
        if (result != Success) {
            wipeKey(cipherKey);
            return result;
        }
    }

    // A wrong password and a damaged payload (or, from version 4 on, a
    // changed header) all end here, before anything is decrypted.
    const QByteArray mac = db.payloadMac(db.m_typeText, db.m_cipherIv, db.m_encryptedData, hmacKey);
    if (mac.isEmpty() || hmacKey.isEmpty() || cipherKey.isEmpty() || !constantTimeEquals(mac, db.m_hmac)) {
        wipeKey(cipherKey);
        wipeKey(hmacKey);
        controller->setErrorMessage(
            unlockError(QT_TRANSLATE_NOOP("PasswordDatabase",
                                          "Failed to unlock password database. Incorrect password.")));
        return Failure;
    }

    controller->setStatus(QCoreApplication::translate("PasswordDatabase", "Loading Database"));
    controller->setIndeterminateProgress(true);

    QByteArray plaintext; // stays empty for an unknown cipher
    symmetricCtrProcess(db.m_cipher, cipherKey, db.m_cipherIv, db.m_encryptedData, plaintext);
    QList<PasswordDatabase::Group*> groups;
    QList<PasswordDatabase::Deletion> deletions;
    const TreeTextResult read = readTreeText(plaintext, db.m_formatVersion, groups, deletions);
    wipe(plaintext);
    if (read != TreeTextResult::Read) {
        wipeKey(cipherKey);
        wipeKey(hmacKey);
        // Groups nested too deeply for the reader are named as such: the
        // file is not damaged, this program just does not follow it that far.
        controller->setErrorMessage(
            read == TreeTextResult::TooDeep
                ? unlockError(QT_TRANSLATE_NOOP("PasswordDatabase",
                                                "Failed to unlock password database. Its groups are nested more than %1 levels deep."))
                      .arg(PasswordDatabase::MaxGroupDepth)
            : read == TreeTextResult::NotAnObject
                ? unlockError(QT_TRANSLATE_NOOP("PasswordDatabase",
                                                "Failed to unlock password database. Data is corrupt."))
                : unlockError(QT_TRANSLATE_NOOP("PasswordDatabase",
                                                "Failed to unlock password database. Data unloadable.")));
        return Failure;
    }

    // Everything was read: the keys and the new tree replace whatever was
    // there.
    wipeKey(db.m_cipherKey);
    wipeKey(db.m_hmacKey);
    db.m_cipherKey = cipherKey;
    db.m_hmacKey = hmacKey;
    db.deleteGroups();
    {
        const PasswordDatabase::Item::StampFreeze freeze;
        for (PasswordDatabase::Group* group : qAsConst(groups))
            db.addItem(group);
    }
    db.setDeletions(deletions);
    // The payload is stale once its tree is built (a lock encrypts a new
    // one), and as large as the tree's text: it goes before any save.
    db.m_encryptedData = QByteArray();
    db.m_locked = false;
    db.m_modified = db.m_modifiedAtLock;
    return Success;
}
