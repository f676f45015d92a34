#include "blib/app/BProcessProtection.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

// The "Max core file size" line of a process's limits: "0 0" when neither
// the soft nor the hard limit allows a core file.
QString coreLimits(qint64 pid)
{
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly))
        return QStringLiteral("<unreadable>");
    for (const QByteArray& line : limits.readAll().split('\n')) {
        if (line.startsWith("Max core file size")) {
            const QStringList fields = QString::fromLatin1(line.mid(18)).split(QRegularExpression(QStringLiteral("\\s+")),
                                                                               Qt::SkipEmptyParts);
            return fields.mid(0, 2).join(QLatin1Char(' '));
        }
    }
    return QStringLiteral("<none>");
}

} // namespace

class TestBProcessProtection : public QObject
{
    Q_OBJECT

private slots:
    // Both programs protect themselves before they read any password: here
    // each one waits for input (a master password, or the event loop).
    void programsRefuseCoreDumps_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("lockharbour-cli") << QStringLiteral("lockharbour-cli")
                                         << QStringList { "create", "never-written.lhdb", "--name", "n", "--password-stdin" };
        QTest::newRow("lockharbour") << QStringLiteral("lockharbour") << QStringList { "-platform", "offscreen" };
    }

    void programsRefuseCoreDumps()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const QString executable = qEnvironmentVariable("LH_BINARY_DIR") + "/app/" + program;
        if (!QFile::exists(executable))
            QSKIP("the program is not built in this tree");
        QTemporaryDir dir;
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(executable, arguments);
        QVERIFY(process.waitForStarted(10000));
        // The limit is set first thing in main(): wait for the program to
        // get there, but never for ever.
        QString limits;
        for (int i = 0; i < 200 && (limits = coreLimits(process.processId())) != QLatin1String("0 0"); ++i)
            QTest::qWait(50);
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        process.waitForFinished(10000);
        QCOMPARE(limits, QStringLiteral("0 0"));
    }

    // Runs after the programs' test: the limits it sets are inherited by
    // every process this one starts.
    void thisProcessBecomesUndumpable()
    {
        QCOMPARE(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
        QVERIFY(protectProcessMemory());
        QCOMPARE(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
        struct rlimit core {};
        QCOMPARE(getrlimit(RLIMIT_CORE, &core), 0);
        QCOMPARE(core.rlim_cur, rlim_t(0));
        QCOMPARE(core.rlim_max, rlim_t(0));
    }
};

QTEST_GUILESS_MAIN(TestBProcessProtection)
#include "tst_bprocessprotection.moc"
