#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BKDFCalibrateTask.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BPbkdf2Keccak384.h"
#include "blib/task/BTaskController.h"

#include <QMessageAuthenticationCode>
#include <QtTest>
#include <climits>

namespace {

QByteArray toolkitHmac(const QByteArray& message, const QByteArray& key)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Keccak_384);
}

// PBKDF2 written out plainly, one toolkit HMAC call per round.
QByteArray plainPbkdf2(const QByteArray& password, const QByteArray& salt, int rounds,
                       int keyLength)
{
    QByteArray result;
    for (quint32 i = 1; result.size() < keyLength; ++i) {
        QByteArray u = salt;
        u.append(char(i >> 24)).append(char(i >> 16)).append(char(i >> 8)).append(char(i));
        u = toolkitHmac(u, password);
        QByteArray t = u;
        for (int r = 1; r < rounds; ++r) {
            u = toolkitHmac(u, password);
            for (int j = 0; j < t.size(); ++j)
                t[j] = char(t.at(j) ^ u.at(j));
        }
        result += t;
    }
    return result.left(keyLength);
}

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = char(i * 29 + seed * 13 + 5);
    return bytes;
}

// Records the reports of a task. With slowStatus, each status update takes
// longer than the 25 ms report interval, so a report falls due every round.
class RecordingController : public BTaskController
{
public:
    explicit RecordingController(bool slowStatus = false)
        : m_slow(slowStatus)
    { }
    void setProgress(double value) override
    {
        BTaskController::setProgress(value);
        progressValues.append(value);
    }
    void setStatus(const QString& status) override
    {
        BTaskController::setStatus(status);
        statuses.append(status);
        if (m_slow)
            QThread::msleep(50);
    }
    QList<double> progressValues;
    QStringList statuses;

private:
    bool m_slow;
};

} // namespace

class TestBKDF : public QObject
{
    Q_OBJECT

private slots:
    void fastHmacMatchesToolkit();
    void deriveMatchesPlainLoop();
    void invalidParametersFail();
    void reportsRounds();
    void calibrates();
    void argon2CalibrationKeepsTheFloor();
    void calibrationFailures();
};

void TestBKDF::fastHmacMatchesToolkit()
{
    const int lengths[] = { 0, 1, 48, 55, 103, 104, 105, 208, 209, 400 };
    for (int keyLength : lengths) {
        const QByteArray key = pattern(keyLength, 1);
        BPbkdf2Keccak384 prf(key);
        BPbkdf2Keccak384::Digest digest;
        for (int messageLength : lengths) {
            prf.mac(pattern(messageLength, 2), digest);
            QVERIFY2(
                BPbkdf2Keccak384::toByteArray(digest)
                    == toolkitHmac(pattern(messageLength, 2), key),
                qPrintable(QStringLiteral("key %1, message %2").arg(keyLength).arg(messageLength)));
        }
        QByteArray expected = BPbkdf2Keccak384::toByteArray(digest);
        for (int r = 0; r < 3; ++r) {
            prf.round(digest);
            expected = toolkitHmac(expected, key);
            QCOMPARE(BPbkdf2Keccak384::toByteArray(digest), expected);
        }
    }
}

void TestBKDF::deriveMatchesPlainLoop()
{
    const QString passwords[] = { QString(), QStringLiteral("correct horse battery staple"),
                                  QStringLiteral("P\u00e4ssw\u00f6rd \u6f22\u5b57 \U0001F511"),
                                  QString(120, QLatin1Char('p')) };
    const QByteArray salts[] = { QByteArray(), pattern(16, 3), pattern(150, 4) };
    for (const QString& password : passwords) {
        for (const QByteArray& salt : salts) {
            for (int rounds : { 1, 2, 1000 }) {
                for (int keyLength : { 1, 32, 48, 49, 128 }) {
                    if (rounds == 1000 && keyLength != 49) // keep the plain loop affordable
                        continue;
                    BTaskController controller;
                    BKDFTask task(BKdfId::PBKDF2, password, salt, rounds, keyLength);
                    QCOMPARE(task.run(&controller), Success);
                    QVERIFY2(
                        task.result() == plainPbkdf2(password.toUtf8(), salt, rounds, keyLength),
                        qPrintable(QStringLiteral("password %1 chars, salt %2, %3 rounds, %4 bytes")
                                       .arg(password.size())
                                       .arg(salt.size())
                                       .arg(rounds)
                                       .arg(keyLength)));
                }
            }
        }
    }
    // One round: the first bytes of HMAC(password, salt || 00 00 00 01).
    BTaskController controller;
    BKDFTask task(BKdfId::PBKDF2, QStringLiteral("pw"), pattern(16, 5), 1, 32);
    QCOMPARE(task.run(&controller), Success);
    QCOMPARE(task.result(),
             toolkitHmac(pattern(16, 5) + QByteArray::fromHex("00000001"), "pw").left(32));
    QCOMPARE(controller.title(), QStringLiteral("Processing KDF"));
}

