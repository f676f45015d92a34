#ifndef BFILELOCK_H
#define BFILELOCK_H

#include <QString>

#include <sys/types.h>

// An exclusive advisory lock (flock) on an existing file, held until
// unlock() or destruction. The operating system drops it when the process
// ends, so a crashed writer never leaves a file locked.
//
// Writers that replace the file by renaming a new one over it stay
// serialised: whoever obtains the lock checks that the path still names the
// file it locked, and otherwise locks the file that replaced it.
//
// Within one process the lock is shared: a second BFileLock on a file this
// process already holds succeeds at once without holding anything itself,
// so a save inside a longer read-change-save sequence does not wait for its
// own caller.
class BFileLock
{
public:
    BFileLock() = default;
    BFileLock(const BFileLock&) = delete;
    BFileLock& operator=(const BFileLock&) = delete;
    ~BFileLock();

    // Waits up to waitMs milliseconds for the lock on `path`. A file that
    // does not exist needs no lock (true, nothing held); so does one on a file
    // system without advisory locks. False, with `error` set, when another
    // process keeps the file locked for longer or the file cannot be opened.
    bool lock(const QString& path, int waitMs, QString& error);
    void unlock();

    // True while this object holds a lock itself.
    bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

#endif // BFILELOCK_H
