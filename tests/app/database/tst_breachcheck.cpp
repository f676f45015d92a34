// Breached-password checks: the binary search over a downloaded list, the
// online range look-up against a local server, and the vault health report.
#include "app/database/BreachedPasswordFile.h"
#include "app/database/BreachedPasswordRangeTask.h"
#include "app/database/DatabaseReport.h"
#include "blib/app/BApplicationIdentity.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include "support/LocalHttpServer.h"
#include "support/TaskRun.h"
#include "support/WorkspaceFixture.h"

namespace {

QByteArray hexOf(const QString& password)
{
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper();
}

// `count` sorted lines of made-up hashes around the given ones, whose counts
// are their line numbers plus one.
QList<QByteArray> sortedHashes(const QList<QByteArray>& wanted, int count)
{
    QList<QByteArray> hashes = wanted;
    for (int i = hashes.size(); i < count; ++i)
        hashes << hexOf(QStringLiteral("filler %1").arg(i));
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

QString writeList(const QTemporaryDir& dir, const QList<QByteArray>& hashes, const QByteArray& lineEnd)
{
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    for (int i = 0; i < hashes.size(); ++i)
        file.write(hashes.at(i) + ':' + QByteArray::number(i + 1) + lineEnd);
    return path;
}

CannedReply textReply(int status, const QByteArray& body)
{
    CannedReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = "text/plain";
    return reply;
}

QString writeRaw(const QTemporaryDir& dir, const QByteArray& content)
{
    const QString path = dir.filePath(QStringLiteral("raw.txt"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

} // namespace

class tst_BreachCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { applyApplicationIdentity(); }

    void listLookupFindsEveryLine_data();
    void listLookupFindsEveryLine();
    void malformedListRefused_data();
    void malformedListRefused();
    void onlineCheckSendsOnlyPrefixes();
    void onlineCheckFailureReported();
    void reportCountsEachKind();
};

void tst_BreachCheck::listLookupFindsEveryLine_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<bool>("finalLineEnd");
    QTest::newRow("LF") << QByteArray("\n") << true;
    QTest::newRow("CRLF") << QByteArray("\r\n") << true;
    QTest::newRow("CRLF, last line unended") << QByteArray("\r\n") << false;
}

void tst_BreachCheck::listLookupFindsEveryLine()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(bool, finalLineEnd);
    QTemporaryDir dir;
    // Enough lines that the search halves the file many times.
    const QList<QByteArray> hashes = sortedHashes({ hexOf("password") }, 300);
    QString path = writeList(dir, hashes, lineEnd);
    if (!finalLineEnd) {
        QFile file(path);
        file.resize(file.size() - lineEnd.size());
    }
    BreachedPasswordFile list;
    QVERIFY2(list.open(path), qPrintable(list.errorText()));
    for (int i = 0; i < hashes.size(); ++i)
        QCOMPARE(list.lookup(hashes.at(i)), qint64(i + 1));
    QCOMPARE(list.lookup(BreachedPasswordFile::sha1Hex("password")), qint64(hashes.indexOf(hexOf("password")) + 1));
    // Not listed: before the first line, between two lines, after the last.
    QCOMPARE(list.lookup(QByteArray(40, '0')), qint64(0));
    QByteArray between = hashes.at(150);
    between[39] = between[39] == 'F' ? 'E' : 'F';
    QVERIFY(!hashes.contains(between));
    QCOMPARE(list.lookup(between), qint64(0));
    QCOMPARE(list.lookup(QByteArray(40, 'F')), qint64(0));
}

void tst_BreachCheck::malformedListRefused_data()
{
    const QByteArray a = hexOf("a"), b = hexOf("b");
    const QByteArray low = qMin(a, b), high = qMax(a, b);
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("opens");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("plain text") << QByteArray("hello world\nsecond line\n") << false;
    QTest::newRow("lower-case hex") << low.toLower() + ":3\n" + high + ":1\n" << false;
    QTest::newRow("no count") << low + ":\n" + high + ":1\n" << false;
    QTest::newRow("unsorted") << high + ":3\n" + low + ":1\n" << false;
    // Only the lines the search meets can be checked: a bad line among
    // good ones ends a look-up with an error.
    QByteArray middle;
    for (const QByteArray& hash : sortedHashes({}, 40))
        middle += hash + ":7\n";
    middle.replace(20 * 43 + 40, 1, "-");
    QTest::newRow("bad line inside") << middle << true;
}

void tst_BreachCheck::malformedListRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    BreachedPasswordFile list;
    QCOMPARE(list.open(writeRaw(dir, content)), opens);
    if (opens) {
        qint64 result = 0;
        for (const QByteArray& hash : sortedHashes({}, 40)) {
            result = list.lookup(hash);
            if (result < 0)
                break;
        }
        QCOMPARE(result, qint64(-1));
    }
    QVERIFY2(list.errorText().contains("\"SHA1HEX:COUNT\""), qPrintable(list.errorText()));
}

