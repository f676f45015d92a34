#include "blib/crypto/BKDFCalibrateTask.h"

#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BPbkdf2Keccak384.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"

#include <QElapsedTimer>
#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// Stands in for a password: any key costs the same per round. Base64 without
// padding for 13 bytes of text.
const char calibrationPassword[] = "aGFyYm91ci1saWdodA";

// The clock is read once per this many rounds so that timing does not
// weigh on what is being timed.
constexpr qint64 roundsPerClockCheck = 100;

} // namespace

BKDFCalibrateTask::BKDFCalibrateTask(int kdf, int durationMs, int keyLength)
    : m_kdf(kdf)
    , m_durationMs(durationMs)
    , m_keyLength(keyLength)
{
}

BTaskResult BKDFCalibrateTask::run(BTaskController* controller)
{
    controller->setTitle(tr("Calibrating KDF"));
    controller->setStatus(tr("Calibrating KDF..."));
    if (m_keyLength < 1 || m_kdf != BKdfId::PBKDF2)
        return Failure;

    const int blocks = std::max(1, m_keyLength / hashLength(BHashId::SHA3_384));
    const QString perSecondText = tr("rounds/sec");

    QByteArray key = QByteArray::fromBase64(QByteArray::fromRawData(
        calibrationPassword, int(sizeof calibrationPassword) - 1));
    BPbkdf2Keccak384 prf(key);
    wipe(key);

    // The same work as PBKDF2: A = HMAC(K, A) starting from an empty A (so
    // the first round hashes an empty message), XORed into an accumulator.
    BPbkdf2Keccak384::Digest a;
    BPbkdf2Keccak384::Digest accumulator = {};
    qint64 n = 0;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (n % roundsPerClockCheck == 0) {
            const qint64 elapsed = timer.elapsed();
            controller->setProgress(m_durationMs > 0 ? double(elapsed) / m_durationMs : 1.0);
            const qint64 perSecond = n * 1000 / std::max<qint64>(1, elapsed);
            controller->setStatus(
                QStringLiteral("%1 %2").arg(QString::number(perSecond), perSecondText));
            if (elapsed > m_durationMs)
                break;
        }
        if (n == 0)
            prf.mac(nullptr, 0, a);
        else
            prf.round(a);
        for (int lane = 0; lane < BPbkdf2Keccak384::DigestLanes; ++lane)
            accumulator.lane[lane] ^= a.lane[lane];
        ++n;
    }
    BPbkdf2Keccak384::zero(&a, sizeof a);
    BPbkdf2Keccak384::zero(&accumulator, sizeof accumulator);

    // Leave room for the random extra below INT_MAX.
    const qint64 r = std::min<qint64>(n * blocks, INT_MAX - INT_MAX / 20);
    qint64 extra = 0;
    if (r / 20 > 0)
        extra = std::rand() % (r / 20);
    m_measuredRounds = int(r);
    m_rounds = int(r + extra);
    return Success;
}
