#ifndef BKDFTASK_H
#define BKDFTASK_H

#include "blib/task/BTask.h"

#include <QByteArray>
#include <QString>

// Derives a key from a password: PBKDF2 with HMAC-Keccak-384 (hash id 11).
// Only KDF id 1 (PBKDF2) is implemented; other ids, rounds < 1 and key
// lengths < 1 fail without an error text. Progress is reported at most every
// 25 ms; the task cannot be cancelled. The password copy and the result are
// wiped when the task is destroyed.
class BKDFTask : public BTask
{
    Q_OBJECT

public:
    BKDFTask(int kdf, const QString& password, const QByteArray& salt, int rounds, int keyLength);
    ~BKDFTask() override;

    BTaskResult run(BTaskController* controller) override;

    // The derived key; empty until run() succeeded.
    const QByteArray& result() const { return m_result; }

private:
    int m_kdf;
    QString m_password;
    QByteArray m_salt;
    int m_rounds;
    int m_keyLength;
    QByteArray m_result;
};

#endif // BKDFTASK_H
