#include "blib/app/BFileAccess.h"
#include "blib/app/BFileLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// An exclusive flock held through a descriptor of its own, as another
// process would hold it.
struct ForeignLock {
    int fd = -1;
    explicit ForeignLock(const QString& path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~ForeignLock() { release(); }
    void release()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

// Whether some descriptor (of this process or another) holds a lock on path.
bool isLockedElsewhere(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

} // namespace

class TestBFileAccess : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList filesInDir() const
    {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        for (const QString& name : filesInDir())
            QFile::remove(path(name));
    }

    void readRefusesWhatIsNoRegularFile()
    {
        QByteArray data("untouched");
        QString error;
        QVERIFY(!readRegularFile(path("missing"), 100, data, error));
        QCOMPARE(error, QStringLiteral("The file \"%1\" does not exist.").arg(path("missing")));

        QVERIFY(!readRegularFile(m_dir.path(), 100, data, error));
        QCOMPARE(error, QStringLiteral("\"%1\" is a folder, not a file.").arg(m_dir.path()));

        // Neither waits for a writer nor reads forever.
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        QVERIFY(!readRegularFile(path("fifo"), 100, data, error));
        QCOMPARE(error, QStringLiteral("\"%1\" is not a regular file.").arg(path("fifo")));
        QVERIFY(!readRegularFile(QStringLiteral("/dev/zero"), 100, data, error));
        QCOMPARE(error, QStringLiteral("\"/dev/zero\" is not a regular file."));

        QVERIFY(QFile::link(path("loop-a"), path("loop-b")));
        QVERIFY(QFile::link(path("loop-b"), path("loop-a")));
        QVERIFY(!readRegularFile(path("loop-a"), 100, data, error));
        QCOMPARE(error, QStringLiteral("The file \"%1\" cannot be opened: Too many levels of symbolic links.")
                            .arg(path("loop-a")));
        QCOMPARE(data, QByteArray("untouched"));
    }

    void readHonoursTheSizeBound()
    {
        QFile file(path("sized"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("0123456789"), qint64(10));
        file.close();
        QByteArray data;
        QString error;
        QVERIFY(readRegularFile(path("sized"), 10, data, error));
        QCOMPARE(data, QByteArray("0123456789"));
        QVERIFY(!readRegularFile(path("sized"), 9, data, error));
        QCOMPARE(error, QStringLiteral("The file \"%1\" is too large: 10 bytes, where at most 9 are read.")
                            .arg(path("sized")));

        // A sparse file far beyond what a byte array holds is refused before
        // anything is allocated.
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(3) << 30));
        file.close();
        QVERIFY(!readRegularFile(path("sized"), qint64(4) << 30, data, error));
        QVERIFY(error.contains(QStringLiteral("is too large")));

        QFile empty(path("empty"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(readRegularFile(path("empty"), 10, data, error));
        QVERIFY(data.isEmpty());
    }

    void atomicWriteFailsWholeOnAFullDisk()
    {
        const QString target = path("vault");
        QString error;
        QVERIFY(writeFileAtomically(target, "old contents", BFileWriteMode::ReplaceExisting, error));

        // A file size limit makes the kernel refuse writes past 100 bytes,
        // as a full disk would.
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 100;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = writeFileAtomically(target, QByteArray(500, 'n'), BFileWriteMode::ReplaceExisting, error);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QCOMPARE(error, QStringLiteral("Cannot write the file \"%1\": File too large.").arg(target));
        QCOMPARE(contents(target), QByteArray("old contents"));
        QCOMPARE(filesInDir(), QStringList { "vault" }); // no temporary file left
    }

    void atomicWriteKeepsModesLinksAndExistingFiles()
    {
        QString error;
        // New files are the owner's alone, whatever the umask.
        const mode_t oldMask = ::umask(022);
        QVERIFY(writeFileAtomically(path("new"), "1", BFileWriteMode::CreateNew, error));
        ::umask(oldMask);
        QCOMPARE(modeOf(path("new")), mode_t(0600));

        // A replaced file keeps its mode.
        QCOMPARE(::chmod(QFile::encodeName(path("new")).constData(), 0640), 0);
        QVERIFY(writeFileAtomically(path("new"), "2", BFileWriteMode::ReplaceExisting, error));
        QCOMPARE(modeOf(path("new")), mode_t(0640));
        QCOMPARE(contents(path("new")), QByteArray("2"));

        // CreateNew never replaces.
        QVERIFY(!writeFileAtomically(path("new"), "3", BFileWriteMode::CreateNew, error));
        QCOMPARE(error, QStringLiteral("The file \"%1\" already exists.").arg(path("new")));
        QCOMPARE(contents(path("new")), QByteArray("2"));

        // A link stays a link; the file behind it gets the new contents.
        QVERIFY(QFile::link(path("new"), path("link")));
        QVERIFY(writeFileAtomically(path("link"), "4", BFileWriteMode::ReplaceExisting, error));
        QVERIFY(QFileInfo(path("link")).isSymLink());
        QCOMPARE(contents(path("new")), QByteArray("4"));
        // A file made read-only is not replaced.
        QCOMPARE(::chmod(QFile::encodeName(path("new")).constData(), 0400), 0);
        QVERIFY(!writeFileAtomically(path("new"), "5", BFileWriteMode::ReplaceExisting, error));
        QCOMPARE(error, QStringLiteral("The file \"%1\" is read-only.").arg(path("new")));
        QCOMPARE(contents(path("new")), QByteArray("4"));
        QCOMPARE(::chmod(QFile::encodeName(path("new")).constData(), 0640), 0);
        // A dangling link stays too: the file it names is made.
        QVERIFY(QFile::link(path("later"), path("dangling")));
        QVERIFY(!writeFileAtomically(path("dangling"), "4", BFileWriteMode::CreateNew, error));
        QVERIFY2(writeFileAtomically(path("dangling"), "4", BFileWriteMode::ReplaceExisting, error), qPrintable(error));
        QVERIFY(QFileInfo(path("dangling")).isSymLink());
        QCOMPARE(contents(path("later")), QByteArray("4"));

        // The longest name the file system takes can be written again and
        // again.
        const QString longName = path(QString(255, QLatin1Char('n')));
        QVERIFY2(writeFileAtomically(longName, "5", BFileWriteMode::CreateNew, error), qPrintable(error));
        QVERIFY2(writeFileAtomically(longName, "6", BFileWriteMode::ReplaceExisting, error), qPrintable(error));
        QCOMPARE(contents(longName), QByteArray("6"));

        QVERIFY(!writeFileAtomically(path("no/such/folder"), "7", BFileWriteMode::ReplaceExisting, error));
        QVERIFY(error.contains(QStringLiteral("No such file or directory")));
    }

    // A FIFO or device is written as a stream, never replaced by a file.
    void abandonedTemporaryFilesAreRemovedByTheNextWrite()
    {
        // Left by a writer that died between naming and renaming its file.
        QFile abandoned(path(".lockharbour-save-Dead0001"));
        QVERIFY(abandoned.open(QIODevice::WriteOnly) && abandoned.write("half a vault") > 0);
        abandoned.close();
        // Still being written by a live writer, which holds its lock.
        QFile live(path(".lockharbour-save-Live0001"));
        QVERIFY(live.open(QIODevice::WriteOnly) && live.write("a vault in the making") > 0 && live.flush());
        QCOMPARE(::flock(live.handle(), LOCK_EX | LOCK_NB), 0);
        QFile other(path(".lockharbour-notes"));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("not ours") > 0);
        other.close();

        QString error;
        QVERIFY2(writeFileAtomically(path("vault"), "new", BFileWriteMode::ReplaceExisting, error),
                 qPrintable(error));
        QCOMPARE(filesInDir(), QStringList({ ".lockharbour-notes", ".lockharbour-save-Live0001", "vault" }));
        QCOMPARE(contents(path(".lockharbour-save-Live0001")), QByteArray("a vault in the making"));
        live.close();
    }

    void devicesAreWrittenNotReplaced()
    {
        const QString fifo = path("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QString error;
        QVERIFY(!writeFileAtomically(fifo, "x", BFileWriteMode::ReplaceExisting, error));
        QCOMPARE(error, QStringLiteral("\"%1\" is not a regular file.").arg(fifo));

        QByteArray received;
        std::thread reader([&] {
            QFile in(fifo);
            if (in.open(QIODevice::ReadOnly))
                received = in.readAll();
        });
        const bool written = writeFileOrDevice(fifo, "through the pipe", error);
        reader.join();
        QVERIFY2(written, qPrintable(error));
        QCOMPARE(received, QByteArray("through the pipe"));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &status), 0);
        QVERIFY(S_ISFIFO(status.st_mode));

        // A regular file or a new one goes the atomic way.
        QVERIFY(writeFileOrDevice(path("plain"), "file", error));
        QCOMPARE(contents(path("plain")), QByteArray("file"));
        QCOMPARE(modeOf(path("plain")), mode_t(0600));
        // A secret is not written through a link to a file.
        QVERIFY(QFile::link(path("plain"), path("plain-link")));
        QVERIFY(!writeFileOrDevice(path("plain-link"), "through", error));
        QCOMPARE(contents(path("plain")), QByteArray("file"));
    }

