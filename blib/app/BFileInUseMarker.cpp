#include "blib/app/BFileInUseMarker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString markerFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return QString();
    const QString folder = QDir(runtime).filePath(QStringLiteral("lockharbour-open"));
    return QDir().mkpath(folder) ? folder : QString();
}

// True when `name` still leads to the file open as `fd`.
bool sameFile(int fd, const QByteArray& name)
{
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::lstat(name.constData(), &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino;
}

// Marks whose holder ended without letting go (a crash, a kill) are
// unlocked; each one that can be locked now is removed.
void removeAbandonedMarks(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray name = QFile::encodeName(dir.filePath(entry));
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, name))
            ::unlink(name.constData());
        ::close(fd);
    }
}

} // namespace

BFileInUseMarker::~BFileInUseMarker()
{
    release();
}

QString BFileInUseMarker::canonicalPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

bool BFileInUseMarker::mark(const QString& path)
{
    release();
    const QString canonical = canonicalPath(path);
    const QString folder = markerFolder();
    if (folder.isEmpty())
        return true;
    removeAbandonedMarks(folder);
    const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QByteArray marker = QFile::encodeName(QDir(folder).filePath(QString::fromLatin1(digest)));
    // A holder that lets go removes its mark; a lock taken on a mark just
    // removed would mark nothing, so the lock must be on the file the name
    // still leads to.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd;
        do {
            fd = ::open(marker.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return true;
        int result;
        do {
            result = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            const bool heldElsewhere = errno == EWOULDBLOCK;
            ::close(fd);
            return !heldElsewhere;
        }
        if (!sameFile(fd, marker)) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_path = canonical;
        m_marker = marker;
        return true;
    }
    return true;
}

void BFileInUseMarker::release()
{
    if (m_fd >= 0) {
        // Removed while the lock is still held, so that no other holder's
        // mark is ever removed.
        if (sameFile(m_fd, m_marker))
            ::unlink(m_marker.constData());
        ::close(m_fd);
    }
    m_fd = -1;
    m_path.clear();
    m_marker.clear();
}
