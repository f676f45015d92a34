// One-time codes from otpauth links: the RFC 6238 test values, Base32 as
// people paste it, the settings a link carries and which line of a note is
// the entry's link.
#include "app/database/OtpAuthLink.h"

#include <QtTest>

namespace {

const QByteArray sha1Seed("12345678901234567890");
// sha1Seed in Base32.
const QString sha1SeedBase32("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");

} // namespace

class tst_OtpAuthLink : public QObject
{
    Q_OBJECT

private slots:
    void rfc6238Values_data();
    void rfc6238Values();
    void base32AsPasted_data();
    void base32AsPasted();
    void secretThatIsNotBase32Refused();
    void digitsAndPeriodFromTheLink();
    void invalidLinksSayWhy_data();
    void invalidLinksSayWhy();
    void firstLinkLineCounts();
    void writtenLinkReadsBackAndMasks();
};

void tst_OtpAuthLink::rfc6238Values_data()
{
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QString>("code");
    const struct {
        qint64 time;
        const char* sha1;
        const char* sha256;
        const char* sha512;
    } table[] = {
        { 59, "94287082", "46119246", "90693936" },
        { 1111111109, "07081804", "68084774", "25091201" },
        { 1111111111, "14050471", "67062674", "99943326" },
        { 1234567890, "89005924", "91819424", "93441116" },
        { 2000000000, "69279037", "90698825", "38618901" },
        { 20000000000, "65353130", "77737706", "47863826" },
    };
    for (const auto& row : table) {
        QTest::addRow("SHA1 %lld", row.time) << int(TotpCode::Sha1) << row.time << QString(row.sha1);
        QTest::addRow("SHA256 %lld", row.time) << int(TotpCode::Sha256) << row.time << QString(row.sha256);
        QTest::addRow("SHA512 %lld", row.time) << int(TotpCode::Sha512) << row.time << QString(row.sha512);
    }
}

// The seeds of the RFC: the digits 1 to 0 repeated to the hash's size.
void tst_OtpAuthLink::rfc6238Values()
{
    QFETCH(int, algorithm);
    QFETCH(qint64, time);
    QFETCH(QString, code);
    const int seedSize = algorithm == TotpCode::Sha1 ? 20 : algorithm == TotpCode::Sha256 ? 32 : 64;
    QByteArray seed;
    while (seed.size() < seedSize)
        seed += "1234567890";
    seed.truncate(seedSize);
    QCOMPARE(TotpCode::at(seed, time, 30, 8, TotpCode::Algorithm(algorithm)), code);
}

void tst_OtpAuthLink::base32AsPasted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("upper case") << sha1SeedBase32 << sha1Seed;
    QTest::newRow("lower case") << sha1SeedBase32.toLower() << sha1Seed;
    QTest::newRow("spaces") << "gezd gnbv gy3t qojq gezd gnbv gy3t qojq" << sha1Seed;
    QTest::newRow("padded") << "MZXW6YQ=" << QByteArray("foob");
    QTest::newRow("padding left out") << "MZXW6YQ" << QByteArray("foob");
    QTest::newRow("one byte, unpadded") << "my" << QByteArray("f");
}

void tst_OtpAuthLink::base32AsPasted()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QByteArray decoded;
    QVERIFY(OtpAuthLink::decodeBase32(text, decoded));
    QCOMPARE(decoded, bytes);
    // The same secret in a link gives the RFC's code.
    if (bytes == sha1Seed) {
        OtpAuthLink link;
        QString error;
        QVERIFY2(link.parse("otpauth://totp/Bank?digits=8&secret=" + QUrl::toPercentEncoding(text), &error),
                 qPrintable(error));
        QCOMPARE(link.code(59), QString("94287082"));
    }
}

void tst_OtpAuthLink::secretThatIsNotBase32Refused()
{
    QByteArray bytes("kept");
    for (const char* text : { "GEZDGNBV1", "GEZD-GNBV", "MZXW6=YQ", "ÄBCD" })
        QVERIFY2(!OtpAuthLink::decodeBase32(QString::fromUtf8(text), bytes), text);
    QCOMPARE(bytes, QByteArray("kept"));

    OtpAuthLink link;
    QString error;
    QVERIFY(!link.parseLinkOrSecret("GEZDGNBV0", &error));
    QVERIFY2(error.contains("not Base32"), qPrintable(error));
    QVERIFY(!link.parse("otpauth://totp/Bank?secret=GEZDGNBV8", &error));
    QVERIFY2(error.contains("not Base32"), qPrintable(error));
    QVERIFY(!link.isValid());
}

