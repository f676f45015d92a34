#include "blib/app/BProcessProtection.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

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

const char heapChildVariable[] = "LH_HEAP_WIPING_CHILD";

// The child of heapWipingRestartsOnce: switches the wiping on and reports
// what it sees.
int heapWipingChild(char* argv[])
{
    const bool wiping = wipeFreedHeapMemory(argv);
    // A small freed block: the per-thread cache keeps it as it was; without
    // the cache it is overwritten (after the allocator's own two pointers).
    bool overwritten = false;
#if !defined(__SANITIZE_ADDRESS__)
    auto* block = static_cast<unsigned char*>(std::malloc(64));
    std::memset(block, 'A', 64);
    const volatile unsigned char* freed = block;
    std::free(block);
    // The block is looked at after it is freed, on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
    overwritten = freed[40] == FreedHeapByte;
#pragma GCC diagnostic pop
#endif
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("%d %d %lld %s\n", wiping ? 1 : 0, overwritten ? 1 : 0, static_cast<long long>(::getpid()),
                tunables ? tunables : "(unset)");
    return 0;
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

    // The program runs itself once more with the allocator's cache off, as
    // the same process, and hands the user's own setting on to what it
    // starts.
    void heapWipingRestartsOnce_data()
    {
        QTest::addColumn<QString>("userTunables");
        QTest::newRow("none") << QString();
        QTest::newRow("the user's own") << QStringLiteral("glibc.malloc.check=0");
        QTest::newRow("a cache count that only looks like zero") << QStringLiteral("glibc.malloc.tcache_count=05");
    }

    void heapWipingRestartsOnce()
    {
        QFETCH(QString, userTunables);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(heapChildVariable), QStringLiteral("1"));
        environment.remove(QStringLiteral("GLIBC_TUNABLES"));
        if (!userTunables.isEmpty())
            environment.insert(QStringLiteral("GLIBC_TUNABLES"), userTunables);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted(30000));
        const qint64 pid = child.processId();
        QVERIFY(child.waitForFinished(30000));
        const QStringList seen = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        QCOMPARE(seen.size(), 4);
#if !defined(__SANITIZE_ADDRESS__)
        // The sanitizer brings an allocator of its own, which these settings
        // do not reach.
        QCOMPARE(seen.at(0), QStringLiteral("1"));
        QCOMPARE(seen.at(1), QStringLiteral("1"));
#endif
        QCOMPARE(seen.at(2).toLongLong(), pid);
        QCOMPARE(seen.at(3), userTunables.isEmpty() ? QStringLiteral("(unset)") : userTunables);
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

int main(int argc, char* argv[])
{
    if (std::getenv(heapChildVariable))
        return heapWipingChild(argv);
    QCoreApplication application(argc, argv);
    TestBProcessProtection test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_bprocessprotection.moc"
