#ifndef BFILEINUSEMARKER_H
#define BFILEINUSEMARKER_H

#include <QByteArray>
#include <QString>

// Marks a file as open in this process, so that another running copy of the
// program can tell that it is about to open the same file: an exclusive
// advisory lock on a marker named after the file's canonical path, in the
// user's runtime folder. Letting go removes the marker; the system drops the
// lock of a process that ends without letting go, and the next mark()
// removes such abandoned markers.
class BFileInUseMarker
{
public:
    BFileInUseMarker() = default;
    BFileInUseMarker(const BFileInUseMarker&) = delete;
    BFileInUseMarker& operator=(const BFileInUseMarker&) = delete;
    ~BFileInUseMarker();

    // Marks `path`, releasing any file marked before. False when another
    // holder has marked it (nothing is then held); true also when no runtime
    // folder is usable, as the mark is only a warning.
    bool mark(const QString& path);
    void release();
    // The canonical path of the file marked, or empty.
    QString markedPath() const { return m_path; }

    // The canonical form of `path` the marks are made for.
    static QString canonicalPath(const QString& path);

private:
    int m_fd = -1;
    QString m_path;
    QByteArray m_marker; // the marker's file name

};

#endif // BFILEINUSEMARKER_H
