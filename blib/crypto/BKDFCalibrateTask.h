#ifndef BKDFCALIBRATETASK_H
#define BKDFCALIBRATETASK_H

#include "blib/task/BTask.h"

// Measures how many key-derivation rounds this computer manages in a given
// time for a key of the given length, timing the same round an unlock runs.
// For PBKDF2 the result is the measured count raised by a random amount
// below 5 %. For Argon2 it is the number of passes over the memory set with
// setArgon2Parameters() that fit into the time, at least MinArgon2Passes.
class BKDFCalibrateTask : public BTask
{
    Q_OBJECT

public:
    BKDFCalibrateTask(int kdf, int durationMs, int keyLength);

    static constexpr int MinArgon2Passes = 2;

    // Memory in KiB and lanes of the Argon2 derivation being timed; 64 MiB
    // and 2 lanes unless set.
    void setArgon2Parameters(int memoryKib, int parallelism);

    BTaskResult run(BTaskController* controller) override;

    // The proposed round count; 0 until run() succeeded.
    int rounds() const { return m_rounds; }
    // The count actually measured (rounds done times blocks per key), before
    // the random extra was added.
    int measuredRounds() const { return m_measuredRounds; }

private:
    int m_kdf;
    int m_durationMs;
    int m_keyLength;
    int m_memoryKib = 65536;
    int m_parallelism = 2;
    int m_rounds = 0;
    int m_measuredRounds = 0;

    BTaskResult runArgon2(BTaskController* controller);
};

#endif // BKDFCALIBRATETASK_H