void tst_OtpAuthLink::digitsAndPeriodFromTheLink()
{
    OtpAuthLink link;
    QVERIFY(link.parse("otpauth://totp/Bank?secret=" + sha1SeedBase32));
    QCOMPARE(link.digits(), 6);
    QCOMPARE(link.period(), 30);
    QCOMPARE(link.code(59), QString("287082"));
    QCOMPARE(link.secondsLeft(59), 1);

    // Step 1 of 60 seconds is the RFC's step 1 of 30; seven digits are the
    // last seven of its eight.
    QVERIFY(link.parse("otpauth://totp/Bank?period=60&secret=" + sha1SeedBase32 + "&digits=7&algorithm=sha1"));
    QCOMPARE(link.period(), 60);
    QCOMPARE(link.code(118), QString("4287082"));
    QCOMPARE(link.secondsLeft(118), 2);
    QCOMPARE(link.code(119 + 1), link.code(179)); // step 2 from 120 to 179
    QVERIFY(link.code(120) != link.code(119));

    // The algorithm too: the SHA256 value of the same key differs.
    QVERIFY(link.parse("otpauth://totp/Bank?digits=8&algorithm=SHA256&secret=" + sha1SeedBase32));
    QCOMPARE(link.algorithm(), TotpCode::Sha256);
    QCOMPARE(link.code(59), TotpCode::at(sha1Seed, 59, 30, 8, TotpCode::Sha256));
    QVERIFY(link.code(59) != QString("94287082"));
}

void tst_OtpAuthLink::invalidLinksSayWhy_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("message");
    const QString secret = "secret=" + sha1SeedBase32;
    QTest::newRow("five digits") << "otpauth://totp/A?digits=5&" + secret << "is not 6, 7 or 8";
    QTest::newRow("nine digits") << "otpauth://totp/A?digits=9&" + secret << "is not 6, 7 or 8";
    QTest::newRow("MD5") << "otpauth://totp/A?algorithm=MD5&" + secret << "is not SHA1, SHA256 or SHA512";
    QTest::newRow("period 0") << "otpauth://totp/A?period=0&" + secret << "from 1 to 86400";
    QTest::newRow("no secret") << "otpauth://totp/A?digits=6" << "has no secret";
    QTest::newRow("empty secret") << "otpauth://totp/A?secret=" << "has no secret";
    QTest::newRow("counter based") << "otpauth://hotp/A?" + secret << "does not begin with otpauth://totp/";
}

void tst_OtpAuthLink::invalidLinksSayWhy()
{
    QFETCH(QString, link);
    QFETCH(QString, message);
    OtpAuthLink parsed;
    QVERIFY(parsed.parse("otpauth://totp/Kept?secret=MZXW6YQ"));
    QString error;
    QVERIFY(!parsed.parse(link, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(parsed.label(), QString("Kept")); // left as it was
}

void tst_OtpAuthLink::firstLinkLineCounts()
{
    const QString first = "otpauth://totp/First?secret=" + sha1SeedBase32;
    const QString note = "PIN 1234\nlogin_totp: otpauth://totp/Old?secret=MZXW6YQ\n  " + first
        + "  \notpauth://totp/Second?secret=MZXW6YQ";
    QCOMPARE(OtpAuthLink::linkLine(note), first);
    OtpAuthLink link;
    QCOMPARE(link.parseNote(note), OtpAuthLink::ValidLink);
    QCOMPARE(link.label(), QString("First"));

    // An invalid first line is the entry's link all the same.
    QString error;
    QCOMPARE(link.parseNote("OTPAUTH://TOTP/Bad?secret=1\n" + first, &error), OtpAuthLink::InvalidLink);
    QVERIFY(error.contains("not Base32"));
    QCOMPARE(link.parseNote("PIN 1234\nlogin_totp: " + first), OtpAuthLink::NoLink);

    // A new link takes the first one's place and leaves the rest.
    QCOMPARE(OtpAuthLink::noteWithLink(note, "otpauth://totp/New?secret=MY"),
             "PIN 1234\nlogin_totp: otpauth://totp/Old?secret=MZXW6YQ\notpauth://totp/New?secret=MY\n"
             "otpauth://totp/Second?secret=MZXW6YQ");
    QCOMPARE(OtpAuthLink::noteWithLink("PIN 1234", "otpauth://totp/New?secret=MY"),
             QString("PIN 1234\notpauth://totp/New?secret=MY"));
    QCOMPARE(OtpAuthLink::noteWithLink("", "otpauth://totp/New?secret=MY"), QString("otpauth://totp/New?secret=MY"));
}

void tst_OtpAuthLink::writtenLinkReadsBackAndMasks()
{
    OtpAuthLink link;
    QVERIFY(link.setSecretText("mzxw 6yq="));
    link.setLabel("Home bank:alice@example.com");
    link.setIssuer("Home & Co");
    link.setAlgorithm(TotpCode::Sha512);
    link.setDigits(8);
    link.setPeriod(45);
    const QString text = link.toString();
    QCOMPARE(text, QString("otpauth://totp/Home%20bank:alice@example.com?secret=MZXW6YQ&issuer=Home%20%26%20Co"
                           "&algorithm=SHA512&digits=8&period=45"));
    OtpAuthLink read;
    QVERIFY(read.parse(text));
    QCOMPARE(read.secret(), QByteArray("foob"));
    QCOMPARE(read.label(), link.label());
    QCOMPARE(read.issuer(), link.issuer());
    QCOMPARE(read.code(1000), link.code(1000));

    QCOMPARE(OtpAuthLink::maskedNote("PIN\n" + text + "\nmore"),
             QString("PIN\notpauth://totp/Home%20bank:alice@example.com?secret=********&issuer=Home%20%26%20Co"
                     "&algorithm=SHA512&digits=8&period=45\nmore"));
}

QTEST_GUILESS_MAIN(tst_OtpAuthLink)
#include "tst_otpauthlink.moc"
