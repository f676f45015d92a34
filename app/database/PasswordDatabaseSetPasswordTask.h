#ifndef PASSWORDDATABASESETPASSWORDTASK_H
#define PASSWORDDATABASESETPASSWORDTASK_H

#include "app/database/DatabaseKdfParameters.h"
#include "blib/task/BTask.h"

#include <QString>

class PasswordDatabase;

// Gives a database its password, cipher and key-derivation settings by
// deriving its keys. On success the database is open and modified; the new
// keys reach the file at the next save. A locked database is refused: its
// stored tree could no longer be decrypted.
//
// For a version 4 vault (new vaults, and an upgrade: target version 4) a
// fresh salt is drawn and both keys come from one derivation; settings,
// salt and keys replace the database's only once that has succeeded.
// Settings that break a bound of DatabaseKdfParameters are refused with its
// text. For a vault kept at version 3 only PBKDF2 serves: the cipher key is
// derived under progress 0.0-0.8 with the database's rounds, the HMAC key
// under 0.8-1.0 with 10000 rounds, and the existing salts are kept.
class PasswordDatabaseSetPasswordTask : public BTask
{
    Q_OBJECT

public:
    PasswordDatabaseSetPasswordTask(PasswordDatabase& database, const QString& password,
                                    int cipher, int kdf, int kdfRounds);
    // formatVersion 0 keeps the database's version; 4 upgrades a version 3
    // vault.
    PasswordDatabaseSetPasswordTask(PasswordDatabase& database, const QString& password,
                                    int cipher, const DatabaseKdfParameters& kdf,
                                    int formatVersion = 0);
    ~PasswordDatabaseSetPasswordTask() override;

    BTaskResult run(BTaskController* controller) override;

private:
    BTaskResult runLegacy(BTaskController* controller);

    PasswordDatabase& m_database;
    QString m_password;
    int m_cipher;
    DatabaseKdfParameters m_kdf;
    int m_formatVersion;
};

#endif // PASSWORDDATABASESETPASSWORDTASK_H
