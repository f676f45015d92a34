#ifndef BREACHEDPASSWORDFILE_H
#define BREACHEDPASSWORDFILE_H

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

// A downloaded list of breached passwords: lines "SHA1HEX:COUNT" (40
// upper-case hex digits, a colon, a decimal count), sorted by hash, ended by
// CRLF or LF. The list can be tens of gigabytes, so it is never read whole:
// each look-up is a binary search over byte offsets with seek and readLine.
class BreachedPasswordFile
{
    Q_DECLARE_TR_FUNCTIONS(BreachedPasswordFile)

public:
    // Opens the list and checks that its first and last lines are in the
    // format; false with errorText() otherwise.
    bool open(const QString& path);
    void close() { m_file.close(); }

    // The count listed for an upper-case SHA-1 hex digest, 0 when it is not
    // listed, -1 when the file turned out not to be in the format (or could
    // not be read) on the way; errorText() then says why.
    qint64 lookup(const QByteArray& sha1Hex);

    QString errorText() const { return m_error; }

    // The upper-case SHA-1 hex digest of a password's UTF-8 form. Both the
    // digest and the UTF-8 copy are secrets: the caller wipes the result.
    static QByteArray sha1Hex(const QString& password);

private:
    // Reads the line beginning at the current position; false when it is
    // not "SHA1HEX:COUNT". An empty `line` means the end of the file.
    bool readEntry(QByteArray& line, QByteArray& hash, qint64& count);
    bool refuse();

    QFile m_file;
    QString m_error;
};

#endif // BREACHEDPASSWORDFILE_H
