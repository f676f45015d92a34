// lockharbour-cli audit: one finding a line and a summary, with breach
// counts from a downloaded list and from a local range server.
#include "app/cli/CommandLineClient.h"
#include "app/cli/PasswordPrompt.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "blib/app/BApplicationIdentity.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include "support/LocalHttpServer.h"

namespace {

class NoPrompt : public PasswordPrompt
{
public:
    QByteArray ask(const QString&, bool& ok) override
    {
        ok = false;
        return QByteArray();
    }
};

struct Result {
    int code;
    QString out;
    QString err;
};

QByteArray hexOf(const QString& password)
{
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper();
}

} // namespace

class tst_CommandLineAudit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsEachKindAndBreaches();

private:
    Result cli(const QStringList& arguments, const QByteArray& input)
    {
        QByteArray in = input, out, err;
        QBuffer inBuffer(&in), outBuffer(&out), errBuffer(&err);
        inBuffer.open(QIODevice::ReadOnly);
        outBuffer.open(QIODevice::WriteOnly);
        errBuffer.open(QIODevice::WriteOnly);
        NoPrompt prompt;
        CommandLineClient client(&inBuffer, &outBuffer, &errBuffer, &prompt);
        const int code = client.run(arguments);
        return { code, QString::fromUtf8(out), QString::fromUtf8(err) };
    }

    QTemporaryDir m_dir;
    QString m_file;
};

void tst_CommandLineAudit::initTestCase()
{
    applyApplicationIdentity();
    m_file = m_dir.filePath("v.lhdb");
    const QString stdinFlag = "--password-stdin";
    QCOMPARE(cli({ "create", m_file, "--name", "V", "--rounds", "1", stdinFlag }, "m\n").code, 0);
    QCOMPARE(cli({ "mkgroup", m_file, "Web", stdinFlag }, "m\n").code, 0);
    QCOMPARE(cli({ "add", m_file, "Web", "Forum", "--entry-password-stdin", stdinFlag }, "m\nabc123\n").code, 0);
    QCOMPARE(cli({ "add", m_file, "Web", "Mail", "--entry-password-stdin", stdinFlag }, "m\nTq8#vLm2!pXz6&Rw\n").code, 0);
    QCOMPARE(cli({ "add", m_file, "Web", "Wiki", "--entry-password-stdin", stdinFlag }, "m\nTq8#vLm2!pXz6&Rw\n").code, 0);
    QCOMPARE(cli({ "add", m_file, "Web", "Old", "--expires", "2001-02-03", "--entry-password-stdin", stdinFlag },
                 "m\nHy7^mW3$zK9!eB4q\n").code, 0);
}

void tst_CommandLineAudit::printsEachKindAndBreaches()
{
    const Result plain = cli({ "audit", m_file, "--password-stdin" }, "m\n");
    QCOMPARE(plain.code, 0);
    QStringList lines = plain.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QVERIFY2(QRegularExpression("^weak\tWeb - Forum\t(Very weak|Weak)(: .+)?$").match(lines.at(0)).hasMatch(),
             qPrintable(lines.at(0)));
    QCOMPARE(lines.mid(1, 3), QStringList({ "reused\tWeb - Mail\tWeb - Wiki", "reused\tWeb - Wiki\tWeb - Mail",
                                            "expired\tWeb - Old\t3 Feb 2001" }));
    QCOMPARE(lines.at(4), QString("4 passwords: 1 weak, 2 reused, 1 expired, 0 expiring within 30 days, unchecked "
                                  "breached; score 0/100"));

    // Forum's password in a list, Mail's (and Wiki's) online.
    const QString list = m_dir.filePath("list.txt");
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(hexOf("abc123") + ":77\n");
    file.close();
    LocalHttpServer server;
    const QByteArray mail = hexOf("Tq8#vLm2!pXz6&Rw");
    CannedReply reply;
    reply.body = mail.mid(5) + ":12\r\n";
    reply.contentType = "text/plain";
    server.setReply("/range/" + mail.left(5), reply);
    const Result checked = cli({ "audit", m_file, "--hibp", list, "--hibp-online", "--hibp-url", server.baseUrl(),
                                 "--password-stdin" }, "m\n");
    QCOMPARE(checked.code, 0);
    lines = checked.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.contains("breached\tWeb - Forum\t77"));
    QVERIFY(lines.contains("breached\tWeb - Mail\t12"));
    QVERIFY(lines.contains("breached\tWeb - Wiki\t12"));
    QVERIFY2(lines.last().contains(", 3 breached;"), qPrintable(lines.last()));
    for (const RecordedRequest& request : server.requests())
        QCOMPARE(request.path().size(), int(QByteArray("/range/XXXXX").size()));

    // A list in another format is refused with the reason.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a list\n");
    file.close();
    const Result refused = cli({ "audit", m_file, "--hibp", list, "--password-stdin" }, "m\n");
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.err.contains("SHA1HEX:COUNT"), qPrintable(refused.err));
}

QTEST_GUILESS_MAIN(tst_CommandLineAudit)
#include "tst_commandlineaudit.moc"
