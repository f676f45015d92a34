#ifndef BKDFTASK_H
#define BKDFTASK_H

#include "blib/task/BTask.h"

#include <QByteArray>
#include <QString>

// Derives a key from a password: PBKDF2 with HMAC-Keccak-384 (hash id 11),
// or Argon2id version 1.3 (KDF id 2, `rounds` passes over the memory and
// lanes set with setArgon2Parameters(), no secret, no associated data).
// Other ids, rounds < 1 and key lengths < 1 fail without an error text.
// PBKDF2 reports progress at most every 25 ms and stops with Cancelled at
// the first report after a cancel request; Argon2 runs in one call of the
// library and cannot be interrupted. The password copy and the result are
// wiped when the task is destroyed.
class BKDFTask : public BTask
{
    Q_OBJECT

public:
    BKDFTask(int kdf, const QString& password, const QByteArray& salt, int rounds, int keyLength);
    ~BKDFTask() override;

    // Memory in KiB and lanes (threads) of an Argon2 derivation; 64 MiB and
    // 2 lanes unless set.
    void setArgon2Parameters(int memoryKib, int parallelism);

    BTaskResult run(BTaskController* controller) override;

    // The derived key; empty until run() succeeded.
    const QByteArray& result() const { return m_result; }

private:
    int m_kdf;
    QString m_password;
    QByteArray m_salt;
    int m_rounds;
    int m_keyLength;
    int m_memoryKib = 65536;
    int m_parallelism = 2;
    QByteArray m_result;

    BTaskResult runArgon2(BTaskController* controller);
};

#endif // BKDFTASK_H
