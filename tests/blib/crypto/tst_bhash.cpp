#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"

#include <QtTest>
#include <cstring>
#include <nettle/sha3.h>

namespace {

// A deliberately plain Keccak sponge (original padding byte 0x01), byte by
// byte over nettle's permutation: a reference that shares no code with the
// toolkit's hashes or with the fast key-derivation path.
QByteArray keccak(QByteArray message, int rate = 104, int outputLength = 48)
{
    message.append(char(0x01));
    while (message.size() % rate != 0)
        message.append('\0');
    message[message.size() - 1] = char(message.at(message.size() - 1) | 0x80);
    sha3_state state;
    std::memset(&state, 0, sizeof state);
    for (int offset = 0; offset < message.size(); offset += rate) {
        for (int j = 0; j < rate; ++j)
            state.a[j / 8] ^= uint64_t(uint8_t(message.at(offset + j))) << (8 * (j % 8));
        sha3_permute(&state);
    }
    QByteArray out;
    for (int j = 0; j < outputLength; ++j)
        out.append(char(state.a[j / 8] >> (8 * (j % 8))));
    return out;
}

// RFC 2104 over the reference sponge; the block length is the 104-byte rate.
QByteArray referenceHmac(const QByteArray& message, QByteArray key)
{
    if (key.size() > 104)
        key = keccak(key);
    key.append(QByteArray(104 - key.size(), '\0'));
    QByteArray inner = key, outer = key;
    for (int i = 0; i < 104; ++i) {
        inner[i] = char(key.at(i) ^ 0x36);
        outer[i] = char(key.at(i) ^ 0x5c);
    }
    return keccak(outer + keccak(inner + message));
}

QByteArray pattern(int length, int seed)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = char(i * 31 + seed * 7 + 3);
    return bytes;
}

} // namespace

class TestBHash : public QObject
{
    Q_OBJECT

private slots:
    void keccakIds();
    void otherIds();
    void hmacs();
    void hashHexOfText();
    void invalidIdsLeaveOutputsUnchanged();
};

void TestBHash::keccakIds()
{
    // Published Keccak-384 digests; the reference sponge has to agree first.
    const QByteArray empty
        = QByteArray::fromHex("2c23146a63a29acf99e73b88f8c24eaa7dc60aa771780ccc"
                              "006afbfa8fe2479b2dd2b21362337441ac12b515911957ff");
    const QByteArray abc = QByteArray::fromHex("f7df1165f033337be098e7d288ad6a2f74409d7a60b49c36"
                                               "642218de161b1f99f8c681e4afaf31a34db29fb763e3c28e");
    QCOMPARE(keccak(QByteArray()), empty);
    QCOMPARE(keccak("abc"), abc);
    QByteArray digest;
    hash(BHashId::SHA3_384, QByteArray(), digest);
    QCOMPARE(digest, empty);
    hash(BHashId::SHA3_384, "abc", digest);
    QCOMPARE(digest, abc);

    // All four "SHA3" ids are Keccak, across block edges of each rate.
    const struct {
        int id, rate, length;
    } rows[] = { { 9, 144, 28 }, { 10, 136, 32 }, { 11, 104, 48 }, { 12, 72, 64 } };
    for (const auto& row : rows) {
        for (int length : { 0, 71, 72, 103, 104, 135, 136, 144, 300 }) {
            hash(row.id, pattern(length, row.id), digest);
            QVERIFY2(digest == keccak(pattern(length, row.id), row.rate, row.length),
                     qPrintable(QStringLiteral("id %1, %2 bytes").arg(row.id).arg(length)));
        }
    }
}

void TestBHash::otherIds()
{
    // Digests of "abc" from the algorithms' published test suites.
    const struct {
        int id;
        const char* hex;
    } rows[] = { { 2, "a448017aaf21d8525fc10ae87aa6729d" },
                 { 3, "900150983cd24fb0d6963f7d28e17f72" },
                 { 4, "a9993e364706816aba3e25717850c26c9cd0d89d" },
                 { 5, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
                 { 6, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7" } };
    for (const auto& row : rows) {
        QByteArray digest;
        hash(row.id, "abc", digest);
        QCOMPARE(digest.toHex(), QByteArray(row.hex));
    }
    for (int id = 2; id <= 12; ++id) {
        QByteArray digest;
        hash(id, "x", digest);
        QCOMPARE(digest.size(), hashLength(id));
    }
}

void TestBHash::hmacs()
{
    // Key and message lengths on both sides of the 104-byte block.
    for (int keyLength : { 0, 4, 104, 105, 300 }) {
        for (int messageLength : { 0, 28, 48, 250 }) {
            const QByteArray message = pattern(messageLength, 1);
            const QByteArray key = pattern(keyLength, 2);
            QByteArray mac;
            hmac(BHashId::SHA3_384, message, key, mac);
            QVERIFY2(
                mac == referenceHmac(message, key),
                qPrintable(QStringLiteral("key %1, message %2").arg(keyLength).arg(messageLength)));
        }
    }
    // RFC 4231 and RFC 2202 test case 2 pin the argument order.
    QByteArray mac;
    hmac(BHashId::SHA_256, "what do ya want for nothing?", "Jefe", mac);
    QCOMPARE(mac.toHex(),
             QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
    hmac(BHashId::MD5, "what do ya want for nothing?", "Jefe", mac);
    QCOMPARE(mac.toHex(), QByteArray("750c783e6ab0b503eaa86e310a5db738"));
}

void TestBHash::hashHexOfText()
{
    QString hex;
    hashHex(BHashId::SHA_256, QStringLiteral("abc"), hex);
    QCOMPARE(hex,
             QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    // U+00E9 is c3 a9 in UTF-8.
    hashHex(BHashId::SHA3_384, QString(QChar(0xe9)), hex);
    QCOMPARE(hex, QString::fromLatin1(keccak("\xc3\xa9").toHex()));
    hashHex(13, QStringLiteral("abc"), hex);
    QVERIFY(hex.isEmpty());
}

void TestBHash::invalidIdsLeaveOutputsUnchanged()
{
    for (int id : { -1, 0, 1, 13 }) {
        QVERIFY(!isValidHashId(id));
        QByteArray digest("unchanged");
        hash(id, "abc", digest);
        hmac(id, "abc", "key", digest);
        QCOMPARE(digest, QByteArray("unchanged"));
    }
    QCOMPARE(hashAlgorithm(99), QCryptographicHash::Keccak_384);
}

QTEST_GUILESS_MAIN(TestBHash)
#include "tst_bhash.moc"