void TestBKDF::invalidParametersFail()
{
    const struct {
        int kdf, rounds, keyLength;
    } rows[] = { { 1, 0, 32 },  { 1, -5, 32 }, { 1, 10, 0 }, { 1, 1, INT_MAX },
                 { 0, 10, 32 }, { 2, 10, 32 }, { 3, 10, 32 } };
    for (const auto& row : rows) {
        BTaskController controller;
        BKDFTask task(row.kdf, QStringLiteral("pw"), pattern(16, 6), row.rounds, row.keyLength);
        // Argon2 needs at least 8 KiB per lane.
        task.setArgon2Parameters(8, 2);
        QCOMPARE(task.run(&controller), Failure);
        QVERIFY(task.result().isEmpty());
        QVERIFY(controller.errorMessage().isEmpty());
    }
}

void TestBKDF::reportsRounds()
{
    // 128 bytes are three blocks, so the total is 3 x rounds.
    RecordingController controller;
    BKDFTask task(BKdfId::PBKDF2, QStringLiteral("pw"), pattern(16, 7), 1000, 128);
    QCOMPARE(task.run(&controller), Success);
    QCOMPARE(controller.statuses.value(0), QStringLiteral("Key derivation round 1/3000"));
    QCOMPARE(controller.progressValues.value(0, -1.0), 0.0);

    // Reporting every round: 5 rounds of 2 blocks are 4 iterations per block
    // after each block's first HMAC; the count carries on into block two.
    RecordingController slow(true);
    BKDFTask twoBlocks(BKdfId::PBKDF2, QStringLiteral("pw"), pattern(8, 9), 5, 96);
    QCOMPARE(twoBlocks.run(&slow), Success);
    QStringList expectedStatuses;
    QList<double> expectedProgress;
    for (int done = 0; done < 8; ++done) {
        expectedStatuses.append(QStringLiteral("Key derivation round %1/10").arg(done + 1));
        expectedProgress.append(done / 10.0);
    }
    QCOMPARE(slow.statuses, expectedStatuses);
    QCOMPARE(slow.progressValues, expectedProgress);

    // A single round has no iterations to report on.
    RecordingController quiet;
    BKDFTask oneRound(BKdfId::PBKDF2, QStringLiteral("pw"), pattern(16, 7), 1, 32);
    QCOMPARE(oneRound.run(&quiet), Success);
    QVERIFY(quiet.statuses.isEmpty());
}

void TestBKDF::calibrates()
{
    for (int keyLength : { 32, 100 }) {
        const int blocks = keyLength / 48 > 0 ? keyLength / 48 : 1;
        RecordingController controller;
        BKDFCalibrateTask task(BKdfId::PBKDF2, 200, keyLength);
        QCOMPARE(task.run(&controller), Success);
        QCOMPARE(controller.title(), QStringLiteral("Calibrating KDF"));
        QCOMPARE(controller.statuses.first(), QStringLiteral("Calibrating KDF..."));
        QVERIFY(controller.status().endsWith(QStringLiteral(" rounds/sec")));
        // The clock is read at the start and then every 100 rounds: at least
        // one hundred ran, in whole hundreds, plus under 5 % random extra.
        const int measured = task.measuredRounds();
        QVERIFY(measured >= 100 * blocks);
        QCOMPARE(measured % (100 * blocks), 0);
        QVERIFY(task.rounds() >= measured);
        QVERIFY2(task.rounds() - measured < measured / 20,
                 qPrintable(
                     QStringLiteral("%1 measured, %2 proposed").arg(measured).arg(task.rounds())));
    }
    // A deadline already past ends the loop at its very first check.
    RecordingController controller;
    BKDFCalibrateTask late(BKdfId::PBKDF2, -1, 32);
    QCOMPARE(late.run(&controller), Success);
    QCOMPARE(late.rounds(), 0);
    QCOMPARE(controller.status(), QStringLiteral("0 rounds/sec"));
}

void TestBKDF::argon2CalibrationKeepsTheFloor()
{
    // However fast a pass, the proposal never drops below two passes.
    BTaskController controller;
    BKDFCalibrateTask task(BKdfId::Argon2, 0, 32);
    task.setArgon2Parameters(64, 1);
    QCOMPARE(task.run(&controller), Success);
    QCOMPARE(task.rounds(), BKDFCalibrateTask::MinArgon2Passes);
}

void TestBKDF::calibrationFailures()
{
    for (const auto& args :
         { qMakePair(int(BKdfId::Argon2), 32), qMakePair(int(BKdfId::PBKDF2), 0) }) {
        BTaskController controller;
        BKDFCalibrateTask task(args.first, 10, args.second);
        task.setArgon2Parameters(8, 2);
        QCOMPARE(task.run(&controller), Failure);
        QCOMPARE(task.rounds(), 0);
        QVERIFY(controller.errorMessage().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestBKDF)
#include "tst_bkdf.moc"
