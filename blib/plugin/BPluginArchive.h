#ifndef BPLUGINARCHIVE_H
#define BPLUGINARCHIVE_H

#include <QByteArray>
#include <QString>

typedef struct zip zip_t;

// Read-only access to a plugin file (a ZIP archive). Entries are looked up
// by their full name inside the archive, ignoring letter case, and read into
// memory only; nothing is ever written to disk under an entry's name.
class BPluginArchive
{
public:
    // Entries larger than this, uncompressed, are refused: a small archive
    // can otherwise expand to exhaust memory.
    static constexpr qint64 MaximumEntrySize = 16 * 1024 * 1024;

    enum class Result { Ok, Missing, Unreadable };

    BPluginArchive() = default;
    ~BPluginArchive();
    BPluginArchive(const BPluginArchive&) = delete;
    BPluginArchive& operator=(const BPluginArchive&) = delete;

    bool open(const QString& path);
    bool isOpen() const { return m_archive != nullptr; }
    void close();
    // Reads the entry `name` whole into `out`. Missing when no entry has the
    // name; Unreadable when it is too large, damaged or fails its checksum.
    Result read(const QString& name, QByteArray& out) const;

    // Opens `path` and reads one entry; false on any failure.
    static bool readEntry(const QString& path, const QString& name, QByteArray& out);

private:
    zip_t* m_archive = nullptr;
};

#endif // BPLUGINARCHIVE_H
