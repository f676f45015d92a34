#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BSymmetricCipher.h"

#include <QtTest>
#include <tomcrypt.h>

namespace {

const int ciphers[] = { BCipherId::AES_256, BCipherId::Twofish_256 };

// One block through the cipher's ECB primitive, without the registry or
// counter mode.
QByteArray encryptBlock(int cipherId, const QByteArray& key, const QByteArray& block)
{
    const ltc_cipher_descriptor& cipher = cipherId == BCipherId::AES_256 ? aes_desc : twofish_desc;
    symmetric_key schedule;
    QByteArray out(16, '\0');
    if (cipher.setup(reinterpret_cast<const unsigned char*>(key.constData()), key.size(), 0,
                     &schedule)
        != CRYPT_OK)
        return QByteArray();
    cipher.ecb_encrypt(reinterpret_cast<const unsigned char*>(block.constData()),
                       reinterpret_cast<unsigned char*>(out.data()), &schedule);
    cipher.done(&schedule);
    return out;
}

// input XOR the blocks E((iv + j) mod 2^128), the IV read little-endian.
QByteArray expectedCtr(int cipherId, const QByteArray& key, QByteArray counter,
                       const QByteArray& input)
{
    QByteArray out = input;
    for (int offset = 0; offset < input.size(); offset += 16) {
        const QByteArray stream = encryptBlock(cipherId, key, counter);
        for (int i = offset; i < input.size() && i < offset + 16; ++i)
            out[i] = char(out.at(i) ^ stream.at(i - offset));
        for (int i = 0; i < 16; ++i) {
            counter[i] = char(counter.at(i) + 1);
            if (counter.at(i) != 0)
                break;
        }
    }
    return out;
}

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = char(i * 53 + seed * 11 + 1);
    return bytes;
}

} // namespace

class TestBSymmetricCipher : public QObject
{
    Q_OBJECT

private slots:
    void keystreamAcrossCounterCarry();
    void roundTrip();
    void badIvOrKeyGivesEmptyOutput();
    void unknownCipherLeavesOutputUntouched();
};

void TestBSymmetricCipher::keystreamAcrossCounterCarry()
{
    QByteArray carrying = pattern(16, 4);
    carrying[0] = char(0xfe); // later blocks carry into bytes 1 and 2
    carrying[1] = char(0xff);
    const QByteArray allOnes(16, char(0xff)); // the next block is all zeros
    for (int id : ciphers) {
        for (int keyLength : { 32, 24, 16 }) {
            const QByteArray key = pattern(keyLength, id);
            for (const QByteArray& iv : { carrying, allOnes, allOnes + pattern(8, 5) }) {
                // Zeros reveal the bare keystream; 69 bytes end in a partial block.
                QByteArray stream;
                symmetricCtrProcess(id, key, iv, QByteArray(69, '\0'), stream);
                QCOMPARE(stream.size(), 69);
                QCOMPARE(stream.left(16), encryptBlock(id, key, iv.left(16)));
                QCOMPARE(stream, expectedCtr(id, key, iv.left(16), QByteArray(69, '\0')));
                if (iv.startsWith(allOnes))
                    QCOMPARE(stream.mid(16, 16), encryptBlock(id, key, QByteArray(16, '\0')));

                QByteArray output;
                symmetricCtrProcess(id, key, iv, pattern(69, 6), output);
                QCOMPARE(output, expectedCtr(id, key, iv.left(16), pattern(69, 6)));

                // Long enough to be worked through in several chunks.
                QByteArray inPlace = pattern(10001, 7);
                QVERIFY(symmetricCtrProcessInPlace(id, key, iv, inPlace.data(), inPlace.size()));
                QCOMPARE(inPlace, expectedCtr(id, key, iv.left(16), pattern(10001, 7)));
            }
        }
    }
}

void TestBSymmetricCipher::roundTrip()
{
    for (int id : ciphers) {
        const QByteArray key = pattern(32, 7);
        const QByteArray iv = pattern(16, 8);
        QByteArray cipherText;
        symmetricCtrProcess(id, key, iv, QByteArray(40, '\0'), cipherText);
        QVERIFY(cipherText != QByteArray(40, '\0'));
        QByteArray plain("previous contents, longer than the input");
        symmetricCtrProcess(id, key, iv, cipherText, plain);
        QCOMPARE(plain, QByteArray(40, '\0'));
        // In place, as callers may do.
        symmetricCtrProcess(id, key, iv, plain, plain);
        QCOMPARE(plain, cipherText);
    }
}

void TestBSymmetricCipher::badIvOrKeyGivesEmptyOutput()
{
    for (int id : ciphers) {
        for (const QByteArray& iv : { QByteArray(), pattern(15, 9) }) {
            QByteArray output("old output");
            symmetricCtrProcess(id, pattern(32, 10), iv, pattern(40, 11), output);
            QVERIFY(output.isEmpty());
        }
        for (int keyLength : { 0, 20, 33 }) {
            QByteArray output("old output");
            symmetricCtrProcess(id, pattern(keyLength, 12), pattern(16, 13), pattern(40, 14),
                                output);
            QVERIFY2(output.isEmpty(), qPrintable(QStringLiteral("key length %1").arg(keyLength)));
        }
    }
}

void TestBSymmetricCipher::unknownCipherLeavesOutputUntouched()
{
    for (int id : { -1, 0, 3 }) {
        QByteArray output("untouched");
        symmetricCtrProcess(id, pattern(32, 15), pattern(16, 16), pattern(40, 17), output);
        QCOMPARE(output, QByteArray("untouched"));
    }
}

QTEST_GUILESS_MAIN(TestBSymmetricCipher)
#include "tst_bsymmetriccipher.moc"