void tst_BreachCheck::onlineCheckSendsOnlyPrefixes()
{
    LocalHttpServer server;
    QVERIFY(server.isListening());
    const QByteArray listed = hexOf("letmein"), padded = hexOf("Zr4!kq9#Lm2@vT7x"), absent = hexOf("qwertz");
    const QByteArray body = "0000000000000000000000000000000000A:0\r\n" + listed.mid(5) + ":4242\r\n"
        + padded.mid(5) + ":0\r\n";
    for (const QByteArray& hash : { listed, padded, absent })
        server.setReply("/range/" + hash.left(5), textReply(200, body));

    // The same password twice is asked for once.
    BreachedPasswordRangeTask task(server.baseUrl() + "/", { listed, padded, absent, listed });
    TaskRun run(&task);
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Success);
    QCOMPARE(task.counts(), QList<qint64>({ 4242, 0, 0, 4242 }));

    QCOMPARE(server.requests().size(), 3);
    for (const RecordedRequest& request : server.requests()) {
        QCOMPARE(request.method, QByteArray("GET"));
        QVERIFY2(QRegularExpression("^/range/[0-9A-F]{5}$").match(QString::fromLatin1(request.target)).hasMatch(),
                 request.target.constData());
        QCOMPARE(request.headers.value("add-padding"), QByteArray("true"));
        for (const QByteArray& hash : { listed, padded, absent }) {
            for (const QByteArray& value : request.headers)
                QVERIFY(!value.contains(hash.mid(5, 10)));
        }
    }
}

void tst_BreachCheck::onlineCheckFailureReported()
{
    LocalHttpServer server;
    server.setDefaultReply(textReply(500, "oops"));
    BreachedPasswordRangeTask failing(server.baseUrl(), { hexOf("one") });
    TaskRun run(&failing);
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Failure);
    QVERIFY2(run.errorText().contains("500"), qPrintable(run.errorText()));

    server.setDefaultReply(textReply(200, "this is not a range answer\r\n"));
    BreachedPasswordRangeTask unreadable(server.baseUrl(), { hexOf("two") });
    TaskRun second(&unreadable);
    QVERIFY(second.wait());
    QCOMPARE(second.result(), Failure);
    QVERIFY2(second.errorText().contains("could not be read"), qPrintable(second.errorText()));
}

void tst_BreachCheck::reportCountsEachKind()
{
    using Password = PasswordDatabase::Password;
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    PasswordDatabase::Group* web = makeGroup("Web");
    PasswordDatabase::Group* work = makeGroup("Work");
    db.addItem(web);
    db.addItem(work);
    const QDateTime now = QDateTime::currentDateTime();
    auto add = [](PasswordDatabase::Group* group, const QString& name, const QString& secret) {
        Password* password = makePassword(group, name);
        password->setPassword(secret);
        return password;
    };
    add(web, "Weak", "abc123");
    add(web, "Shared one", "Tq8#vLm2!pXz6&Rw");
    add(work, "Shared two", "Tq8#vLm2!pXz6&Rw");
    Password* expired = add(work, "Expired", "Hy7^mW3$zK9!eB4q");
    expired->setNeverExpire(false);
    expired->setExpireTime(now.addDays(-1));
    Password* expiring = add(work, "Expiring", "Np2&xD8#sL5@cV1r");
    expiring->setNeverExpire(false);
    expiring->setExpireTime(now.addDays(10));
    Password* later = add(work, "Later", "Jf6!tR3^wM9$kQ2z");
    later->setNeverExpire(false);
    later->setExpireTime(now.addDays(40));
    Password* breached = add(web, "Breached", "Bg4@qZ7#nX2!hP8s");
    // The backup group's copies are left out.
    PasswordDatabase::Group* backup = makeGroup("Backup");
    backup->setTag(PasswordDatabase::BackupGroupTag);
    db.addItem(backup);
    add(backup, "Old", "abc123");
    add(backup, "Old shared", "Bg4@qZ7#nX2!hP8s");

    DatabaseReport report;
    report.build(db, now, { { breached, 9 } });
    QStringList lines;
    for (const DatabaseReport::Finding& finding : report.findings())
        lines << DatabaseReport::kindKey(finding.kind) + " " + finding.password->getName() + ": " + finding.detail;
    QCOMPARE(lines.size(), 6);
    QVERIFY2(lines.at(0).startsWith("weak Weak: Very weak") || lines.at(0).startsWith("weak Weak: Weak"),
             qPrintable(lines.at(0)));
    QCOMPARE(lines.mid(1), QStringList({ "reused Shared one: Work - Shared two", "breached Breached: 9",
                                         "reused Shared two: Web - Shared one",
                                         "expired Expired: " + now.addDays(-1).toString("d MMM yyyy"),
                                         "expiring Expiring: " + now.addDays(10).toString("d MMM yyyy") }));
    QCOMPARE(report.count(DatabaseReport::Weak), 1);
    QCOMPARE(report.count(DatabaseReport::Reused), 2);
    QCOMPARE(report.count(DatabaseReport::Expired), 1);
    QCOMPARE(report.count(DatabaseReport::Expiring), 1);
    QCOMPARE(report.count(DatabaseReport::Breached), 1);
    QCOMPARE(report.passwordCount(), 7);
    // Only "Later" has no finding.
    QCOMPARE(report.score(), qRound(100.0 / 7));
    int rated = 0;
    for (int rating = 0; rating < DatabaseReport::ratingCount; ++rating)
        rated += report.ratingTotal(rating);
    QCOMPARE(rated, 7);
    QCOMPARE(report.ratingTotal(0) + report.ratingTotal(1), 1);

    // A locked or closed vault reports nothing.
    db.clear();
    report.build(db, now);
    QVERIFY(report.findings().isEmpty());
    QCOMPARE(report.passwordCount(), 0);
}

QTEST_MAIN(tst_BreachCheck)
#include "tst_breachcheck.moc"
