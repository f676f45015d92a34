#include "blib/crypto/BCryptoIds.h"

#include <QtTest>

class TestBCryptoIds : public QObject
{
    Q_OBJECT

private slots:
    void cipherTable();
    void hashTable();
    void kdfTable();
};

void TestBCryptoIds::cipherTable()
{
    QCOMPARE(cipherName(1), QStringLiteral("AES-256"));
    QCOMPARE(cipherName(2), QStringLiteral("Twofish-256"));
    for (int id : { 1, 2 }) {
        QCOMPARE(cipherId(cipherName(id)), id);
        QCOMPARE(cipherKeySize(id), 32);
        QCOMPARE(cipherBlockSize(id), 16);
    }
    for (int id : { -1, 0, 3 }) {
        QCOMPARE(cipherName(id), QStringLiteral("None"));
        QCOMPARE(cipherKeySize(id), 0);
        QCOMPARE(cipherBlockSize(id), 0);
    }
    // Exact, case-sensitive names only.
    for (const char* name : { "aes-256", "AES-256 ", "None", "" })
        QCOMPARE(cipherId(QString::fromLatin1(name)), 0);
}

void TestBCryptoIds::hashTable()
{
    const struct {
        int id;
        const char* name;
        int length;
    } rows[] = { { 2, "MD4", 16 },       { 3, "MD5", 16 },       { 4, "SHA-1", 20 },
                 { 5, "SHA-256", 32 },   { 6, "SHA-224", 28 },   { 7, "SHA-384", 48 },
                 { 8, "SHA-512", 64 },   { 9, "SHA3-224", 28 },  { 10, "SHA3-256", 32 },
                 { 11, "SHA3-384", 48 }, { 12, "SHA3-512", 64 }, { 13, "None", 0 },
                 { 1, "None", 0 },       { 0, "None", 0 },       { -1, "None", 0 } };
    for (const auto& row : rows) {
        QCOMPARE(hashName(row.id), QString::fromLatin1(row.name));
        QCOMPARE(hashLength(row.id), row.length);
    }
}

void TestBCryptoIds::kdfTable()
{
    const char* names[] = { "None", "PBKDF2", "Argon2", "Lyra2", "None" };
    for (int id = 0; id <= 4; ++id)
        QCOMPARE(kdfName(id), QString::fromLatin1(names[id]));
    for (int id = 1; id <= 3; ++id)
        QCOMPARE(kdfId(QString::fromLatin1(names[id])), id);
    QCOMPARE(kdfId(QStringLiteral("pbkdf2")), 0);
    QCOMPARE(kdfId(QStringLiteral("None")), 0);
}

QTEST_GUILESS_MAIN(TestBCryptoIds)
#include "tst_bcryptoids.moc"
