#include "app/cli/CommandHelp.h"
#include "app/cli/CommandLineClient.h"
#include "app/cli/PasswordPrompt.h"
#include "app/cli/TerminalScriptUserInterface.h"
#include "app/database/OtpAuthLink.h"
#include "app/database/PasswordBackup.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/task/BTaskController.h"
#include "support/HandBuiltVault.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <functional>
#include <utility>
#include <unistd.h>

namespace {

// Answers terminal prompts from a fixed list and records the labels.
class ScriptedPrompt : public PasswordPrompt
{
public:
    QList<QByteArray> answers;
    QStringList labels;

    // Run before each answer, as another program would act meanwhile.
    std::function<void()> meanwhile;

    QByteArray ask(const QString& label, bool& ok) override
    {
        if (meanwhile)
            std::exchange(meanwhile, nullptr)();
        labels.append(label);
        ok = !answers.isEmpty();
        return ok ? answers.takeFirst() : QByteArray();
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

    Result cli(const QStringList& arguments, const QByteArray& input = QByteArray(), int lockWaitMs = -1)
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
        if (lockWaitMs >= 0)
            client.setLockWaitMs(lockWaitMs);
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
            QCOMPARE(cli({ "add", file, "Personal", "Mail", "--email", "a@b.example", "--no-password", stdinFlag }, pw).code, 0);
        }();
        return file;
    }

    QString program() const { return qEnvironmentVariable("LH_BINARY_DIR") + "/app/lockharbour-cli"; }

