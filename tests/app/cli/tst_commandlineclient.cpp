#include "app/cli/CommandLineClient.h"
#include "app/cli/PasswordPrompt.h"
#include "blib/app/BApplicationIdentity.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Answers terminal prompts from a fixed list and records the labels.
class ScriptedPrompt : public PasswordPrompt
{
public:
    QStringList answers;
    QStringList labels;

    QString ask(const QString& label, bool& ok) override
    {
        labels.append(label);
        ok = !answers.isEmpty();
        return ok ? answers.takeFirst() : QString();
    }
};

struct Result {
    int code;
    QString out;
    QString err;
};

} // namespace

class TestCommandLineClient : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ScriptedPrompt m_prompt;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    Result cli(const QStringList& arguments, const QByteArray& input = QByteArray())
    {
        QByteArray in = input;
        QByteArray out;
        QByteArray err;
        QBuffer inBuffer(&in);
        QBuffer outBuffer(&out);
        QBuffer errBuffer(&err);
        inBuffer.open(QIODevice::ReadOnly);
        outBuffer.open(QIODevice::WriteOnly);
        errBuffer.open(QIODevice::WriteOnly);
        CommandLineClient client(&inBuffer, &outBuffer, &errBuffer, &m_prompt);
        const int code = client.run(arguments);
        return { code, QString::fromUtf8(out), QString::fromUtf8(err) };
    }

    // A small database: Personal/Finance/Bank and Personal/Mail.
    QString makeDatabase(const QString& name)
    {
        const QString file = path(name);
        const QByteArray pw("master\n");
        const QString stdinFlag = QStringLiteral("--password-stdin");
        [&] {
            QCOMPARE(cli({ "create", file, "--name", "Household", "--note", "shared", "--rounds", "3", stdinFlag }, pw).code, 0);
            QCOMPARE(cli({ "mkgroup", file, "Personal", stdinFlag }, pw).code, 0);
            QCOMPARE(cli({ "mkgroup", file, "Personal - Finance", stdinFlag }, pw).code, 0);
            QCOMPARE(cli({ "add", file, "Personal - Finance", "Bank", "--username", "alice", "--url", "https://bank.example",
                           "--expires", "2031-05-06", "--entry-password-stdin", stdinFlag },
                         "master\ns3cr%1t\n")
                         .code,
                     0);
            QCOMPARE(cli({ "add", file, "Personal", "Mail", "--email", "a@b.example", stdinFlag }, pw).code, 0);
        }();
        return file;
    }

