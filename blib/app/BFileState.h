#ifndef BFILESTATE_H
#define BFILESTATE_H

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// What a file held at one moment, to tell later whether another program has
// changed it since: its identity and time stamps, and a digest of its
// contents. A file that was touched or rewritten with the same bytes counts
// as unchanged.
class BFileState
{
public:
    // Files larger than this are compared by size and time stamps only.
    static constexpr qint64 MaxDigestSize = 256 * 1024 * 1024;

    // The state of the file at `path` now; a missing or unreadable file
    // gives a state that exists() says is missing.
    static BFileState read(const QString& path);

    bool exists() const { return m_exists; }
    // True when both are missing, or both hold the same bytes.
    bool sameContents(const BFileState& other) const;

private:
    bool m_exists = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    qint64 m_size = -1;
    qint64 m_modifiedNs = 0;
    QByteArray m_digest;
};

#endif // BFILESTATE_H
