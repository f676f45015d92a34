#ifndef DATABASEFILEWATCH_H
#define DATABASEFILEWATCH_H

#include "blib/app/BFileState.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// Follows the file of the open database: remembers what the file held when
// the window last read or wrote it, and tells when another program (a sync
// tool, another copy of the program, the command-line client) has changed
// it since.
class DatabaseFileWatch : public QObject
{
    Q_OBJECT

public:
    explicit DatabaseFileWatch(QObject* parent = nullptr);

    // Follows `path`, whose contents the window has seen as `seen`.
    void follow(const QString& path, const BFileState& seen);
    void stop();
    QString path() const { return m_path; }

    // What the window last read or wrote; remember() takes the file as it is
    // now, after the window wrote it.
    const BFileState& seen() const { return m_seen; }
    void remember();
    // True when the file now holds something the window has not seen.
    bool changedOnDisk() const;

signals:
    // Once for each change made by someone else.
    void fileChanged(const QString& path);

private:
    void watchedPathChanged(const QString& path);

    QFileSystemWatcher m_watcher;
    QString m_path;
    BFileState m_seen;
    bool m_told = false;
};

#endif // DATABASEFILEWATCH_H
