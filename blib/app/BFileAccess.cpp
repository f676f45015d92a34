#include "blib/app/BFileAccess.h"

#include "blib/crypto/BWipe.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "blib/crypto/BRandom.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("BFileAccess", text);
}

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

int openRetrying(const char* name, int flags)
{
    int fd;
    do {
        fd = ::open(name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Closes a descriptor whose close result does not matter (reading, or a
// write that has already failed).
void closeQuietly(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Moves `from` onto `to` only when `to` does not exist. Falls back to a hard
// link where the file system has no no-replace rename.
bool renameNoReplace(const char* from, const char* to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::link(from, to) != 0)
        return false;
    ::unlink(from);
    return true;
}

const char temporaryPrefix[] = ".lockharbour-save-";

// Removes the temporary files of writers that died before their rename (a
// crash, a kill, a power cut). A live writer holds an exclusive lock on its
// temporary file from before the file has a name until after the rename, so
// a file whose lock can be taken is abandoned. Only the user's own regular
// files are touched.
void removeAbandonedTemporaryFiles(const QByteArray& folder)
{
    DIR* directory = ::opendir(folder.constData());
    if (!directory)
        return;
    const size_t prefixLength = sizeof(temporaryPrefix) - 1;
    while (const dirent* entry = ::readdir(directory)) {
        if (std::strncmp(entry->d_name, temporaryPrefix, prefixLength) != 0)
            continue;
        const QByteArray name = folder + '/' + entry->d_name;
        const int fd = openRetrying(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Still the same file under that name: a writer that has just
            // renamed it away leaves another file (or none) there.
            struct stat named {};
            if (::lstat(name.constData(), &named) == 0 && named.st_dev == status.st_dev
                && named.st_ino == status.st_ino)
                ::unlink(name.constData());
        }
        closeQuietly(fd);
    }
    ::closedir(directory);
}

// A fresh temporary name in the folder, of fixed length.
QByteArray temporaryNameIn(const QByteArray& folder)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = folder + '/' + temporaryPrefix;
    const QByteArray random = randomBytes(8);
    for (const char byte : random)
        name += letters[static_cast<unsigned char>(byte) % (sizeof(letters) - 1)];
    return name;
}

// A temporary file in `folder`, open for writing and exclusively locked.
// Where the file system allows, the file has no name until nameTemporary()
// gives it one, so a writer that dies while writing leaves nothing behind.
// Returns -1 with errno set on failure.
struct TemporaryFile {
    int fd = -1;
    QByteArray name; // empty while the file is unnamed
};

TemporaryFile createTemporary(const QByteArray& folder)
{
    TemporaryFile file;
#ifdef O_TMPFILE
    if (::access("/proc/self/fd", X_OK) == 0) {
        file.fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (file.fd >= 0) {
            if (::flock(file.fd, LOCK_EX) == 0)
                return file;
            closeQuietly(file.fd);
            file.fd = -1;
        }
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.name = temporaryNameIn(folder);
        file.fd = ::open(file.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (file.fd >= 0) {
            if (::flock(file.fd, LOCK_EX) != 0) {
                // Without the lock the file would count as abandoned.
                closeQuietly(file.fd);
                ::unlink(file.name.constData());
                file.fd = -1;
                file.name.clear();
            }
            return file;
        }
        if (errno != EEXIST)
            break;
    }
    file.name.clear();
    return file;
}

// Gives an unnamed temporary file a name in `folder`.
bool nameTemporary(TemporaryFile& file, const QByteArray& folder)
{
    if (!file.name.isEmpty())
        return true;
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(file.fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryNameIn(folder);
        if (::linkat(AT_FDCWD, link.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            file.name = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Syncs the folder so that a rename in it survives a power cut. File systems
// that cannot sync a folder (EINVAL) need not.
bool syncFolder(const QByteArray& folder)
{
    const int fd = openRetrying(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    closeQuietly(fd);
    return ok;
}

} // namespace

bool readRegularFile(const QString& path, qint64 maxSize, QByteArray& data, QString& error)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        error = tr("No file name was given.");
        return false;
    }
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = openRetrying(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        error = code == ENOENT ? tr("The file \"%1\" does not exist.").arg(path)
                               : tr("The file \"%1\" cannot be opened: %2.").arg(path, systemReason(code));
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = tr("The file \"%1\" cannot be read: %2.").arg(path, systemReason(errno));
        closeQuietly(fd);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = tr("\"%1\" is a folder, not a file.").arg(path);
        closeQuietly(fd);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = tr("\"%1\" is not a regular file.").arg(path);
        closeQuietly(fd);
        return false;
    }
    // A QByteArray holds less than 2 GiB.
    const qint64 limit = qMin<qint64>(maxSize, std::numeric_limits<int>::max() - 1);
    if (status.st_size > limit) {
        error = tr("The file \"%1\" is too large: %2 bytes, where at most %3 are read.")
                    .arg(path)
                    .arg(static_cast<qint64>(status.st_size))
                    .arg(limit);
        closeQuietly(fd);
        return false;
    }

    // One byte more than the file's size: a file that grows while it is
    // read is noticed instead of being cut short.
    const qint64 capacity = static_cast<qint64>(status.st_size) + 1;
    QByteArray buffer;
    try {
        buffer.resize(static_cast<int>(capacity));
    } catch (const std::bad_alloc&) {
        error = tr("There is not enough memory to read the file \"%1\".").arg(path);
        closeQuietly(fd);
        return false;
    }
    qint64 length = 0;
    while (length < capacity) {
        const ssize_t count = ::read(fd, buffer.data() + length, static_cast<size_t>(capacity - length));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error = tr("The file \"%1\" cannot be read: %2.").arg(path, systemReason(errno));
            closeQuietly(fd);
            wipe(buffer);
            return false;
        }
        if (count == 0)
            break;
        length += count;
    }
    closeQuietly(fd);
    if (length == capacity) {
        error = tr("The file \"%1\" changed while it was read.").arg(path);
        wipe(buffer);
        return false;
    }
    buffer.truncate(static_cast<int>(length)); // shrinking keeps the allocation
    data.swap(buffer);
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& data, BFileWriteMode mode,
                         QString& error)
{
    if (path.isEmpty()) {
        error = tr("No file name was given.");
        return false;
    }
    // A symbolic link stays: the file it points to is the one replaced, or
    // made when the link dangles (following each link in a chain, to the
    // system's own bound on their number). A secret is never written
    // through one: the link may lead anywhere.
    QString targetPath = path;
    if (QFileInfo(path).isSymLink() && mode == BFileWriteMode::ReplacePrivate) {
        error = tr("\"%1\" is a symbolic link; the file is not written through it.").arg(path);
        return false;
    }
    if (mode == BFileWriteMode::CreateNew && QFileInfo(path).isSymLink()) {
        error = tr("The file \"%1\" already exists.").arg(path);
        return false;
    }
    for (int hops = 0; QFileInfo(targetPath).isSymLink(); ++hops) {
        const QFileInfo link(targetPath);
        if (!link.canonicalFilePath().isEmpty()) {
            targetPath = link.canonicalFilePath();
            break;
        }
        if (hops == 40) {
            error = tr("The symbolic link \"%1\" leads through too many links.").arg(path);
            return false;
        }
        targetPath = link.symLinkTarget();
    }
    const QFileInfo target(targetPath);
    const QByteArray targetName = QFile::encodeName(targetPath);
    const QByteArray folder = QFile::encodeName(target.absolutePath());

    struct stat existing {};
    const bool exists = ::stat(targetName.constData(), &existing) == 0;
    if (exists && mode == BFileWriteMode::CreateNew) {
        error = tr("The file \"%1\" already exists.").arg(path);
        return false;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        error = tr("\"%1\" is a folder, not a file.").arg(path);
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        error = tr("\"%1\" is not a regular file.").arg(path);
        return false;
    }
    // The rename would replace it all the same: a file its owner made
    // read-only is kept.
    if (exists && isReadOnlyFile(targetPath)) {
        error = tr("The file \"%1\" is read-only.").arg(path);
        return false;
    }

    removeAbandonedTemporaryFiles(folder);
    // A short name of fixed length: any name the file system accepts for the
    // target can be saved, however long.
    TemporaryFile temporary = createTemporary(folder);
    const int fd = temporary.fd;
    if (fd < 0) {
        error = tr("Cannot create a file in the folder \"%1\": %2.")
                    .arg(target.absolutePath(), systemReason(errno));
        return false;
    }
    // A second descriptor keeps the lock on the temporary file after the
    // first one is closed, until the rename is done.
    int lockFd = -1;
    auto failWith = [&](const QString& message, bool descriptorOpen) {
        if (descriptorOpen)
            closeQuietly(fd);
        if (!temporary.name.isEmpty())
            ::unlink(temporary.name.constData());
        if (lockFd >= 0)
            closeQuietly(lockFd);
        error = message;
        return false;
    };

    if (exists && mode != BFileWriteMode::ReplacePrivate) {
        // Best effort: an owner or group the user may not give stays the
        // user's own.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
        if (::fchmod(fd, existing.st_mode & 07777) != 0) {
            return failWith(tr("Cannot give the new file \"%1\" the permissions of the old one: %2.")
                                .arg(path, systemReason(errno)),
                            true);
        }
    }
    if (!writeAll(fd, data.constData(), data.size()))
        return failWith(tr("Cannot write the file \"%1\": %2.").arg(path, systemReason(errno)), true);
    if (::fsync(fd) != 0)
        return failWith(tr("Cannot write the file \"%1\": %2.").arg(path, systemReason(errno)), true);
    if (!nameTemporary(temporary, folder)) {
        return failWith(tr("Cannot create a file in the folder \"%1\": %2.")
                            .arg(target.absolutePath(), systemReason(errno)),
                        true);
    }
    lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (lockFd < 0)
        return failWith(tr("Cannot write the file \"%1\": %2.").arg(path, systemReason(errno)), true);
    // Network and quota-checking file systems may report a failed write only
    // here.
    if (::close(fd) != 0 && errno != EINTR)
        return failWith(tr("Cannot write the file \"%1\": %2.").arg(path, systemReason(errno)), false);

    const QByteArray& temporaryName = temporary.name;
    const bool renamed = mode == BFileWriteMode::CreateNew
        ? renameNoReplace(temporaryName.constData(), targetName.constData())
        : ::rename(temporaryName.constData(), targetName.constData()) == 0;
    if (!renamed) {
        const int code = errno;
        if (code == EEXIST)
            return failWith(tr("The file \"%1\" already exists.").arg(path), false);
        return failWith(tr("Cannot replace the file \"%1\": %2.").arg(path, systemReason(code)), false);
    }
    closeQuietly(lockFd);
    if (!syncFolder(folder)) {
        error = tr("The file \"%1\" was written, but its folder could not be synchronised: %2.")
                    .arg(path, systemReason(errno));
        return false;
    }
    return true;
}

bool writeFileOrDevice(const QString& path, const QByteArray& data, QString& error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (name.isEmpty() || ::stat(name.constData(), &status) != 0 || S_ISREG(status.st_mode)
        || S_ISDIR(status.st_mode))
        return writeFileAtomically(path, data, BFileWriteMode::ReplacePrivate, error);

    const int fd = openRetrying(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = tr("The file \"%1\" cannot be opened: %2.").arg(path, systemReason(errno));
        return false;
    }
    if (!writeAll(fd, data.constData(), data.size())) {
        error = tr("Cannot write the file \"%1\": %2.").arg(path, systemReason(errno));
        closeQuietly(fd);
        return false;
    }
    if (::close(fd) != 0 && errno != EINTR) {
        error = tr("Cannot write the file \"%1\": %2.").arg(path, systemReason(errno));
        return false;
    }
    return true;
}

bool isReadOnlyFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (path.isEmpty() || ::stat(name.constData(), &status) != 0)
        return false;
    return ::access(name.constData(), W_OK) != 0 || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}
