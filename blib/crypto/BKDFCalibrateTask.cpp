#include "blib/crypto/BKDFCalibrateTask.h"

#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BPbkdf2Keccak384.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"

#include <QElapsedTimer>
#include <argon2.h>
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

void BKDFCalibrateTask::setArgon2Parameters(int memoryKib, int parallelism)
{
    m_memoryKib = memoryKib;
    m_parallelism = parallelism;
}

BTaskResult BKDFCalibrateTask::runArgon2(BTaskController* controller)
{
    if (m_parallelism < 1 || m_memoryKib < 8 * m_parallelism)
        return Failure;
    controller->setIndeterminateProgress(true);
    QByteArray key = QByteArray::fromBase64(QByteArray::fromRawData(
        calibrationPassword, int(sizeof calibrationPassword) - 1));
    const QByteArray salt(32, '\x5a');
    QByteArray out(m_keyLength, '\0');
    // One pass and three passes are timed: their difference is the cost of
    // a pass, the rest (allocating and filling the memory) is paid once.
    auto timed = [&](uint32_t passes, qint64& elapsed) {
        QElapsedTimer timer;
        timer.start();
        const int status = argon2id_hash_raw(passes, uint32_t(m_memoryKib), uint32_t(m_parallelism),
                                             key.constData(), size_t(key.size()), salt.constData(),
                                             size_t(salt.size()), out.data(), size_t(out.size()));
        elapsed = timer.elapsed();
        return status == ARGON2_OK;
    };
    qint64 one = 0, three = 0;
    const bool ok = timed(1, one) && timed(3, three);
    wipe(key);
    wipe(out);
    controller->setIndeterminateProgress(false);
    if (!ok)
        return Failure;
    const qint64 perPass = std::max<qint64>(1, (three - one) / 2);
    const qint64 fixed = std::max<qint64>(0, one - perPass);
    const qint64 passes = std::max<qint64>(MinArgon2Passes, (m_durationMs - fixed + perPass / 2) / perPass);
    m_measuredRounds = int(std::min<qint64>(passes, INT_MAX));
    m_rounds = m_measuredRounds;
    controller->setProgress(1.0);
    return Success;
}

BTaskResult BKDFCalibrateTask::run(BTaskController* controller)
{
    controller->setTitle(tr("Calibrating KDF"));
    controller->setStatus(tr("Calibrating KDF..."));
    if (m_keyLength < 1 || (m_kdf != BKdfId::PBKDF2 && m_kdf != BKdfId::Argon2))
        return Failure;
    if (m_kdf == BKdfId::Argon2)
        return runArgon2(controller);

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
