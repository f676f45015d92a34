#ifndef PASSWORDDATABASESETPASSWORDTASK_H
#define PASSWORDDATABASESETPASSWORDTASK_H

#include "blib/task/BTask.h"

#include <QString>

class PasswordDatabase;

// Gives a database its password, cipher and key-derivation settings by
// deriving both keys (cipher key under progress 0.0-0.8, HMAC key under
// 0.8-1.0). Existing salts are kept. On success the database is open and
// modified; the new keys reach the file at the next save. A locked database
// is refused: its stored tree could no longer be decrypted.
class PasswordDatabaseSetPasswordTask : public BTask
{
    Q_OBJECT

public:
    PasswordDatabaseSetPasswordTask(PasswordDatabase& database, const QString& password,
                                    int cipher, int kdf, int kdfRounds);
    ~PasswordDatabaseSetPasswordTask() override;

    BTaskResult run(BTaskController* controller) override;

private:
    PasswordDatabase& m_database;
    QString m_password;
    int m_cipher;
    int m_kdf;
    int m_kdfRounds;
};

#endif // PASSWORDDATABASESETPASSWORDTASK_H
