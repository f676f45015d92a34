#include "app/gui/DatabaseFileWatch.h"

#include <QFileInfo>

DatabaseFileWatch::DatabaseFileWatch(QObject* parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &DatabaseFileWatch::watchedPathChanged);
    // Writers that rename a new file over the old one end the file's own
    // watch; the folder's tells when the name is back.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString&) { watchedPathChanged(m_path); });
}

void DatabaseFileWatch::follow(const QString& path, const BFileState& seen)
{
    stop();
    m_path = path;
    m_seen = seen;
    m_watcher.addPath(path);
    m_watcher.addPath(QFileInfo(path).absolutePath());
}

void DatabaseFileWatch::stop()
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_path.clear();
    m_seen = BFileState();
    m_told = false;
}

void DatabaseFileWatch::remember()
{
    if (m_path.isEmpty())
        return;
    m_seen = BFileState::read(m_path);
    m_told = false;
    if (!m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path);
}

bool DatabaseFileWatch::changedOnDisk() const
{
    if (m_path.isEmpty())
        return false;
    return !BFileState::read(m_path).sameContents(m_seen);
}

void DatabaseFileWatch::watchedPathChanged(const QString& path)
{
    if (m_path.isEmpty() || path != m_path)
        return;
    if (!m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    if (m_told || !changedOnDisk())
        return;
    m_told = true;
    emit fileChanged(m_path);
}
