#include "blib/app/BFileLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QThread>
#include <QVector>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using FileId = QPair<dev_t, ino_t>;

// Files this process holds locks on.
QMutex g_heldMutex;
QVector<FileId> g_held;

constexpr int PollIntervalMs = 20;

QString tr(const char* text)
{
    return QCoreApplication::translate("BFileLock", text);
}

// Opens a file for locking: reading is enough, writing will do for a file
// that may be written but not read.
int openForLock(const QByteArray& name)
{
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd;
    do {
        fd = ::open(name.constData(), O_RDONLY | flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EACCES) {
        do {
            fd = ::open(name.constData(), O_WRONLY | flags);
        } while (fd < 0 && errno == EINTR);
    }
    return fd;
}

} // namespace

BFileLock::~BFileLock()
{
    unlock();
}

bool BFileLock::lock(const QString& path, int waitMs, QString& error)
{
    unlock();
    const QByteArray name = QFile::encodeName(path);
    const QDeadlineTimer deadline(qMax(0, waitMs));
    for (;;) {
        const int fd = openForLock(name);
        if (fd < 0) {
            if (errno == ENOENT)
                return true; // nothing there to protect yet
            error = tr("The file \"%1\" cannot be opened: %2.")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0) {
            error = tr("The file \"%1\" cannot be opened: %2.")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            ::close(fd);
            return false;
        }
        const FileId id(status.st_dev, status.st_ino);

        QMutexLocker locker(&g_heldMutex);
        if (g_held.contains(id)) {
            ::close(fd);
            return true; // this process holds it already
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The file may have been replaced while we waited: then the lock
            // is on a file nobody uses any more.
            struct stat current {};
            if (::stat(name.constData(), &current) == 0 && current.st_dev == status.st_dev
                && current.st_ino == status.st_ino) {
                g_held.append(id);
                m_fd = fd;
                m_device = status.st_dev;
                m_inode = status.st_ino;
                return true;
            }
            ::close(fd);
            continue;
        }
        const int code = errno;
        ::close(fd);
        locker.unlock();
        if (code != EWOULDBLOCK && code != EINTR)
            return true; // the file system offers no advisory locks
        if (deadline.hasExpired()) {
            error = tr("The file \"%1\" is being changed by another program. Try again when it has "
                       "finished.")
                        .arg(path);
            return false;
        }
        QThread::msleep(PollIntervalMs);
    }
}

void BFileLock::unlock()
{
    if (m_fd < 0)
        return;
    {
        QMutexLocker locker(&g_heldMutex);
        g_held.removeOne(FileId(m_device, m_inode));
    }
    ::close(m_fd); // releases the lock
    m_fd = -1;
}
