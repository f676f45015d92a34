#include "blib/crypto/BRandom.h"

#include <QSet>
#include <QtTest>

class TestBRandom : public QObject
{
    Q_OBJECT

private slots:
    void bytes();
    void intNeverNegative();
    void intFromBytes();
};

void TestBRandom::bytes()
{
    for (int count : { -4, 0, 1, 16, 257, 1 << 20 })
        QCOMPARE(randomBytes(count).size(), qMax(0, count));

    // A stuck or constant source fails; a false alarm has odds of 2^-256.
    QVERIFY(randomBytes(32) != randomBytes(32));
    QSet<char> seen;
    for (char c : randomBytes(1 << 16))
        seen.insert(c);
    QCOMPARE(seen.size(), 256);
}

void TestBRandom::intNeverNegative()
{
    bool sawHighBit = false;
    QSet<int> values;
    for (int i = 0; i < 100000; ++i) {
        const int value = randomInt();
        QVERIFY(value >= 0);
        sawHighBit = sawHighBit || value >= (1 << 30);
        values.insert(value);
    }
    // All 31 value bits are used and values hardly ever repeat.
    QVERIFY(sawHighBit);
    QVERIFY(values.size() > 99000);
}

void TestBRandom::intFromBytes()
{
    const struct {
        const char* hex;
        int expected;
    } rows[] = { { "00000000", 0 }, { "04030201", 0x01020304 }, { "ffffff7f", 0x7fffffff },
                 { "ffffffff", 1 }, { "01000080", 0x7fffffff }, { "00000080", 0 } };
    for (const auto& row : rows) {
        const QByteArray bytes = QByteArray::fromHex(row.hex);
        QCOMPARE(nonNegativeIntFromBytes(reinterpret_cast<const unsigned char*>(bytes.constData())),
                 row.expected);
    }
}

QTEST_GUILESS_MAIN(TestBRandom)
#include "tst_brandom.moc"