private slots:
    void initTestCase()
    {
        applyApplicationIdentity();
        QVERIFY(m_dir.isValid());
    }

    void createdDatabaseShowsItsHeaderWithoutPassword()
    {
        const QString file = path("header.lhdb");
        QCOMPARE(cli({ "create", file, "--name", "Work", "--note", "team vault", "--cipher", "Twofish-256",
                       "--rounds", "5", "--password-stdin" },
                     "pw\n")
                     .code,
                 0);
        const Result info = cli({ "info", file });
        QCOMPARE(info.code, 0);
        QVERIFY(info.out.contains("Name: Work\n"));
        QVERIFY(info.out.contains("Note: team vault\n"));
        QVERIFY(info.out.contains("Cipher: Twofish-256\n"));
        QVERIFY(info.out.contains("Key derivation: PBKDF2, 5 rounds\n"));
        QVERIFY(info.out.contains("Format version: 3\n"));

        // Never overwrite an existing file.
        const Result again = cli({ "create", file, "--name", "Other", "--password-stdin" }, "pw\n");
        QCOMPARE(again.code, 1);
        QVERIFY(cli({ "info", file }).out.contains("Name: Work\n"));
    }

    void treeCommands()
    {
        const QString file = makeDatabase("tree.lhdb");
        const Result ls = cli({ "ls", file, "--password-stdin" }, "master\n");
        QCOMPARE(ls.code, 0);
        QCOMPARE(ls.out, QStringLiteral("Personal/\n  Finance/\n    Bank\n  Mail\n"));

        const Result group = cli({ "ls", file, "Personal - Finance", "--password-stdin" }, "master\n");
        QCOMPARE(group.out, QStringLiteral("Bank\n"));

        const Result masked = cli({ "show", file, "Personal - Finance - Bank", "--password-stdin" }, "master\n");
        QCOMPARE(masked.code, 0);
        QVERIFY(masked.out.contains("User name: ********\n"));
        QVERIFY(masked.out.contains("Password: ********\n"));
        QVERIFY(!masked.out.contains("alice"));
        QVERIFY(!masked.out.contains("s3cr"));
        QVERIFY(masked.out.contains("URL: https://bank.example\n"));
        QVERIFY(masked.out.contains("Group: Personal - Finance\n"));
        QVERIFY(masked.out.contains("Expires: 2031-05-06"));

        const Result shown = cli({ "show", file, "Personal - Finance - Bank", "--show-secrets", "--password-stdin" }, "master\n");
        QVERIFY(shown.out.contains("User name: alice\n"));
        QVERIFY(shown.out.contains("Password: s3cr%1t\n"));

        QCOMPARE(cli({ "show", file, "Personal - Nothing", "--password-stdin" }, "master\n").code, 1);
        // Adding a second entry of the same name would make names ambiguous.
        QCOMPARE(cli({ "add", file, "Personal", "Mail", "--password-stdin" }, "master\n").code, 1);
    }

    void editChangesOnlyTheGivenFields()
    {
        const QString file = makeDatabase("edit.lhdb");
        QCOMPARE(cli({ "edit", file, "Personal - Finance - Bank", "--username", "bob", "--expires", "never",
                       "--entry-password-stdin", "--password-stdin" },
                     "master\nnewentry\n")
                     .code,
                 0);
        const Result shown = cli({ "show", file, "Personal - Finance - Bank", "--show-secrets", "--password-stdin" }, "master\n");
        QVERIFY(shown.out.contains("User name: bob\n"));
        QVERIFY(shown.out.contains("Password: newentry\n"));
        QVERIFY(shown.out.contains("URL: https://bank.example\n"));
        QVERIFY(shown.out.contains("Expires: never\n"));

        QCOMPARE(cli({ "edit", file, "Personal - Finance - Bank", "--name", "Savings", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "ls", file, "Personal - Finance", "--password-stdin" }, "master\n").out, QStringLiteral("Savings\n"));
    }

    void removeDeletesTheWholeSubtree()
    {
        const QString file = makeDatabase("rm.lhdb");
        QCOMPARE(cli({ "rm", file, "Personal - Finance", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "master\n").out, QStringLiteral("Personal/\n  Mail\n"));
        QCOMPARE(cli({ "rm", file, "Personal", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "master\n").out, QString());
        QCOMPARE(cli({ "rm", file, "Personal", "--password-stdin" }, "master\n").code, 1);
    }

    void ambiguousNamesAreRefused()
    {
        const QString file = makeDatabase("ambiguous.lhdb");
        // A second top-level group with the same name as an existing one.
        QCOMPARE(cli({ "mkgroup", file, "Personal", "--password-stdin" }, "master\n").code, 1);
        QCOMPARE(cli({ "mkgroup", file, "Nowhere - Child", "--password-stdin" }, "master\n").code, 1);

        // A group and an entry sharing one full name: rm must not guess.
        QCOMPARE(cli({ "mkgroup", file, "Personal - x%1", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "add", file, "Personal", "x%1", "--password-stdin" }, "master\n").code, 0);
        const Result rm = cli({ "rm", file, "Personal - x%1", "--password-stdin" }, "master\n");
        QCOMPARE(rm.code, 1);
        QCOMPARE(rm.err, QStringLiteral("The name \"Personal - x%1\" is ambiguous: 2 items have it.\n"));
        // Commands that want one kind still find it.
        QCOMPARE(cli({ "show", file, "Personal - x%1", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "ls", file, "Personal - x%1", "--password-stdin" }, "master\n").code, 0);
    }

    void emptyMasterPasswordIsRefused()
    {
        const QString file = path("empty.lhdb");
        const Result create = cli({ "create", file, "--name", "E", "--rounds", "2", "--password-stdin" }, "\n");
        QCOMPARE(create.code, 1);
        QCOMPARE(create.err, QStringLiteral("A password is required to protect the database.\n"));
        QVERIFY(!QFile::exists(file));

        QCOMPARE(cli({ "create", file, "--name", "E", "--rounds", "2", "--password-stdin" }, "pw\n").code, 0);
        QCOMPARE(cli({ "passwd", file, "--password-stdin" }, "pw\n\n").code, 1);
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "pw\n").code, 0);
    }

    void attachmentsRoundTripByteForByte()
    {
        const QString file = makeDatabase("attach.lhdb");
        QByteArray bytes;
        for (int i = 0; i < 3000; ++i)
            bytes.append(char(i * 7));
        QFile source(path("key.bin"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(bytes);
        source.close();

        QCOMPARE(cli({ "attach", file, "Personal - Mail", source.fileName(), "--password-stdin" }, "master\n").code, 0);
        QVERIFY(cli({ "show", file, "Personal - Mail", "--password-stdin" }, "master\n").out.contains("Attachment: key.bin\n"));
        QCOMPARE(cli({ "extract", file, "Personal - Mail", path("out.bin"), "--password-stdin" }, "master\n").code, 0);
        QFile extracted(path("out.bin"));
        QVERIFY(extracted.open(QIODevice::ReadOnly));
        QCOMPARE(extracted.readAll(), bytes);

        const Result none = cli({ "extract", file, "Personal - Finance - Bank", path("none.bin"), "--password-stdin" }, "master\n");
        QCOMPARE(none.code, 1);
        QVERIFY(!QFile::exists(path("none.bin")));
        QCOMPARE(cli({ "attach", file, "Personal - Mail", path("missing.bin"), "--password-stdin" }, "master\n").code, 1);
    }

    void exportWritesTheTreeWithoutPadding()
    {
        const QString file = makeDatabase("export.lhdb");
        const Result exported = cli({ "export", file, "--password-stdin" }, "master\n");
        QCOMPARE(exported.code, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(exported.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject root = document.object();
        QCOMPARE(root.keys(), QStringList { "groups" });
        const QJsonObject personal = root.value("groups").toArray().at(0).toObject();
        QCOMPARE(personal.value("name").toString(), QStringLiteral("Personal"));
        QCOMPARE(personal.value("type").toInt(), 1);
        const QJsonObject finance = personal.value("items").toArray().at(0).toObject();
        const QJsonObject bank = finance.value("items").toArray().at(0).toObject();
        QCOMPARE(bank.value("type").toInt(), 2);
        QCOMPARE(bank.value("password").toString(), QStringLiteral("s3cr%1t"));
        QCOMPARE(bank.value("username").toString(), QStringLiteral("alice"));
        QCOMPARE(bank.value("never_expire").toBool(), false);
        QVERIFY(bank.value("expire_time").isString());
        QVERIFY(bank.value("gui_state").isDouble());
        QVERIFY(!bank.contains("attachment"));
    }

    void passwordChangeAndCipherChange()
    {
        const QString file = makeDatabase("passwd.lhdb");
        QCOMPARE(cli({ "passwd", file, "--cipher", "Twofish-256", "--rounds", "4", "--password-stdin" }, "master\nfresh\n").code, 0);
        const Result wrong = cli({ "ls", file, "--password-stdin" }, "master\n");
        QCOMPARE(wrong.code, 1);
        QCOMPARE(wrong.err, QStringLiteral("Failed to unlock password database. Incorrect password.\n"));
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "fresh\n").code, 0);
        const QString info = cli({ "info", file }).out;
        QVERIFY(info.contains("Cipher: Twofish-256\n"));
        QVERIFY(info.contains("PBKDF2, 4 rounds"));
    }

    void passwordsFromTheTerminalPrompt()
    {
        const QString file = path("prompt.lhdb");
        m_prompt.answers = QStringList { "one", "two" };
        const Result mismatch = cli({ "create", file, "--name", "P", "--rounds", "2" });
        QCOMPARE(mismatch.code, 1);
        QVERIFY(mismatch.err.contains("do not match"));
        QVERIFY(!QFile::exists(file));

        m_prompt.answers = QStringList { "same", "same" };
        m_prompt.labels.clear();
        QCOMPARE(cli({ "create", file, "--name", "P", "--rounds", "2" }).code, 0);
        QCOMPARE(m_prompt.labels, QStringList({ "New master password: ", "Repeat the new master password: " }));
        m_prompt.answers = QStringList { "same" };
        m_prompt.labels.clear();
        QCOMPARE(cli({ "ls", file }).code, 0);
        QCOMPARE(m_prompt.labels, QStringList { "Master password: " });
        m_prompt.answers.clear();
        const Result noTerminal = cli({ "ls", file });
        QCOMPARE(noTerminal.code, 1);
        QVERIFY(noTerminal.err.contains("--password-stdin"));
    }

    void usageErrorsExitWithTwo()
    {
        const QString file = makeDatabase("usage.lhdb");
        const QList<QStringList> bad {
            {},
            { "frobnicate", file },
            { "ls" },
            { "show", file },
            { "create", path("x.lhdb") },
            { "create", path("x.lhdb"), "--name", "X", "--cipher", "ROT13" },
            { "create", path("x.lhdb"), "--name", "X", "--rounds", "-5" },
            { "ls", file, "--password", "master" },
            { "add", file, "Personal", "X", "--expires", "next tuesday" },
            { "ls", file, "--bogus" },
        };
        for (const QStringList& arguments : bad) {
            const Result result = cli(arguments, "master\n");
            QVERIFY2(result.code == 2, qPrintable(arguments.join(' ')));
            QVERIFY(result.err.contains("Usage: lockharbour-cli"));
        }
        QVERIFY(!QFile::exists(path("x.lhdb")));
    }

    void programReportsErrorsAndExitCodes()
    {
        const QString program = qEnvironmentVariable("LH_BINARY_DIR") + "/app/lockharbour-cli";
        if (!QFile::exists(program))
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("process.lhdb");

        QProcess process;
        process.start(program, { "ls", file, "--password-stdin" });
        process.write("wrong\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 QStringLiteral("Failed to unlock password database. Incorrect password.\n"));

        process.start(program, { "ls", file, "--password-stdin" });
        process.write("master\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QStringLiteral("Personal/\n  Finance/\n    Bank\n  Mail\n"));

        process.start(program, { "info" });
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 2);
    }

    void generatePrintsPasswordsFromTheRandomGenerator()
    {
        const QString all = QStringLiteral(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-_!@#$%^&*()+=[]{};:,./<>?");
        const Result one = cli({ "generate" });
        QCOMPARE(one.code, 0);
        QVERIFY(one.err.isEmpty());
        QVERIFY(one.out.endsWith('\n'));
        const QString first = one.out.chopped(1);
        QCOMPARE(first.size(), 13);
        for (const QChar c : first)
            QVERIFY2(all.contains(c), qPrintable(first));

        // K lines, each drawn anew.
        const Result many = cli({ "generate", "--count", "50", "--length", "24" });
        QCOMPARE(many.code, 0);
        const QStringList lines = many.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 50);
        QCOMPARE(QSet<QString>(lines.begin(), lines.end()).size(), 50);
        for (const QString& line : lines)
            QCOMPARE(line.size(), 24);

        const Result digits = cli({ "generate", "--no-lowercase", "--no-uppercase", "--no-minus", "--no-underscore",
                                    "--no-special", "--length=100" });
        QCOMPARE(digits.code, 0);
        QVERIFY(QRegularExpression("^[0-9]{100}\n$").match(digits.out).hasMatch());
        const Result signs = cli({ "generate", "--no-lowercase", "--no-uppercase", "--no-numbers", "--no-special",
                                   "--count", "20" });
        QVERIFY(QRegularExpression("^([-_]{13}\n){20}$").match(signs.out).hasMatch());

        const QList<QStringList> bad {
            { "generate", "--no-lowercase", "--no-uppercase", "--no-numbers", "--no-minus", "--no-underscore",
              "--no-special" },
            { "generate", "--length", "0" },
            { "generate", "--length", "101" },
            { "generate", "--length", "ten" },
            { "generate", "--count", "0" },
            { "generate", "extra" },
            { "generate", "--no-digits" },
        };
        for (const QStringList& arguments : bad) {
            const Result result = cli(arguments);
            QVERIFY2(result.code == 2, qPrintable(arguments.join(' ')));
            QVERIFY(result.out.isEmpty());
            QVERIFY(result.err.contains("Usage: lockharbour-cli"));
        }
    }

    void estimateRatesTheFirstLine()
    {
        Result weak = cli({ "estimate" }, "dog;lkjhg\nsecond line\n");
        QCOMPARE(weak.code, 0);
        QCOMPARE(weak.out, QStringLiteral("entropy: 18.9\nrating: Weak\nwarning: Contains common sequence. (dog)\n"));

        Result strong = cli({ "estimate" }, "UxfoI0ArKCE9Z");
        QCOMPARE(strong.out, QStringLiteral("entropy: 60.0\nrating: Excellent\nwarning: \n"));

        Result empty = cli({ "estimate" }, "\n");
        QCOMPARE(empty.out, QStringLiteral("entropy: 0.0\nrating: Very weak\nwarning: Password empty.\n"));

        Result none = cli({ "estimate" });
        QCOMPARE(none.code, 1);
        QVERIFY(none.out.isEmpty());
        QCOMPARE(cli({ "estimate", "dog" }).code, 2);
    }

    void addWithGeneratedPassword()
    {
        const QString file = makeDatabase("generated.lhdb");
        const Result shown = cli({ "add", file, "Personal", "Shop", "--generate", "--length", "30", "--no-special",
                                   "--show-secrets", "--password-stdin" },
                                 "master\n");
        QCOMPARE(shown.code, 0);
        QVERIFY(QRegularExpression("^[a-zA-Z0-9_-]{30}\n$").match(shown.out).hasMatch());
        const Result stored = cli({ "show", file, "Personal - Shop", "--show-secrets", "--password-stdin" }, "master\n");
        QVERIFY(stored.out.contains("Password: " + shown.out));

        // Without --show-secrets nothing is printed, but a password is stored.
        const Result quiet = cli({ "add", file, "Personal", "Forum", "--generate", "--password-stdin" }, "master\n");
        QCOMPARE(quiet.code, 0);
        QVERIFY(quiet.out.isEmpty());
        const Result forum = cli({ "show", file, "Personal - Forum", "--show-secrets", "--password-stdin" }, "master\n");
        QVERIFY(QRegularExpression("Password: \\S{13}\n").match(forum.out).hasMatch());

        // Generator options belong to --generate, which excludes a typed password.
        QCOMPARE(cli({ "add", file, "Personal", "X", "--length", "20", "--password-stdin" }, "master\n").code, 2);
        QCOMPARE(cli({ "add", file, "Personal", "X", "--generate", "--entry-password-stdin", "--password-stdin" },
                     "master\nsecret\n")
                     .code,
                 2);
        QCOMPARE(cli({ "add", file, "Personal", "X", "--generate", "--no-lowercase", "--no-uppercase", "--no-numbers",
                       "--no-minus", "--no-underscore", "--no-special", "--password-stdin" },
                     "master\n")
                     .code,
                 2);
        QVERIFY(!cli({ "ls", file, "--password-stdin" }, "master\n").out.contains("  X\n"));
    }

    void programEstimatesFromAPipe()
    {
        const QString program = qEnvironmentVariable("LH_BINARY_DIR") + "/app/lockharbour-cli";
        if (!QFile::exists(program))
            QSKIP("the lockharbour-cli program is not built in this tree");
        QProcess process;
        process.start(program, { "estimate" });
        process.write("p4ssw0rd\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
                 QStringLiteral("entropy: 1.0\nrating: Very weak\nwarning: Contains leetspeak. (p4ssw0rd)\n"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLineClient)
#include "tst_commandlineclient.moc"
