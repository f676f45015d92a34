#ifndef BKDFCALIBRATETASK_H
#define BKDFCALIBRATETASK_H

#include "blib/task/BTask.h"

// Measures how many key-derivation rounds this computer manages in a given
// time for a key of the given length, timing the same round an unlock runs.
// The result is the measured count raised by a random amount below 5 %.
class BKDFCalibrateTask : public BTask
{
    Q_OBJECT

public:
    BKDFCalibrateTask(int kdf, int durationMs, int keyLength);

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
    int m_rounds = 0;
    int m_measuredRounds = 0;
};

#endif // BKDFCALIBRATETASK_H
