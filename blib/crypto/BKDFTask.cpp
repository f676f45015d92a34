#include "blib/crypto/BKDFTask.h"

#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BPbkdf2Keccak384.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"

#include <argon2.h>

#include <cmath>
#include <ctime>
#include <limits>

namespace {

constexpr qint64 reportIntervalMs = 25;

// Decides when a progress report is due: on the first check, then whenever
// more than reportIntervalMs have passed since the last report. It is asked
// before every round, so it reads the cheap coarse monotonic clock (a few
// milliseconds of resolution are plenty for a 25 ms interval).
class ReportClock
{
public:
    bool due()
    {
        const qint64 now = nowMs();
        if (m_first || now - m_lastReport > reportIntervalMs) {
            m_first = false;
            m_lastReport = now;
            return true;
        }
        return false;
    }

private:
    static qint64 nowMs()
    {
        timespec ts;
#ifdef CLOCK_MONOTONIC_COARSE
        clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
#else
        clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
        return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

    bool m_first = true;
    qint64 m_lastReport = 0;
};

} // namespace

BKDFTask::BKDFTask(int kdf, const QString& password, const QByteArray& salt, int rounds,
                   int keyLength)
    : m_kdf(kdf)
    , m_password(password)
    , m_salt(salt)
    , m_rounds(rounds)
    , m_keyLength(keyLength)
{
}

BKDFTask::~BKDFTask()
{
    wipe(m_password);
    wipe(m_result);
}

void BKDFTask::setArgon2Parameters(int memoryKib, int parallelism)
{
    m_memoryKib = memoryKib;
    m_parallelism = parallelism;
}

BTaskResult BKDFTask::runArgon2(BTaskController* controller)
{
    if (m_memoryKib < 8 * m_parallelism || m_parallelism < 1 || m_salt.size() < int(ARGON2_MIN_SALT_LENGTH))
        return Failure;
    controller->setIndeterminateProgress(true);
    controller->setStatus(tr("Deriving the key with Argon2id (%1 MiB, %2 passes)")
                              .arg(m_memoryKib / 1024)
                              .arg(m_rounds));
    QByteArray passwordBytes = m_password.toUtf8();
    QByteArray derived(m_keyLength, '\0');
    const int status = argon2id_hash_raw(uint32_t(m_rounds), uint32_t(m_memoryKib),
                                         uint32_t(m_parallelism), passwordBytes.constData(),
                                         size_t(passwordBytes.size()), m_salt.constData(),
                                         size_t(m_salt.size()), derived.data(), size_t(derived.size()));
    wipe(passwordBytes);
    controller->setIndeterminateProgress(false);
    if (status != ARGON2_OK) {
        wipe(derived);
        return Failure;
    }
    wipe(m_result);
    m_result = derived;
    return Success;
}

BTaskResult BKDFTask::run(BTaskController* controller)
{
    controller->setTitle(tr("Processing KDF"));
    if (m_kdf != BKdfId::PBKDF2 && m_kdf != BKdfId::Argon2)
        return Failure;
    if (m_rounds < 1 || m_keyLength < 1)
        return Failure;
    if (m_kdf == BKdfId::Argon2)
        return runArgon2(controller);

    using Digest = BPbkdf2Keccak384::Digest;
    const int digestLength = hashLength(BHashId::SHA3_384);
    const qint64 blocks = qint64(std::ceil(double(m_keyLength) / double(digestLength)));
    const qint64 total = blocks * m_rounds;
    // Whole blocks are built before the key is cut to length; they must fit
    // into one byte array (key lengths near 2^31 would not).
    if (blocks * digestLength > qint64(std::numeric_limits<int>::max()) - digestLength)
        return Failure;
    const QString roundText = tr("Key derivation round");

    QByteArray passwordBytes = m_password.toUtf8();
    BPbkdf2Keccak384 prf(passwordBytes);
    wipe(passwordBytes);

    // salt || INT(i), the block index as a 4-byte big-endian integer.
    QByteArray message = m_salt;
    const int indexOffset = message.size();
    message.append(4, '\0');

    QByteArray derived(int(blocks) * digestLength, Qt::Uninitialized);
    Digest u;
    Digest t;
    ReportClock reportClock;
    qint64 done = 0;
    for (qint64 i = 1; i <= blocks; ++i) {
        message[indexOffset] = char((i >> 24) & 0xff);
        message[indexOffset + 1] = char((i >> 16) & 0xff);
        message[indexOffset + 2] = char((i >> 8) & 0xff);
        message[indexOffset + 3] = char(i & 0xff);
        prf.mac(message, u);
        t = u;
        for (int r = 1; r < m_rounds; ++r) {
            if (reportClock.due()) {
                if (controller->isCancelled()) {
                    BPbkdf2Keccak384::zero(&u, sizeof u);
                    BPbkdf2Keccak384::zero(&t, sizeof t);
                    wipe(derived);
                    return Cancelled;
                }
                controller->setProgress(double(done) / double(total));
                controller->setStatus(QStringLiteral("%1 %2/%3")
                                          .arg(roundText, QString::number(done + 1),
                                               QString::number(total)));
            }
            prf.round(u);
            for (int lane = 0; lane < BPbkdf2Keccak384::DigestLanes; ++lane)
                t.lane[lane] ^= u.lane[lane];
            ++done;
        }
        BPbkdf2Keccak384::toBytes(
            t, reinterpret_cast<unsigned char*>(derived.data()) + (i - 1) * digestLength);
    }
    BPbkdf2Keccak384::zero(&u, sizeof u);
    BPbkdf2Keccak384::zero(&t, sizeof t);

    // Zero the unused tail before shortening: it stays in the allocation.
    BPbkdf2Keccak384::zero(derived.data() + m_keyLength, size_t(derived.size() - m_keyLength));
    derived.resize(m_keyLength);
    wipe(m_result);
    m_result = derived;
    return Success;
}
