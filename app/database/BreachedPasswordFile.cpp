#include "app/database/BreachedPasswordFile.h"

#include "blib/crypto/BWipe.h"

#include <QCryptographicHash>

namespace {

constexpr int hashLength = 40;
// The hash, the colon, a count of at most 19 digits, CR and LF.
constexpr qint64 maxLineLength = hashLength + 1 + 19 + 2;
// Below this span the remaining lines are read one after the other.
constexpr qint64 scanSpan = 512;

bool isUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

QByteArray BreachedPasswordFile::sha1Hex(const QString& password)
{
    QByteArray utf8 = password.toUtf8();
    QByteArray digest = QCryptographicHash::hash(utf8, QCryptographicHash::Sha1);
    wipe(utf8);
    QByteArray hex = digest.toHex().toUpper();
    wipe(digest);
    return hex;
}

bool BreachedPasswordFile::refuse()
{
    m_error = tr("The file %1 is not a list of breached passwords: it must hold lines \"SHA1HEX:COUNT\" "
                 "sorted by hash.").arg(m_file.fileName());
    return false;
}

bool BreachedPasswordFile::readEntry(QByteArray& line, QByteArray& hash, qint64& count)
{
    line = m_file.readLine(maxLineLength + 1);
    if (line.isEmpty())
        return !m_file.atEnd() ? refuse() : true;
    int end = line.size();
    if (line.endsWith('\n'))
        --end;
    else if (!m_file.atEnd())
        return refuse(); // longer than any line of the format
    if (end > 0 && line.at(end - 1) == '\r')
        --end;
    if (end < hashLength + 2 || line.at(hashLength) != ':')
        return refuse();
    for (int i = 0; i < hashLength; ++i) {
        if (!isUpperHex(line.at(i)))
            return refuse();
    }
    bool ok = false;
    const QByteArray digits = line.mid(hashLength + 1, end - hashLength - 1);
    for (char c : digits) {
        if (c < '0' || c > '9')
            return refuse();
    }
    count = digits.toLongLong(&ok);
    if (!ok)
        return refuse();
    hash = line.left(hashLength);
    return true;
}

bool BreachedPasswordFile::open(const QString& path)
{
    m_error.clear();
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = tr("The file %1 could not be opened: %2").arg(path, m_file.errorString());
        return false;
    }
    const qint64 size = m_file.size();
    QByteArray line;
    QByteArray first;
    QByteArray last;
    qint64 count = 0;
    if (size <= 0 || !readEntry(line, first, count) || line.isEmpty()) {
        m_file.close();
        return refuse();
    }
    // The last line: the one after the last line end before the final one.
    const qint64 tail = qMin(size, 2 * maxLineLength);
    m_file.seek(size - tail);
    const QByteArray end = m_file.read(tail);
    int start = end.size() - 1;
    if (start >= 0 && end.at(start) == '\n')
        --start;
    start = end.lastIndexOf('\n', start);
    if (start < 0 && tail < size) {
        m_file.close();
        return refuse();
    }
    m_file.seek(size - tail + start + 1);
    if (!readEntry(line, last, count) || line.isEmpty() || last < first) {
        m_file.close();
        return refuse();
    }
    return true;
}

qint64 BreachedPasswordFile::lookup(const QByteArray& sha1Hex)
{
    if (!m_file.isOpen()) {
        m_error = tr("No list of breached passwords is open.");
        return -1;
    }
    // Invariant: a line holding the hash, if there is one, begins in
    // [low, high); `low` is always the beginning of a line.
    qint64 low = 0;
    qint64 high = m_file.size();
    QByteArray line;
    QByteArray hash;
    qint64 count = 0;
    while (high - low > scanSpan) {
        const qint64 middle = low + (high - low) / 2;
        // The first line beginning at or after `middle`.
        if (!m_file.seek(middle - 1)) {
            refuse();
            return -1;
        }
        const QByteArray rest = m_file.readLine(maxLineLength + 1);
        if (!rest.endsWith('\n') && !m_file.atEnd()) {
            refuse();
            return -1;
        }
        const qint64 lineStart = m_file.pos();
        if (lineStart >= high) {
            high = middle;
            continue;
        }
        if (!readEntry(line, hash, count))
            return -1;
        if (line.isEmpty()) {
            high = middle;
            continue;
        }
        const int order = qstrcmp(hash, sha1Hex);
        if (order == 0)
            return count;
        if (order < 0)
            low = lineStart + line.size();
        else
            high = middle; // no line begins in [middle, lineStart)
    }
    if (!m_file.seek(low)) {
        refuse();
        return -1;
    }
    while (m_file.pos() < high) {
        if (!readEntry(line, hash, count))
            return -1;
        if (line.isEmpty())
            break;
        const int order = qstrcmp(hash, sha1Hex);
        if (order == 0)
            return count;
        if (order > 0)
            break;
    }
    return 0;
}
