#include "blib/app/BFileState.h"

#include "blib/app/BFileAccess.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/stat.h>

BFileState BFileState::read(const QString& path)
{
    BFileState state;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return state;
    state.m_exists = true;
    state.m_device = status.st_dev;
    state.m_inode = status.st_ino;
    state.m_size = status.st_size;
    state.m_modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    QByteArray data;
    QString error;
    if (status.st_size <= MaxDigestSize && readRegularFile(path, MaxDigestSize, data, error))
        state.m_digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    return state;
}

bool BFileState::sameContents(const BFileState& other) const
{
    if (m_exists != other.m_exists)
        return false;
    if (!m_exists)
        return true;
    if (m_device == other.m_device && m_inode == other.m_inode && m_size == other.m_size
        && m_modifiedNs == other.m_modifiedNs)
        return true;
    return m_size == other.m_size && !m_digest.isEmpty() && m_digest == other.m_digest;
}
