#include "blib/app/BFileInUseMarker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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
    const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QByteArray marker = QFile::encodeName(QDir(folder).filePath(QString::fromLatin1(digest)));
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
    m_fd = fd;
    m_path = canonical;
    return true;
}

void BFileInUseMarker::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}
