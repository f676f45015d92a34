#ifndef BFILEACCESS_H
#define BFILEACCESS_H

#include <QByteArray>
#include <QString>

// Whole-file reading and writing for files that must not be damaged or
// misread: every system call's result is checked, and a failure comes back
// as a translated, user-readable text naming the file and the reason.

// Reads the regular file at `path` whole into `data`. Refused, with `error`
// set and `data` untouched: a missing file, a folder, anything that is not a
// regular file (a FIFO, a device), a file larger than `maxSize` bytes, a file
// that cannot be opened or read (the system's reason, such as "Permission
// denied"), and a file too large for the memory available. The buffer is
// allocated once, so no partial copy of the contents is left in freed memory.
bool readRegularFile(const QString& path, qint64 maxSize, QByteArray& data, QString& error);

enum class BFileWriteMode {
    ReplaceExisting, // the file may exist and is replaced
    CreateNew,       // the file must not exist; one that appears meanwhile is kept
    // For secrets: the file may exist and is replaced by one readable by its
    // owner only, whatever the old one allowed; a path that is a symbolic
    // link (dangling or not) is refused and the link and its target stay.
    ReplacePrivate
};

// Writes `data` to `path` so that the file holds either its old contents or
// all of the new ones, whatever happens meanwhile (a full disk, a crash, a
// power cut): the bytes go to a temporary file in the same folder, which
// is synced and then renamed over the target; the folder is synced after
// the rename. A file that is replaced keeps its
// permissions and, where the user may set them, its owner and group; a new
// file is readable and writable by its owner only. A path that is a symbolic
// link replaces the file the link points to and keeps the link.
//
// The temporary file is locked while it is written and, where the file
// system allows, has no name until it is complete, so a writer that is
// killed leaves nothing behind; the files of writers that died between
// naming and renaming are removed by the next write in the same folder.
//
// Only regular files are replaced: an existing target that is something else
// (a FIFO, a device), or a read-only file (isReadOnlyFile()), is refused.
//
// On failure `error` holds the reason ("No space left on device", ...), the
// temporary file is removed and the target is as it was, except after a
// failed sync of the folder, when the new contents are in place but may not
// survive a power cut.
bool writeFileAtomically(const QString& path, const QByteArray& data, BFileWriteMode mode,
                         QString& error);

// Writes the secret `data` to `path`: through writeFileAtomically() with
// ReplacePrivate when the path is a regular file or does not exist yet (so
// never through a symbolic link, and always readable by the owner only); as
// a stream, every write checked, when it names or links to an existing FIFO,
// terminal or other device (such as /dev/stdout), which must never be
// replaced by a file.
bool writeFileOrDevice(const QString& path, const QByteArray& data, QString& error);

// Whether the existing file at `path` (a link is followed) may not be
// written: the system refuses this user write access (permissions, a
// read-only mount), or no write permission is set on it at all, which the
// program honours even for a user whom the system would let write anyway.
// False for a file that does not exist.
bool isReadOnlyFile(const QString& path);

#endif // BFILEACCESS_H
