#include "blib/plugin/BPluginArchive.h"

#include <QFile>

#include <zip.h>

BPluginArchive::~BPluginArchive()
{
    close();
}

bool BPluginArchive::open(const QString& path)
{
    close();
    if (path.isEmpty())
        return false;
    int error = 0;
    m_archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    return m_archive != nullptr;
}

void BPluginArchive::close()
{
    if (m_archive) {
        zip_discard(m_archive);
        m_archive = nullptr;
    }
}

BPluginArchive::Result BPluginArchive::read(const QString& name, QByteArray& out) const
{
    out.clear();
    if (!m_archive)
        return Result::Unreadable;
    const QByteArray entryName = name.toUtf8();
    const zip_int64_t index = zip_name_locate(m_archive, entryName.constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    if (index < 0)
        return Result::Missing;
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(m_archive, zip_uint64_t(index), 0, &info) != 0 || !(info.valid & ZIP_STAT_SIZE)
        || info.size > zip_uint64_t(MaximumEntrySize))
        return Result::Unreadable;
    zip_file_t* file = zip_fopen_index(m_archive, zip_uint64_t(index), 0);
    if (!file)
        return Result::Unreadable;
    // One byte more than announced is asked for, so that an entry whose
    // data runs past its declared size is noticed rather than cut.
    QByteArray data(int(info.size) + 1, Qt::Uninitialized);
    zip_int64_t total = 0;
    while (total < data.size()) {
        const zip_int64_t got = zip_fread(file, data.data() + total, zip_uint64_t(data.size() - total));
        if (got < 0) {
            zip_fclose(file);
            return Result::Unreadable;
        }
        if (got == 0)
            break;
        total += got;
    }
    zip_fclose(file);
    if (total != zip_int64_t(info.size))
        return Result::Unreadable;
    data.truncate(int(total));
    out = data;
    return Result::Ok;
}

bool BPluginArchive::readEntry(const QString& path, const QString& name, QByteArray& out)
{
    BPluginArchive archive;
    return archive.open(path) && archive.read(name, out) == Result::Ok;
}