    void lockWaitsForAnotherHolderThenGivesUp()
    {
        QString error;
        QVERIFY(writeFileAtomically(path("vault"), "v", BFileWriteMode::CreateNew, error));
        ForeignLock other(path("vault"));
        QVERIFY(other.fd >= 0);

        BFileLock lock;
        QVERIFY(!lock.lock(path("vault"), 50, error));
        QCOMPARE(error, QStringLiteral("The file \"%1\" is being changed by another program. Try again when it "
                                       "has finished.")
                            .arg(path("vault")));
        QVERIFY(!lock.isHeld());

        other.release();
        QVERIFY(lock.lock(path("vault"), 50, error));
        QVERIFY(lock.isHeld());
        QVERIFY(isLockedElsewhere(path("vault")));

        // The same process locking again (a save inside a command) shares
        // the lock instead of waiting for itself.
        {
            BFileLock inner;
            QVERIFY(inner.lock(path("vault"), 0, error));
            QVERIFY(!inner.isHeld());
        }
        QVERIFY(isLockedElsewhere(path("vault")));
        lock.unlock();
        QVERIFY(!isLockedElsewhere(path("vault")));

        // Nothing to lock yet.
        QVERIFY(lock.lock(path("not-yet"), 0, error));
        QVERIFY(!lock.isHeld());
    }

    void lockFollowsAFileReplacedWhileWaiting()
    {
        QString error;
        QVERIFY(writeFileAtomically(path("vault"), "first", BFileWriteMode::CreateNew, error));
        ForeignLock writer(path("vault"));
        QVERIFY(writer.fd >= 0);

        // A second writer waits on the file the first one holds...
        BFileLock waiting;
        std::atomic<int> outcome { -1 };
        const QString vault = path("vault");
        std::thread second([&] {
            QString threadError;
            outcome = waiting.lock(vault, 20000, threadError) ? 1 : 0;
        });
        QTest::qWait(100);
        QCOMPARE(outcome.load(), -1);

        // ...which the first one replaces before letting go.
        QVERIFY(writeFileAtomically(vault, "second", BFileWriteMode::ReplaceExisting, error));
        writer.release();
        second.join();
        QCOMPARE(outcome.load(), 1);

        // The lock is on the file that now bears the name, not on the
        // replaced one.
        QVERIFY(waiting.isHeld());
        QVERIFY(isLockedElsewhere(path("vault")));
        waiting.unlock();
        QVERIFY(!isLockedElsewhere(path("vault")));
    }
};

QTEST_GUILESS_MAIN(TestBFileAccess)
#include "tst_bfileaccess.moc"