    // Runs the real program (through `wrapper` when given, such as strace).
    Result runProgram(const QStringList& arguments, const QByteArray& input, const QStringList& wrapper = {},
                      const QString& outputFile = QString())
    {
        QProcess process;
        if (!outputFile.isEmpty())
            process.setStandardOutputFile(outputFile);
        if (wrapper.isEmpty())
            process.start(program(), arguments);
        else
            process.start(wrapper.first(), wrapper.mid(1) + QStringList { program() } + arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000))
            return { -1, QString(), QStringLiteral("did not finish") };
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                 QString::fromUtf8(process.readAllStandardOutput()),
                 QString::fromUtf8(process.readAllStandardError()) };
    }

    static QByteArray fileBytes(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static int modeOf(const QString& file)
    {
        struct stat status {};
        return ::stat(QFile::encodeName(file).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
    }

    bool programBuilt() const { return QFile::exists(program()); }

    // The real program on the vault made by makeDatabase().
    Result lh(const QStringList& arguments, const QByteArray& input = "master\n")
    {
        return runProgram(arguments + QStringList { "--password-stdin" }, input);
    }

    // Opens `file` with the API, lets `change` edit it and saves it.
    static void changeVault(const QString& file, const QString& password,
                            const std::function<void(PasswordDatabase&)>& change)
    {
        PasswordDatabase db;
        QVERIFY(db.load(file, nullptr));
        BTaskController controller;
        PasswordDatabaseUnlockTask task(db, password);
        QCOMPARE(task.run(&controller), Success);
        change(db);
        QVERIFY(db.save(file));
    }

    // Every item of both vaults, in order, with every field the file keeps.
    static void compareTrees(const QString& first, const QString& firstPassword, const QString& second,
                             const QString& secondPassword)
    {
        PasswordDatabase a;
        PasswordDatabase b;
        BTaskController controller;
        QVERIFY(a.load(first, nullptr) && b.load(second, nullptr));
        PasswordDatabaseUnlockTask unlockA(a, firstPassword);
        PasswordDatabaseUnlockTask unlockB(b, secondPassword);
        QCOMPARE(unlockA.run(&controller), Success);
        QCOMPARE(unlockB.run(&controller), Success);
        const QList<PasswordDatabase::Item*> left = a.getAllItems();
        const QList<PasswordDatabase::Item*> right = b.getAllItems();
        QCOMPARE(right.size(), left.size());
        for (int i = 0; i < left.size(); ++i) {
            const PasswordDatabase::Item* x = left.at(i);
            const PasswordDatabase::Item* y = right.at(i);
            QCOMPARE(y->getFullName(), x->getFullName());
            QCOMPARE(y->getType(), x->getType());
            QCOMPARE(y->getTag(), x->getTag());
            QCOMPARE(y->getFlags(), x->getFlags());
            QCOMPARE(y->getGuiState(), x->getGuiState());
            QCOMPARE(y->getNote(), x->getNote());
            if (x->isGroup()) {
                QCOMPARE(static_cast<const PasswordDatabase::Group*>(y)->getIconId(),
                         static_cast<const PasswordDatabase::Group*>(x)->getIconId());
            } else {
                const auto* p = static_cast<const PasswordDatabase::Password*>(x);
                const auto* q = static_cast<const PasswordDatabase::Password*>(y);
                QVERIFY2(*p == *q, qPrintable(x->getFullName()));
                QCOMPARE(q->getAttachment().getData(), p->getAttachment().getData());
            }
        }
    }

    // The number `ls --index` gives the line that ends with `name`.
    QString numberOf(const QString& file, const QString& name)
    {
        const Result listed = lh({ "ls", file, "--index" });
        for (const QString& line : listed.out.split('\n')) {
            if (line.section(' ', 1).trimmed() == name)
                return line.section(' ', 0, 0);
        }
        return QString();
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
        QVERIFY(info.out.contains("Format version: 4\n"));

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
        QVERIFY(masked.out.contains("User name: alice\n"));
        QVERIFY(masked.out.contains("Password: ********\n"));
        QVERIFY(!masked.out.contains("s3cr"));
        QVERIFY(masked.out.contains("URL: https://bank.example\n"));
        QVERIFY(masked.out.contains("Group: Personal - Finance\n"));
        QVERIFY(masked.out.contains("Expires: 2031-05-06"));

        const Result shown = cli({ "show", file, "Personal - Finance - Bank", "--show-secrets", "--password-stdin" }, "master\n");
        QVERIFY(shown.out.contains("User name: alice\n"));
        QVERIFY(shown.out.contains("Password: s3cr%1t\n"));

        QCOMPARE(cli({ "show", file, "Personal - Nothing", "--password-stdin" }, "master\n").code, 1);
        // Adding a second entry of the same name would make names ambiguous.
        QCOMPARE(cli({ "add", file, "Personal", "Mail", "--no-password", "--password-stdin" }, "master\n").code, 1);
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
        QCOMPARE(cli({ "rm", file, "Personal - Finance", "--recursive", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "ls", file, "Personal", "--password-stdin" }, "master\n").out, QStringLiteral("Mail\n"));
        QCOMPARE(cli({ "rm", file, "Personal", "--recursive", "--password-stdin" }, "master\n").code, 0);
        QVERIFY(!cli({ "ls", file, "--password-stdin" }, "master\n").out.contains("Personal/"));
        QCOMPARE(cli({ "rm", file, "Personal", "--recursive", "--password-stdin" }, "master\n").code, 1);
    }

    void ambiguousNamesAreRefused()
    {
        const QString file = makeDatabase("ambiguous.lhdb");
        // A second top-level group with the same name as an existing one.
        QCOMPARE(cli({ "mkgroup", file, "Personal", "--password-stdin" }, "master\n").code, 1);
        QCOMPARE(cli({ "mkgroup", file, "Nowhere - Child", "--password-stdin" }, "master\n").code, 1);

        // A group and an entry sharing one full name: rm must not guess.
        QCOMPARE(cli({ "mkgroup", file, "Personal - x%1", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "add", file, "Personal", "x%1", "--no-password", "--password-stdin" }, "master\n").code, 0);
        const Result rm = cli({ "rm", file, "Personal - x%1", "--password-stdin" }, "master\n");
        QCOMPARE(rm.code, 1);
        QCOMPARE(rm.err, QStringLiteral("The name \"Personal - x%1\" is ambiguous: 2 items have it. Name one of them "
                                        "by its path or number:\n  @5  /Personal/x%1/\n  @6  /Personal/x%1\n"));
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

    // Three changed copies merged at once, the shared password typed once.
    void mergeTakesEverySourceIntoDestOnce()
    {
        const QString dest = makeDatabase("merge.lhdb");
        const QString a = path("merge-a.lhdb"), b = path("merge-b.lhdb"), c = path("merge-c.lhdb");
        for (const QString& copy : { a, b, c })
            QVERIFY(QFile::copy(dest, copy));
        const QString stdinFlag = QStringLiteral("--password-stdin");
        QCOMPARE(cli({ "add", a, "Personal", "A1", "--no-password", stdinFlag }, "master\n").code, 0);
        QCOMPARE(cli({ "rm", b, "Personal - Mail", stdinFlag }, "master\n").code, 0);
        QCOMPARE(cli({ "mkgroup", c, "Work", stdinFlag }, "master\n").code, 0);
        QCOMPARE(cli({ "passwd", c, "--rounds", "3", stdinFlag }, "master\nother\nother\n").code, 0);

        const QByteArray before = fileBytes(dest);
        const Result dry = cli({ "merge", dest, a, b, c, "--dry-run", stdinFlag }, "master\nother\n");
        QCOMPARE(dry.code, 0);
        QVERIFY2(dry.out.contains("Added: Personal - A1"), qPrintable(dry.out));
        QCOMPARE(fileBytes(dest), before);

        const Result merged = cli({ "merge", dest, a, b, c, stdinFlag }, "master\nother\n");
        QCOMPARE(merged.code, 0);
        QVERIFY2(merged.out.contains(a + ": 1 added, 0 updated, 0 deleted, 0 kept as conflicts\n"), qPrintable(merged.out));
        QVERIFY2(merged.out.contains(" 1 deleted"), qPrintable(merged.out));
        QCOMPARE(cli({ "show", dest, "Personal - A1", stdinFlag }, "master\n").code, 0);
        QVERIFY(cli({ "show", dest, "Personal - Mail", stdinFlag }, "master\n").code != 0);
        QVERIFY(cli({ "export", dest, stdinFlag }, "master\n").out.contains("\"Work\""));
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
        m_prompt.answers = { "one", "two" };
        const Result mismatch = cli({ "create", file, "--name", "P", "--rounds", "2" });
        QCOMPARE(mismatch.code, 1);
        QVERIFY(mismatch.err.contains("do not match"));
        QVERIFY(!QFile::exists(file));

        m_prompt.answers = { "same", "same" };
        m_prompt.labels.clear();
        QCOMPARE(cli({ "create", file, "--name", "P", "--rounds", "2" }).code, 0);
        QCOMPARE(m_prompt.labels, QStringList({ "New master password: ", "Repeat the new master password: " }));
        m_prompt.answers = { "same" };
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

    // A write that fails for want of space, at the first byte or at the
    // sync, fails the command and leaves the vault as it was; a new vault is
    // not left behind half-written.
    void fullDiskFailsTheCommandAndKeepsTheVault_data()
    {
        QTest::addColumn<QString>("injection");
        QTest::addColumn<QString>("reason");
        QTest::newRow("write ENOSPC") << "write:error=ENOSPC:when=1" << "No space left on device";
        QTest::newRow("write EDQUOT") << "write:error=EDQUOT:when=1" << "Disk quota exceeded";
        QTest::newRow("fsync EIO") << "fsync:error=EIO:when=1" << "Input/output error";
        QTest::newRow("rename EACCES") << "rename,renameat2:error=EACCES:when=1" << "Permission denied";
    }

    void fullDiskFailsTheCommandAndKeepsTheVault()
    {
        QFETCH(QString, injection);
        QFETCH(QString, reason);
        if (!QFile::exists(program()))
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("strace is not installed");
#ifdef __SANITIZE_ADDRESS__
        // The sanitizer's runtime writes to pipes of its own: the first write
        // would not be the save's.
        if (injection.startsWith(QLatin1String("write:")))
            QSKIP("write injection is only exact without the sanitizer runtime");
#endif
        const QStringList inject { strace, "-f", "-o", "/dev/null", "-e", "inject=" + injection };

        const QString file = makeDatabase(QStringLiteral("full %1.lhdb").arg(QTest::currentDataTag()));
        const QByteArray before = fileBytes(file);
        const Result result = runProgram({ "mkgroup", file, "Extra", "--password-stdin" }, "master\n", inject);
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.startsWith("Failed to save the password database: ") && result.err.contains(reason),
                 qPrintable(result.err));
        QCOMPARE(fileBytes(file), before);

        const Result created = runProgram({ "create", path("never.lhdb"), "--name", "N", "--rounds", "2",
                                            "--password-stdin" },
                                          "pw\n", inject);
        QCOMPARE(created.code, 1);
        QVERIFY(created.err.contains(reason));
        QVERIFY(!QFile::exists(path("never.lhdb")));
        QCOMPARE(QDir(m_dir.path()).entryList(QStringList { ".lockharbour-save-*" }, QDir::Hidden | QDir::Files),
                 QStringList());
    }

    // Output lost on a full disk is a failure too.
    void lostOutputFailsTheCommand()
    {
        if (!QFile::exists(program()))
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("output.lhdb");
        const Result result = runProgram({ "export", file, "--password-stdin" }, "master\n", {}, "/dev/full");
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, QStringLiteral("Cannot write the output: No space left on device\n"));
    }

    // Writers started together on one vault each wait their turn: no entry
    // is lost.
    void concurrentWritersKeepEveryEntry()
    {
        if (!QFile::exists(program()))
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("shared.lhdb");
        QStringList expected;
        for (int round = 0; round < 6; ++round) {
            QList<QProcess*> writers;
            for (int i = 0; i < 2; ++i) {
                const QString name = QStringLiteral("Entry %1-%2").arg(round).arg(i);
                expected << name;
                auto* process = new QProcess(this);
                process->start(program(), { "add", file, "Personal", name, "--no-password", "--password-stdin" });
                writers << process;
            }
            // Both get their password before either is waited for.
            for (QProcess* process : writers) {
                QVERIFY(process->waitForStarted(30000));
                process->write("master\n");
                QVERIFY(process->waitForBytesWritten(30000));
                process->closeWriteChannel();
            }
            for (QProcess* process : writers) {
                QVERIFY(process->waitForFinished(120000));
                QCOMPARE(process->exitCode(), 0);
                delete process;
            }
        }
        const Result ls = cli({ "ls", file, "Personal", "--password-stdin" }, "master\n");
        for (const QString& name : expected)
            QVERIFY2(ls.out.contains(name + "\n"), qPrintable(name));
        QCOMPARE(ls.out.count(QStringLiteral("Entry ")), expected.size());
    }

    // A change saved by another writer while this one was asked for its
    // password is read under the lock, not written over.
    void writerReadsAChangeMadeBeforeItsLock()
    {
        const QString file = makeDatabase("changed.lhdb");
        m_prompt.answers = { "master" };
        m_prompt.meanwhile = [&] {
            QCOMPARE(cli({ "mkgroup", file, "Theirs", "--password-stdin" }, "master\n").code, 0);
        };
        QCOMPARE(cli({ "mkgroup", file, "Mine" }).code, 0);
        const Result ls = cli({ "ls", file, "--password-stdin" }, "master\n");
        QVERIFY2(ls.out.contains("Theirs") && ls.out.contains("Mine"), qPrintable(ls.out));
    }

    // A writer that cannot get the vault in time gives up with a message and
    // changes nothing.
    void writerGivesUpWhileAnotherHoldsTheVault()
    {
        const QString file = makeDatabase("held.lhdb");
        const QByteArray before = fileBytes(file);
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);

        const Result late = cli({ "mkgroup", file, "Late", "--password-stdin" }, "master\n", 100);
        QCOMPARE(late.code, 1);
        QCOMPARE(late.err,
                 QStringLiteral("The file \"%1\" is being changed by another program. Try again when it has finished.\n")
                     .arg(file));
        QCOMPARE(fileBytes(file), before);

        // Readers are not held up.
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "master\n").code, 0);
        ::close(fd);
        QCOMPARE(cli({ "mkgroup", file, "Late", "--password-stdin" }, "master\n").code, 0);
    }

    // Files that cannot be a vault are named for what they are.
    void unreadableFilesSayWhy()
    {
        const QString missing = path("missing.lhdb");
        QCOMPARE(cli({ "info", missing }).err, QStringLiteral("The file \"%1\" does not exist.\n").arg(missing));
        QCOMPARE(cli({ "info", m_dir.path() }).err, QStringLiteral("\"%1\" is a folder, not a file.\n").arg(m_dir.path()));

        QFile empty(path("empty.lhdb"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QCOMPARE(cli({ "info", empty.fileName() }).err,
                 QStringLiteral("The file \"%1\" is empty: it holds no password database.\n").arg(empty.fileName()));

        QVERIFY(QFile::link(path("loop1.lhdb"), path("loop2.lhdb")));
        QVERIFY(QFile::link(path("loop2.lhdb"), path("loop1.lhdb")));
        QCOMPARE(cli({ "info", path("loop1.lhdb") }).err,
                 QStringLiteral("The file \"%1\" cannot be opened: Too many levels of symbolic links.\n")
                     .arg(path("loop1.lhdb")));

        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.lhdb")).constData(), 0600), 0);
        QCOMPARE(cli({ "info", path("fifo.lhdb") }).err,
                 QStringLiteral("\"%1\" is not a regular file.\n").arg(path("fifo.lhdb")));

        // A gigabyte (sparse: it takes no space) is refused before it is read.
        QFile huge(path("huge.lhdb"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(1) << 30));
        huge.close();
        const Result big = cli({ "info", huge.fileName() });
        QCOMPARE(big.code, 1);
        QVERIFY2(big.err.contains("is too large"), qPrintable(big.err));
        QVERIFY(huge.remove());

        // Text that is no vault still gets the general message.
        QFile text(path("text.lhdb"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("hello");
        text.close();
        QVERIFY(cli({ "info", text.fileName() }).err.contains("may be corrupted or has been tampered with"));
    }

    // Bytes that are not UTF-8 would all decode to the same replacement
    // character: such passwords are refused, never taken.
    void passwordsMustBeUtf8()
    {
        const QString file = path("utf8.lhdb");
        const QString invalid = QStringLiteral(
            "The password is not valid UTF-8 text. Type it in a UTF-8 terminal or give it as UTF-8.\n");
        const Result bad = cli({ "create", file, "--name", "U", "--rounds", "2", "--password-stdin" }, "\xe9t\xe9\n");
        QCOMPARE(bad.code, 1);
        QCOMPARE(bad.err, invalid);
        QVERIFY(!QFile::exists(file));

        m_prompt.answers = { "\x80t\x81", "\x80t\x81" };
        QCOMPARE(cli({ "create", file, "--name", "U", "--rounds", "2" }).err, invalid);
        QVERIFY(!QFile::exists(file));

        QCOMPARE(cli({ "create", file, "--name", "U", "--rounds", "2", "--password-stdin" }, "\xc3\xa9t\xc3\xa9\n").code, 0);
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "\xc3\xa9t\xc3\xa9\n").code, 0);
        for (const QByteArray& wrong : { QByteArray("\xfft\xfe\n"), QByteArray("\xc3\n"), QByteArray("\xc0\xa9t\n") }) {
            const Result given = cli({ "ls", file, "--password-stdin" }, wrong);
            QCOMPARE(given.code, 1);
            QCOMPARE(given.err, invalid);
        }
        QCOMPARE(cli({ "mkgroup", file, "G", "--password-stdin" }, "\xc3\xa9t\xc3\xa9\n").code, 0);
        QCOMPARE(cli({ "add", file, "G", "x", "--entry-password-stdin", "--password-stdin" },
                     "\xc3\xa9t\xc3\xa9\n\xe9\n")
                     .err,
                 invalid);
    }

    // Attachment data that is not Base64, or does not match its hash, is
    // not written out as if it were the file.
    void damagedAttachmentsAreNotExtracted()
    {
        const QString file = makeDatabase("damaged.lhdb");
        QFile source(path("note.txt"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("the real file");
        source.close();
        QCOMPARE(cli({ "attach", file, "Personal - Mail", source.fileName(), "--password-stdin" }, "master\n").code, 0);

        auto damage = [&](const QString& data, bool matchingHash) {
            PasswordDatabase db;
            QVERIFY(db.load(file, nullptr));
            BTaskController controller;
            PasswordDatabaseUnlockTask task(db, QStringLiteral("master"));
            QCOMPARE(task.run(&controller), Success);
            for (PasswordDatabase::Item* item : db.getAllItems()) {
                if (item->getName() != QLatin1String("Mail"))
                    continue;
                auto* entry = static_cast<PasswordDatabase::Password*>(item);
                PasswordDatabase::Password::Attachment attachment = entry->getAttachment();
                QString hash = attachment.getDataHash();
                if (matchingHash)
                    hashHex(BHashId::SHA3_384, data, hash);
                attachment.setData(data);
                attachment.setDataHash(hash);
                entry->setAttachment(attachment);
            }
            QVERIFY(db.save(file));
        };

        damage(QStringLiteral("!!not base64!!"), true);
        Result result = cli({ "extract", file, "Personal - Mail", path("out.txt"), "--password-stdin" }, "master\n");
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, QStringLiteral("The attached file is damaged: its data is not valid Base64.\n"));
        QVERIFY(!QFile::exists(path("out.txt")));

        damage(QString::fromLatin1(QByteArray("another file").toBase64()), false);
        result = cli({ "extract", file, "Personal - Mail", path("out.txt"), "--password-stdin" }, "master\n");
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, QStringLiteral("The attached file is damaged: its data does not match its recorded hash.\n"));
        QVERIFY(!QFile::exists(path("out.txt")));
        // The vault itself still opens.
        QCOMPARE(cli({ "show", file, "Personal - Mail", "--password-stdin" }, "master\n").code, 0);
    }

    // Vaults are the owner's alone when new and keep their mode when saved;
    // a name as long as the file system allows saves again and again.
    void vaultFilesKeepTheirModeAndAnyName()
    {
        const QString file = makeDatabase("mode.lhdb");
        QCOMPARE(modeOf(file), 0600);
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
        QCOMPARE(cli({ "mkgroup", file, "More", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(modeOf(file), 0640);

        const QString longName = path(QString(250, QLatin1Char('v')) + ".lhdb");
        QCOMPARE(cli({ "create", longName, "--name", "L", "--rounds", "2", "--password-stdin" }, "pw\n").code, 0);
        const Result again = cli({ "mkgroup", longName, "G", "--password-stdin" }, "pw\n");
        QVERIFY2(again.code == 0, qPrintable(again.err));
        QCOMPARE(cli({ "ls", longName, "--password-stdin" }, "pw\n").out, QStringLiteral("G/\n"));
    }

    // A vault its owner made read-only is read but never rewritten.
    void readOnlyVaultIsRefusedByChanges()
    {
        const QString file = makeDatabase("readonly.lhdb");
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0400), 0);
        const QByteArray before = fileBytes(file);
        const Result changed = cli({ "mkgroup", file, "More", "--password-stdin" }, "master\n");
        QCOMPARE(changed.code, 1);
        QCOMPARE(changed.err, QStringLiteral("The file \"%1\" is read-only: it is left unchanged.\n").arg(file));
        QCOMPARE(fileBytes(file), before);
        QCOMPARE(modeOf(file), 0400);
        // Reading still works.
        QCOMPARE(cli({ "ls", file, "--password-stdin" }, "master\n").code, 0);
    }

    // What the reader cannot keep whole, and files that are no vault at
    // all, fail the real program with a reason instead of opening empty,
    // blocking or crashing.
    void hostileFilesFailTheProgram()
    {
        if (!QFile::exists(program()))
            QSKIP("the lockharbour-cli program is not built in this tree");
        auto write = [this](const QString& name, const QByteArray& plaintext) {
            QFile file(path(name));
            file.open(QIODevice::WriteOnly);
            file.write(QJsonDocument(buildFile(3, plaintext, QStringLiteral("pw"))).toJson());
            return file.fileName();
        };
        const QString unloadable = QStringLiteral("Failed to unlock password database. Data unloadable.\n");
        const QString groupsObject = write("groups.lhdb", "{\"groups\":{\"0\":{}}}");
        Result result = runProgram({ "ls", groupsObject, "--password-stdin" }, "pw\n");
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, unloadable);
        const QString typeText = write(
            "type.lhdb", "{\"groups\":[{\"type\":1,\"name\":\"g\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,"
                         "\"icon\":\"\",\"items\":[{\"type\":\"2\",\"name\":\"kept\"}]}]}");
        result = runProgram({ "mkgroup", typeText, "Other", "--password-stdin" }, "pw\n");
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, unloadable);

        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.lhdb")).constData(), 0600), 0);
        result = runProgram({ "info", path("pipe.lhdb") }, QByteArray());
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, QStringLiteral("\"%1\" is not a regular file.\n").arg(path("pipe.lhdb")));

        QFile huge(path("gigabyte.lhdb"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(1) << 30)); // sparse: takes no space
        huge.close();
        result = runProgram({ "ls", huge.fileName(), "--password-stdin" }, "pw\n");
        QVERIFY(huge.remove());
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, QStringLiteral("The file \"%1\" is too large: 1073741824 bytes, where at most 268435456 "
                                            "are read.\n")
                                 .arg(huge.fileName()));

        result = runProgram({ "create", path("latin1.lhdb"), "--name", "L", "--password-stdin" }, "\xe9t\xe9\n");
        QCOMPARE(result.code, 1);
        QVERIFY(result.err.startsWith("The password is not valid UTF-8 text."));
        QVERIFY(!QFile::exists(path("latin1.lhdb")));
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
    // A name containing " - " can make a full name ambiguous: every item
    // stays reachable by path or number, and the refusal lists them.
    void ambiguousNamesStayReachable()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("reach.lhdb");
        QCOMPARE(lh({ "add", file, "Personal", "Finance - Bank", "--entry-password-stdin" }, "master\nflat\n").code, 0);
        const QString bankNumber = numberOf(file, "Bank");
        const QString flatNumber = numberOf(file, "Finance - Bank");
        QVERIFY(!bankNumber.isEmpty() && !flatNumber.isEmpty() && bankNumber != flatNumber);

        const Result ambiguous = lh({ "show", file, "Personal - Finance - Bank" });
        QCOMPARE(ambiguous.code, 1);
        QVERIFY(ambiguous.out.isEmpty());
        QVERIFY2(ambiguous.err.contains(QStringLiteral("  %1  /Personal/Finance - Bank\n").arg(flatNumber)), qPrintable(ambiguous.err));
        QVERIFY(ambiguous.err.contains(QStringLiteral("  %1  /Personal/Finance/Bank\n").arg(bankNumber)));

        // Each candidate by path and by number; edit and rm reach it too.
        QCOMPARE(lh({ "show", file, "/Personal/Finance - Bank", "--field", "password", "--show-secrets" }).out,
                 QStringLiteral("flat"));
        QCOMPARE(lh({ "show", file, bankNumber, "--field", "password", "--show-secrets" }).out, QStringLiteral("s3cr%1t"));
        QCOMPARE(lh({ "edit", file, flatNumber, "--url", "https://flat.example" }).code, 0);
        QCOMPARE(lh({ "show", file, "/Personal/Finance - Bank", "--field", "url" }).out,
                 QStringLiteral("https://flat.example"));
        QCOMPARE(lh({ "rm", file, "/Personal/Finance - Bank" }).code, 0);
        // With one left, the full name works again.
        QCOMPARE(lh({ "show", file, "Personal - Finance - Bank", "--field", "url" }).out,
                 QStringLiteral("https://bank.example"));

        // Slashes and backslashes inside names are escaped in a path; a
        // trailing slash picks the group where an entry has the same name.
        QCOMPARE(lh({ "mkgroup", file, "/Personal/a\\/b\\\\c" }).code, 0);
        QCOMPARE(lh({ "add", file, "/Personal/a\\/b\\\\c/", "x", "--no-password" }).code, 0);
        QCOMPARE(lh({ "ls", file, "Personal - a/b\\c" }).out, QStringLiteral("x\n"));
        QCOMPARE(lh({ "add", file, "Personal", "a/b\\c", "--no-password" }).code, 0);
        QCOMPARE(lh({ "rm", file, "/Personal/a\\/b\\\\c" }).code, 1);
        QCOMPARE(lh({ "rm", file, "/Personal/a\\/b\\\\c/", "--recursive" }).code, 0);
        QCOMPARE(lh({ "ls", file, "Personal" }).out, QStringLiteral("Finance/\n  Bank\nMail\na/b\\c\n"));
        QCOMPARE(lh({ "show", file, "@0" }).code, 1);
        QCOMPARE(lh({ "show", file, "/Personal//Mail" }).code, 1);
    }

    void moveEntriesAndGroups()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("move.lhdb");
        QCOMPARE(lh({ "mkgroup", file, "Personal - Finance - Old" }).code, 0);

        // Never into itself or below itself; the vault is left as it was.
        const QByteArray before = fileBytes(file);
        for (const QString& target : { QStringLiteral("Personal - Finance - Old"), QStringLiteral("Personal - Finance") }) {
            const Result refused = lh({ "mv", file, "Personal", target });
            QCOMPARE(refused.code, 1);
            QCOMPARE(refused.err, QStringLiteral("A group cannot be moved into itself or into a group inside it.\n"));
        }
        QCOMPARE(lh({ "mv", file, "Personal - Finance", "Personal - Finance" }).code, 1);
        QCOMPARE(fileBytes(file), before);

        QCOMPARE(lh({ "mv", file, "Personal - Finance - Bank", "Personal - Finance - Old" }).code, 0);
        QCOMPARE(lh({ "mv", file, "Personal - Finance - Old", "/" }).code, 0);
        QCOMPARE(lh({ "ls", file }).out, QStringLiteral("Personal/\n  Finance/\n  Mail\nOld/\n  Bank\n"));
        // The moved entry keeps its fields.
        QCOMPARE(lh({ "show", file, "Old - Bank", "--field", "password", "--show-secrets" }).out, QStringLiteral("s3cr%1t"));

        QCOMPARE(lh({ "mv", file, "Old - Bank", "/" }).code, 1);
        QCOMPARE(lh({ "add", file, "Old", "Mail", "--no-password" }).code, 0);
        QCOMPARE(lh({ "mv", file, "Old - Mail", "Personal" }).code, 1);
        QCOMPARE(lh({ "mv", file, "Old", "Nowhere" }).code, 1);

        // Groups are renamed through edit, never onto a sibling's name.
        QCOMPARE(lh({ "edit", file, "Old", "--name", "Personal" }).code, 1);
        QCOMPARE(lh({ "edit", file, "Old", "--name", "Archive", "--note", "kept" }).code, 0);
        QCOMPARE(lh({ "ls", file }).out, QStringLiteral("Personal/\n  Finance/\n  Mail\nArchive/\n  Bank\n  Mail\n"));
        QCOMPARE(lh({ "edit", file, "Archive", "--username", "x" }).code, 1);
    }

    void searchAcrossFields()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("search.lhdb");
        QCOMPARE(lh({ "add", file, "Personal", "Forum", "--username", "walrus", "--note", "Old Account",
                      "--url", "https://forum.example", "--entry-password-stdin" },
                    "master\nhunter2\n")
                     .code,
                 0);
        // The full names printed are the ones show takes.
        auto search = [&](const QStringList& extra) {
            const Result found = lh(QStringList { "search", file } + extra);
            return found.code == 0 ? found.out : QStringLiteral("exit %1: %2").arg(found.code).arg(found.err);
        };
        QCOMPARE(search({ "walrus" }), QStringLiteral("Personal - Forum\n"));
        QCOMPARE(search({ "hunter" }), QStringLiteral("Personal - Forum\n"));
        QCOMPARE(search({ "example" }), QStringLiteral("Personal - Finance - Bank\nPersonal - Forum\n"));
        QCOMPARE(search({ "account", "--fields", "note" }), QStringLiteral("Personal - Forum\n"));
        QCOMPARE(search({ "account", "--fields", "name,username,url,password" }), QString());
        QCOMPARE(search({ "hunter", "--fields", "name,username" }), QString());
        QCOMPARE(search({ "account", "--match-case" }), QString());
        QCOMPARE(search({ "Account", "--match-case" }), QStringLiteral("Personal - Forum\n"));
        QCOMPARE(lh({ "search", file, "x", "--fields", "email" }).code, 2);

        // An ambiguous full name comes out in a form show takes.
        QCOMPARE(lh({ "add", file, "Personal", "Finance - Bank", "--url", "https://bank.example", "--no-password" }).code, 0);
        const QStringList lines = search({ "bank.example", "--fields", "url" }).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({ "/Personal/Finance/Bank", "/Personal/Finance - Bank" }));
        for (const QString& line : lines)
            QCOMPARE(lh({ "show", file, line, "--field", "url" }).out, QStringLiteral("https://bank.example"));
    }

    void showPrintsOneFieldExactly()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("field.lhdb");
        const QString note = QStringLiteral("first line\n  second: ünïcødé ✓\n");
        QCOMPARE(cli({ "edit", file, "Personal - Finance - Bank", "--note", note, "--password-stdin" },
                     "master\n")
                     .code,
                 0);
        const QString bank = QStringLiteral("Personal - Finance - Bank");
        QCOMPARE(lh({ "show", file, bank, "--field", "note" }).out, note);
        QCOMPARE(lh({ "show", file, bank, "--field", "expires" }).out.left(10), QStringLiteral("2031-05-06"));
        QCOMPARE(lh({ "show", file, "Personal - Mail", "--field", "password", "--show-secrets" }).out, QString());
        QCOMPARE(lh({ "show", file, bank, "--field", "password", "--show-secrets" }).out, QStringLiteral("s3cr%1t"));
        // Only the password is a secret: user name, e-mail and phone need no flag.
        QCOMPARE(lh({ "show", file, bank, "--field", "username" }).out, QStringLiteral("alice"));
        QCOMPARE(lh({ "show", file, "Personal - Mail", "--field", "email" }).out, QStringLiteral("a@b.example"));
        QCOMPARE(lh({ "show", file, "Personal - Mail", "--field", "phone" }).code, 0);
        const Result refused = lh({ "show", file, bank, "--field", "password" });
        QCOMPARE(refused.code, 2);
        QVERIFY(refused.out.isEmpty());
        QVERIFY(!refused.err.contains("s3cr"));
        QCOMPARE(lh({ "show", file, bank, "--field", "colour" }).code, 2);
    }

    void controlCharactersAreShownAsEscapes()
    {
        const QString file = makeDatabase("control.lhdb");
        const QString evil = QStringLiteral("Evil\x1b]0;owned\x07\nPassword: fake\u009b");
        const QString shown = QStringLiteral("Evil\\x1b]0;owned\\x07\\nPassword: fake\\u009b");
        QCOMPARE(cli({ "add", file, "Personal", evil, "--note", "one\ntwo\x1b[2J", "--no-password",
                       "--password-stdin" },
                     "master\n")
                     .code,
                 0);
        const auto clean = [](const QString& text) {
            for (const QChar c : text) {
                if ((c < QChar(0x20) && c != '\n') || (c >= QChar(0x7f) && c <= QChar(0x9f)))
                    return false;
            }
            return !text.contains("\nPassword: fake");
        };
        const Result ls = cli({ "ls", file, "--password-stdin" }, "master\n");
        QVERIFY(ls.out.contains("  " + shown + "\n"));
        const Result found = cli({ "search", file, "Evil", "--password-stdin" }, "master\n");
        QCOMPARE(found.out, "Personal - " + shown + "\n");
        const Result show = cli({ "show", file, "Personal - " + evil, "--password-stdin" }, "master\n");
        QVERIFY(show.out.contains("Name: " + shown + "\n"));
        QVERIFY(show.out.contains("Note: one\n  two\\x1b[2J\n"));
        const Result missing = cli({ "show", file, evil, "--password-stdin" }, "master\n");
        QCOMPARE(missing.code, 1);
        for (const QString& text : { ls.out, found.out, show.out, missing.err })
            QVERIFY2(clean(text), qPrintable(text));
        // export stays exact.
        QVERIFY(cli({ "export", file, "--password-stdin" }, "master\n").out.contains("Evil\\u001b]0;owned"));

        // What an importer says is escaped as well.
        QByteArray err;
        QBuffer errBuffer(&err);
        errBuffer.open(QIODevice::WriteOnly);
        TerminalScriptUserInterface importer(nullptr, &errBuffer, nullptr, false);
        importer.warning("Row", "name \x1b[31mred\x1b[0m");
        QCOMPARE(err, QByteArray("Warning: Row: name \\x1b[31mred\\x1b[0m\n"));
    }

    void nestingPastTheBoundIsNamed()
    {
        const QString file = makeDatabase("deep.lhdb");
        QString deepest = QStringLiteral("/");
        changeVault(file, "master", [&](PasswordDatabase& db) {
            PasswordDatabase::Group* parent = nullptr;
            for (int level = 1; level <= PasswordDatabase::MaxGroupDepth; ++level) {
                auto* group = new PasswordDatabase::Group();
                group->setName(QStringLiteral("G%1").arg(level));
                deepest += group->getName() + QLatin1Char('/');
                if (parent)
                    parent->addItem(group);
                else
                    db.addItem(group);
                parent = group;
            }
        });
        const QString bound = QStringLiteral("nested more than 256 levels deep");
        const Result made = cli({ "mkgroup", file, deepest + "Deeper", "--password-stdin" }, "master\n");
        QCOMPARE(made.code, 1);
        QVERIFY2(made.err.contains(bound), qPrintable(made.err));
        const Result moved = cli({ "mv", file, "Personal - Finance", deepest, "--password-stdin" }, "master\n");
        QCOMPARE(moved.code, 1);
        QVERIFY2(moved.err.contains(bound), qPrintable(moved.err));
    }

    void entryPasswordsAtTheTerminal()
    {
        const QString file = makeDatabase("entrypw.lhdb");
        m_prompt.labels.clear();
        m_prompt.answers = { "master", "typed", "typed" };
        QCOMPARE(cli({ "add", file, "Personal", "Typed", "--entry-password" }).code, 0);
        QCOMPARE(m_prompt.labels, QStringList({ "Master password: ", "Entry password: ", "Repeat the entry password: " }));
        QCOMPARE(cli({ "show", file, "Personal - Typed", "--field", "password", "--show-secrets", "--password-stdin" },
                     "master\n")
                     .out,
                 QStringLiteral("typed"));

        // A mistyped repeat or an empty answer adds nothing.
        m_prompt.answers = { "master", "one", "two" };
        QVERIFY(cli({ "add", file, "Personal", "Mistyped", "--entry-password" }).err.contains("do not match"));
        m_prompt.answers = { "master", "" };
        QVERIFY(cli({ "add", file, "Personal", "Empty", "--entry-password" }).err.contains("--no-password"));
        QVERIFY(!cli({ "ls", file, "--password-stdin" }, "master\n").out.contains("Mistyped"));
        QVERIFY(!cli({ "ls", file, "--password-stdin" }, "master\n").out.contains("Empty"));

        // edit asks the same way, with the master password from standard input.
        m_prompt.answers = { "changed", "changed" };
        QCOMPARE(cli({ "edit", file, "Personal - Typed", "--entry-password", "--password-stdin" }, "master\n").code, 0);
        QCOMPARE(cli({ "show", file, "Personal - Typed", "--field", "password", "--show-secrets", "--password-stdin" },
                     "master\n")
                     .out,
                 QStringLiteral("changed"));

        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const Result unsaid = lh({ "add", file, "Personal", "Nothing" });
        QCOMPARE(unsaid.code, 2);
        QVERIFY(unsaid.err.contains("--no-password") && unsaid.err.contains("--entry-password"));
        QCOMPARE(lh({ "add", file, "Personal", "Both", "--no-password", "--generate" }).code, 2);
        const Result blank = lh({ "add", file, "Personal", "Blank", "--entry-password-stdin" }, "master\n\n");
        QCOMPARE(blank.code, 1);
        QVERIFY(blank.err.contains("--no-password"));
        QCOMPARE(lh({ "add", file, "Personal", "Nothing", "--no-password" }).code, 0);
        QVERIFY(lh({ "show", file, "Personal - Nothing" }).out.contains("Password: \n"));
        QCOMPARE(lh({ "edit", file, "Personal - Typed", "--no-password" }).code, 0);
        QCOMPARE(lh({ "show", file, "Personal - Typed", "--field", "password", "--show-secrets" }).out, QString());
        QVERIFY(!lh({ "ls", file }).out.contains("Blank"));
    }

    // export, then import-json into a new vault, keeps every field of every
    // item, attachments and unicode included.
    // Ids, times and the deletion list come over exactly: an import made
    // later does not stamp the groups it attaches.
    void importJsonKeepsTimesAndDeletions()
    {
        const QString file = path("stamps.lhdb");
        QCOMPARE(cli({ "create", file, "--name", "S", "--rounds", "2", "--password-stdin" }, "pw\n").code, 0);
        QCOMPARE(cli({ "mkgroup", file, "G", "--password-stdin" }, "pw\n").code, 0);
        QCOMPARE(cli({ "add", file, "G", "E", "--no-password", "--password-stdin" }, "pw\n").code, 0);
        QCOMPARE(cli({ "rm", file, "G - E", "--password-stdin" }, "pw\n").code, 0);
        QString json = cli({ "export", file, "--password-stdin" }, "pw\n").out;
        QVERIFY(json.contains("\"deleted\": ["));
        json.replace(QRegularExpression("\"(modified|created)\": \"[^\"]*\""), "\"\\1\": \"2001-02-03T04:05:06Z\"");
        QFile out(path("stamps.json"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(json.toUtf8());
        out.close();
        const QString copy = path("stamps-copy.lhdb");
        QCOMPARE(cli({ "import-json", out.fileName(), copy, "--rounds", "2", "--password-stdin" }, "pw\n").code, 0);
        QCOMPARE(cli({ "export", copy, "--password-stdin" }, "pw\n").out, json);
    }

    void exportAndImportJsonRoundTrip()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("source.lhdb");
        QFile source(path("ключ.bin"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        for (int i = 0; i < 5000; ++i)
            source.putChar(char(i * 13));
        source.close();
        QCOMPARE(lh({ "attach", file, "Personal - Mail", source.fileName() }).code, 0);
        changeVault(file, "master", [](PasswordDatabase& db) {
            auto* group = new PasswordDatabase::Group;
            group->setName(QStringLiteral("Reisen ✈ 旅行"));
            group->setNote(QStringLiteral("line one\nline \"two\""));
            group->setIconId(QStringLiteral("tessavond.travel"));
            group->setTag(7);
            group->setFlags(3);
            group->setGuiState(PasswordDatabase::GuiExpanded | PasswordDatabase::GuiCurrent);
            auto* entry = new PasswordDatabase::Password;
            entry->setName(QStringLiteral("Zürich – Bahn"));
            entry->setUsername(QStringLiteral("ünï"));
            entry->setPassword(QStringLiteral("пароль 🔑"));
            entry->setEmailAddress(QStringLiteral("a@b.example"));
            entry->setPhoneNumber(QStringLiteral("+41"));
            entry->setUrl(QStringLiteral("https://sbb.example"));
            entry->setNote(QStringLiteral("\ttabbed\n"));
            entry->setIconId(QStringLiteral("tessavond.train"));
            entry->setTag(2);
            entry->setFlags(9);
            entry->setGuiState(PasswordDatabase::GuiCurrent);
            entry->setNeverExpire(false);
            entry->setExpireTime(QDateTime(QDate(2030, 2, 28), QTime(23, 59, 58), Qt::UTC));
            group->addItem(entry);
            db.addItem(group);
            QVERIFY(backupPassword(db, *entry));
        });

        const Result exported = lh({ "export", file });
        QCOMPARE(exported.code, 0);
        QFile json(path("tree.json"));
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(exported.out.toUtf8());
        json.close();

        const QString copy = path("copy.lhdb");
        const Result imported = runProgram({ "import-json", json.fileName(), copy, "--rounds", "2", "--password-stdin" },
                                           "другой\n");
        QVERIFY2(imported.code == 0, qPrintable(imported.err));
        compareTrees(file, "master", copy, QStringLiteral("другой"));
        QCOMPARE(runProgram({ "export", copy, "--password-stdin" }, "другой\n").out, exported.out);
        QCOMPARE(runProgram({ "info", copy }, {}).out.section('\n', 0, 0), QStringLiteral("Name: copy"));
        QCOMPARE(runProgram({ "extract", copy, "Personal - Mail", path("back.bin"), "--password-stdin" }, "другой\n").code, 0);
        QCOMPARE(fileBytes(path("back.bin")), fileBytes(source.fileName()));

        // An existing file is never replaced.
        const QByteArray kept = fileBytes(copy);
        const Result again = runProgram({ "import-json", json.fileName(), copy, "--password-stdin" }, "x\n");
        QCOMPARE(again.code, 1);
        QCOMPARE(fileBytes(copy), kept);
    }

    // import-json reads a file that may come from anywhere: whatever does
    // not fit the tree exactly refuses the whole import.
    void importJsonRefusesWhatDoesNotFit_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray entry = "{\"type\":2,\"name\":\"e\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,\"icon\":\"\","
                                 "\"username\":\"\",\"email_address\":\"\",\"phone_number\":\"\",\"password\":\"p\","
                                 "\"url\":\"\",\"never_expire\":true,\"expire_time\":\"\"";
        const QByteArray group = "{\"type\":1,\"name\":\"g\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,\"icon\":\"\",\"items\":[";
        auto wrap = [&](const QByteArray& item) { return "{\"groups\":[" + group + item + "]}]}"; };
        QTest::newRow("not json") << QByteArray("{\"groups\": [");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("padding") << QByteArray("{\"paddingStart\":\"00\",\"groups\":[]}");
        QTest::newRow("groups object") << QByteArray("{\"groups\":{}}");
        QTest::newRow("unknown type") << wrap(entry + "}").replace("\"type\":2", "\"type\":3");
        QTest::newRow("type as text") << wrap(entry + "}").replace("\"type\":2", "\"type\":\"2\"");
        QTest::newRow("tag as text") << wrap(entry + "}").replace("\"tag\":0", "\"tag\":\"0\"");
        QTest::newRow("password as number") << wrap(entry + "}").replace("\"password\":\"p\"", "\"password\":1");
        QTest::newRow("missing member") << wrap(entry + "}").replace("\"url\":\"\",", "");
        QTest::newRow("unknown member") << wrap(entry + ",\"colour\":\"red\"}");
        QTest::newRow("bad expiry") << wrap(entry + "}").replace("\"expire_time\":\"\"", "\"expire_time\":\"soon\"");
        QTest::newRow("attachment hash") << wrap(entry + ",\"attachment\":{\"file_name\":\"f\",\"data\":\"aGk=\",\"data_hash\":\"00\"}}");
        QTest::newRow("entry at top level") << QByteArray("{\"groups\":[" + entry + "}]}");
        QTest::newRow("item not object") << wrap("7");
    }

    void importJsonRefusesWhatDoesNotFit()
    {
        QFETCH(QByteArray, json);
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString input = path(QStringLiteral("hostile %1.json").arg(QTest::currentDataTag()));
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(json);
        file.close();
        const QString target = path(QStringLiteral("hostile %1.lhdb").arg(QTest::currentDataTag()));
        const Result result = runProgram({ "import-json", input, target, "--rounds", "2", "--password-stdin" }, "pw\n");
        QCOMPARE(result.code, 1);
        QVERIFY(!result.err.isEmpty());
        QVERIFY(!QFile::exists(target));
    }

    void importJsonBoundsTheFileSize()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        QFile huge(path("huge.json"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(PasswordDatabase::MaxFileSize + 1)); // sparse
        huge.close();
        const Result result = runProgram({ "import-json", huge.fileName(), path("huge.lhdb"), "--password-stdin" }, "pw\n");
        QVERIFY(huge.remove());
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains("is too large"), qPrintable(result.err));
        QVERIFY(!QFile::exists(path("huge.lhdb")));
    }

    // New vaults are version 4 with the chosen derivation; bounds are
    // refused before any password is read; a legacy vault says what a
    // guess costs, takes PBKDF2 only, and is upgraded in place.
    void formatFourOptionsAndUpgrade()
    {
        const QString argon = path("argon.lhdb");
        QCOMPARE(cli({ "create", argon, "--name", "A", "--kdf", "Argon2", "--rounds", "1", "--kdf-memory", "1",
                       "--kdf-parallelism", "1", "--password-stdin" }, "pw\n").code, 0);
        Result info = cli({ "info", argon });
        QVERIFY2(info.out.contains("Key derivation: Argon2id, 1 passes, 1 MiB, 1 lanes\n"), qPrintable(info.out));
        QVERIFY(info.out.contains("Format version: 4\n") && !info.out.contains("Warning"));
        QCOMPARE(cli({ "ls", argon, "--password-stdin" }, "pw\n").code, 0);

        QCOMPARE(cli({ "create", path("lanes.lhdb"), "--name", "L", "--kdf", "Argon2", "--kdf-parallelism", "65",
                       "--password-stdin" }, "pw\n").code, 2);
        QCOMPARE(cli({ "create", path("mem.lhdb"), "--name", "M", "--rounds", "3", "--kdf-memory", "8",
                       "--password-stdin" }, "pw\n").code, 2);
        QVERIFY(!QFile::exists(path("lanes.lhdb")) && !QFile::exists(path("mem.lhdb")));

        const QString legacy = path("legacy.lhdb");
        {
            QFile file(legacy);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QJsonDocument(buildFile(3, "{\"groups\":[]}", QStringLiteral("pw"))).toJson());
        }
        info = cli({ "info", legacy });
        QVERIFY(info.out.contains("Format version: 3\n"));
        QVERIFY2(info.out.contains("costs 30000 rounds"), qPrintable(info.out));
        QCOMPARE(cli({ "passwd", legacy, "--kdf", "Argon2", "--password-stdin" }, "pw\nnew\n").code, 2);
        QCOMPARE(cli({ "passwd", legacy, "--rounds", "2", "--password-stdin" }, "pw\nnext\n").code, 0);
        QVERIFY(cli({ "info", legacy }).out.contains("Format version: 3\n"));
        QCOMPARE(cli({ "upgrade", legacy, "--kdf", "Argon2", "--rounds", "1", "--kdf-memory", "1",
                       "--password-stdin" }, "next\nnew\n").code, 0);
        info = cli({ "info", legacy });
        QVERIFY(info.out.contains("Format version: 4\n") && info.out.contains("Argon2id, 1 passes"));
        QCOMPARE(cli({ "ls", legacy, "--password-stdin" }, "new\n").code, 0);
        QCOMPARE(cli({ "ls", legacy, "--password-stdin" }, "next\n").code, 1);
    }

    void importJsonOfATinyFileNeedsLittleMemory()
    {
        if (!programBuilt() || !QFile::exists("/usr/bin/time"))
            QSKIP("needs the lockharbour-cli program and /usr/bin/time");
        QFile tiny(path("tiny.json"));
        QVERIFY(tiny.open(QIODevice::WriteOnly));
        tiny.write("{}");
        tiny.close();
        // The peak resident size in KiB, printed last by time(1).
        const Result result = runProgram({ "import-json", tiny.fileName(), path("tiny.lhdb"), "--password-stdin" },
                                         "pw\npw\n", { "/usr/bin/time", "-f", "%M" });
        QCOMPARE(result.code, 1);
        const qint64 peakKiB = result.err.trimmed().split('\n').last().toLongLong();
        QVERIFY2(peakKiB > 0 && peakKiB < 64 * 1024, qPrintable(result.err));
    }

    void roundsByTimeOrStoredDefault()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString roundsKey = QStringLiteral("app.passwordDatabase.defaultKdfRounds");
        const QString kdfKey = QStringLiteral("app.passwordDatabase.defaultKdf");
        setIntSetting(roundsKey, 7);
        setStringSetting(kdfKey, QStringLiteral("PBKDF2"));
        const Result byDefault = runProgram({ "create", path("default.lhdb"), "--name", "D", "--password-stdin" }, "pw\n");
        QSettings().remove(roundsKey);
        QSettings().remove(kdfKey);
        QCOMPARE(byDefault.code, 0);
        QVERIFY(runProgram({ "info", path("default.lhdb") }, {}).out.contains("PBKDF2, 7 rounds\n"));

        auto roundsOf = [&](const QString& file) {
            const QRegularExpressionMatch match =
                QRegularExpression("PBKDF2, (\\d+) rounds").match(runProgram({ "info", file }, {}).out);
            return match.hasMatch() ? match.captured(1).toInt() : -1;
        };
        QCOMPARE(runProgram({ "create", path("timed.lhdb"), "--name", "T", "--kdf", "PBKDF2", "--kdf-time", "40",
                              "--password-stdin" }, "pw\n").code, 0);
        // Calibration counts in hundreds of rounds.
        QVERIFY(roundsOf(path("timed.lhdb")) >= 100);
        QCOMPARE(runProgram({ "ls", path("timed.lhdb"), "--password-stdin" }, "pw\n").code, 0);

        QCOMPARE(runProgram({ "passwd", path("default.lhdb"), "--kdf-time", "40", "--password-stdin" }, "pw\nnew\n").code, 0);
        QVERIFY(roundsOf(path("default.lhdb")) >= 100);
        QCOMPARE(runProgram({ "ls", path("default.lhdb"), "--password-stdin" }, "new\n").code, 0);

        for (const QStringList& bad : { QStringList { "--kdf-time", "0" }, QStringList { "--kdf-time", "soon" },
                                        QStringList { "--kdf-time", "40", "--rounds", "5" } }) {
            const Result result = runProgram(QStringList { "create", path("bad.lhdb"), "--name", "B", "--password-stdin" } + bad, "pw\n");
            QCOMPARE(result.code, 2);
        }
        QVERIFY(!QFile::exists(path("bad.lhdb")));
    }

    // rm and edit keep copies in the backup group as the program does, rm
    // of a filled group must be meant, and files are not overwritten by
    // accident.
    void removeAndEditKeepBackups()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("backup.lhdb");
        QCOMPARE(lh({ "edit", file, "Personal - Finance - Bank", "--username", "bob" }).code, 0);
        QCOMPARE(lh({ "show", file, "Backup - Bank", "--field", "username", "--show-secrets" }).out, QStringLiteral("alice"));
        // An edit that changes nothing keeps no copy.
        QCOMPARE(lh({ "edit", file, "Personal - Finance - Bank", "--username", "bob" }).code, 0);
        QCOMPARE(lh({ "ls", file, "Backup" }).out, QStringLiteral("Bank\n"));

        const Result refused = lh({ "rm", file, "Personal" });
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.contains("--recursive"));
        QCOMPARE(lh({ "rm", file, "Personal", "--recursive" }).code, 0);
        QCOMPARE(lh({ "ls", file }).out, QStringLiteral("Backup/\n  Bank\n  Bank\n  Mail\n"));
        QCOMPARE(lh({ "show", file, "@3", "--field", "username", "--show-secrets" }).out, QStringLiteral("bob"));

        // What is removed from the backup group is gone without a copy.
        QCOMPARE(lh({ "rm", file, "Backup - Mail" }).code, 0);
        QCOMPARE(lh({ "ls", file }).out, QStringLiteral("Backup/\n  Bank\n  Bank\n"));

        // Under the program's settings, no copies.
        QCOMPARE(lh({ "mkgroup", file, "Other" }).code, 0);
        QCOMPARE(lh({ "add", file, "Other", "Shop", "--username", "u", "--no-password" }).code, 0);
        setBoolSetting(QStringLiteral("app.settings.backupModifiedPasswords"), false);
        setBoolSetting(QStringLiteral("app.settings.backupDeletedPasswords"), false);
        const int edited = lh({ "edit", file, "Other - Shop", "--username", "v" }).code;
        const int removed = lh({ "rm", file, "Other - Shop" }).code;
        QSettings().remove(QStringLiteral("app.settings.backupModifiedPasswords"));
        QSettings().remove(QStringLiteral("app.settings.backupDeletedPasswords"));
        QCOMPARE(edited, 0);
        QCOMPARE(removed, 0);
        QCOMPARE(lh({ "ls", file }).out, QStringLiteral("Backup/\n  Bank\n  Bank\nOther/\n"));
        // An empty group needs no --recursive.
        QCOMPARE(lh({ "rm", file, "Other" }).code, 0);
    }

    void attachAndExtractNeverLoseAFileSilently()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("files.lhdb");
        auto writeFile = [this](const QString& name, const QByteArray& bytes) {
            QFile f(path(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        const QString first = writeFile("first.txt", "first");
        const QString second = writeFile("second.txt", "second");
        const Result attached = lh({ "attach", file, "Personal - Mail", first });
        QCOMPARE(attached.code, 0);
        QVERIFY(attached.err.isEmpty());
        const Result replaced = lh({ "attach", file, "Personal - Mail", second });
        QCOMPARE(replaced.code, 0);
        QCOMPARE(replaced.err, QStringLiteral("Replaced the attached file \"first.txt\".\n"));

        const QString out = writeFile("out.txt", "precious");
        const Result refused = lh({ "extract", file, "Personal - Mail", out });
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.contains("--force"));
        QCOMPARE(fileBytes(out), QByteArray("precious"));
        QFile::setPermissions(out, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        QCOMPARE(lh({ "extract", file, "Personal - Mail", out, "--force" }).code, 0);
        QCOMPARE(fileBytes(out), QByteArray("second"));
        QCOMPARE(modeOf(out), 0600); // a secret, whatever the old file allowed

        // Never through a symbolic link, dangling or not, with --force or not.
        const QString dangling = path("dangling.txt");
        QVERIFY(QFile::link(path("nowhere.txt"), dangling));
        const QString linked = path("linked.txt");
        QVERIFY(QFile::link(first, linked));
        for (const QStringList& extra : { QStringList(), QStringList { "--force" } }) {
            for (const QString& link : { dangling, linked }) {
                const Result through = lh(QStringList { "extract", file, "Personal - Mail", link } + extra);
                QCOMPARE(through.code, 1);
                QVERIFY(through.err.contains("symbolic link"));
                QVERIFY(QFileInfo(link).isSymLink());
            }
        }
        QVERIFY(!QFile::exists(path("nowhere.txt")));
        QCOMPARE(fileBytes(first), QByteArray("first"));
    }

    // --totp writes the note's link line, from a link or a bare secret;
    // totp prints the code that link gives now.
    void oneTimeCodesFromTheNote()
    {
        const QString file = makeDatabase("totp.lhdb");
        const QByteArray pw("master\n");
        const QString bank = "Personal - Finance - Bank";
        QCOMPARE(cli({ "totp", file, bank, "--password-stdin" }, pw).code, 1);

        const QByteArray before = fileBytes(file);
        const Result refused = cli({ "edit", file, bank, "--totp", "GEZD GNB1", "--password-stdin" }, pw);
        QCOMPARE(refused.code, 2);
        QVERIFY2(refused.err.contains("neither an otpauth://totp/ link nor a Base32 secret"), qPrintable(refused.err));
        QCOMPARE(fileBytes(file), before);

        QCOMPARE(cli({ "edit", file, bank, "--note", "PIN 1234\notpauth://totp/Old?secret=MZXW6YQ", "--password-stdin" },
                     pw).code,
                 0);
        QCOMPARE(cli({ "edit", file, bank, "--totp", "gezd gnbv gy3t qojq gezd gnbv gy3t qojq", "--password-stdin" }, pw)
                     .code,
                 0);
        QCOMPARE(cli({ "show", file, bank, "--field", "note", "--password-stdin" }, pw).out,
                 QString("PIN 1234\notpauth://totp/Bank:alice?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&issuer=Bank"
                         "&algorithm=SHA1&digits=6&period=30"));

        // The clock may turn to the next code while the command runs.
        const QByteArray seed("12345678901234567890");
        const qint64 start = QDateTime::currentSecsSinceEpoch();
        const Result printed = cli({ "totp", file, bank, "--seconds", "--password-stdin" }, pw);
        const qint64 end = QDateTime::currentSecsSinceEpoch();
        QCOMPARE(printed.code, 0);
        const QStringList lines = printed.out.split('\n');
        QCOMPARE(lines.size(), 3);
        QStringList expected;
        for (qint64 t = start; t <= end; ++t)
            expected << TotpCode::at(seed, t, 30, 6, TotpCode::Sha1) + "/" + QString::number(TotpCode::secondsLeft(t, 30));
        QVERIFY2(expected.contains(lines.at(0) + "/" + lines.at(1)), qPrintable(printed.out));

        QCOMPARE(cli({ "add", file, "Personal", "Shop", "--no-password", "--password-stdin", "--totp",
                       "otpauth://totp/Shop?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&digits=8" },
                     pw)
                     .code,
                 0);
        QCOMPARE(cli({ "totp", file, "Personal - Shop", "--password-stdin" }, pw).out.size(), 9);
    }

    void messagesHelpAndVersion()
    {
        if (!programBuilt())
            QSKIP("the lockharbour-cli program is not built in this tree");
        const QString file = makeDatabase("help.lhdb");
        const Result empty = lh({ "ls", file }, "\n");
        QCOMPARE(empty.code, 1);
        QCOMPARE(empty.err, QStringLiteral("The master password read from standard input is empty.\n"));
        const Result info = runProgram({ "info", file, "--password-stdin" }, {});
        QCOMPARE(info.code, 0);
        QVERIFY(info.out.startsWith("Name: Household\n"));

        const Result version = runProgram({ "--version" }, {});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QStringLiteral("lockharbour-cli %1\n").arg(QCoreApplication::applicationVersion()));

        // One command's help, three ways, and nothing of the others.
        const Result help = runProgram({ "help", "mv" }, {});
        QCOMPARE(help.code, 0);
        QVERIFY(help.out.startsWith("Usage: lockharbour-cli mv FILE ITEM DEST-GROUP\n"));
        QVERIFY(!help.out.contains("create"));
        QCOMPARE(runProgram({ "mv", "--help" }, {}).out, help.out);
        QCOMPARE(runProgram({ "mv", file, "x", "y", "--help" }, {}).out, help.out);
        const Result misuse = runProgram({ "mv", file }, {});
        QCOMPARE(misuse.code, 2);
        QCOMPARE(misuse.err, "Wrong number of arguments.\n" + help.out);
        QCOMPARE(runProgram({ "help", "frobnicate" }, {}).code, 2);
        // Without a command, all of them.
        const Result all = runProgram({ "help" }, {});
        for (const QString& command : CommandLineClient::commandNames())
            QVERIFY2(all.out.contains("\n  " + command), qPrintable(command));
    }

    // The manual page kept beside the help texts names every command.
    void manualPageCoversEveryCommand()
    {
        QFile page(QStringLiteral(LH_SOURCE_DIR "/app/cli/lockharbour-cli.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        QVERIFY(text.startsWith(".TH LOCKHARBOUR-CLI 1"));
        const QStringList commands = CommandLineClient::commandNames();
        QVERIFY(commands.contains("import-json"));
        for (const QString& command : commands) {
            QString roff = command;
            roff.replace('-', "\\-");
            const QRegularExpression entry("^\\.B " + QRegularExpression::escape(roff) + "(\\s|\\\\f)",
                                           QRegularExpression::MultilineOption);
            QVERIFY2(entry.match(text).hasMatch(), qPrintable(command));
            QVERIFY2(!CommandHelp::command(command).isEmpty(), qPrintable(command));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLineClient)
#include "tst_commandlineclient.moc"
