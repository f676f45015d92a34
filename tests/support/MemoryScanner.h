#ifndef MEMORYSCANNER_H
#define MEMORYSCANNER_H

// Counts copies of secret markers in this process's own readable memory,
// read through /proc/self/maps and /proc/self/mem.
//
// The markers are never held in plain form by the caller: each is kept
// masked (every byte XOR MaskByte) and turned into plain text only inside
// the scanner's own scratch mapping, which the scan skips and which is
// zeroed after every scan. revealed() builds a plain QString for handing a
// marker to the program; the caller wipes it once the program has it.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QVector>

#include <sys/mman.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

class MemoryScanner
{
public:
    static constexpr unsigned char MaskByte = 0x5A;

    // One secret to look for. Texts are looked for as UTF-8 (the same bytes
    // as Latin-1 for the ASCII markers made here) and as UTF-16LE; binary
    // secrets such as keys only as their raw bytes.
    struct Marker
    {
        QByteArray masked;
        bool binary = false;
    };

    struct Count
    {
        int utf8 = 0;
        int utf16 = 0;
        int total() const { return utf8 + utf16; }
    };

    MemoryScanner()
    {
        void* area = ::mmap(nullptr, ScratchSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_scratch = area == MAP_FAILED ? nullptr : static_cast<unsigned char*>(area);
    }
    ~MemoryScanner()
    {
        if (m_scratch) {
            std::memset(m_scratch, 0, ScratchSize);
            ::munmap(m_scratch, ScratchSize);
        }
    }
    MemoryScanner(const MemoryScanner&) = delete;
    MemoryScanner& operator=(const MemoryScanner&) = delete;

    bool isUsable() const { return m_scratch != nullptr; }

    // A new random ASCII text marker of `length` characters, starting with
    // `lead` (which is not secret: it tells the kinds apart when debugging).
    static Marker newTextMarker(char lead, int length = 24)
    {
        static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
        Marker marker;
        marker.masked.append(char(lead ^ MaskByte));
        for (int i = 1; i < length; ++i) {
            const char c = alphabet[QRandomGenerator::system()->bounded(int(sizeof(alphabet) - 1))];
            marker.masked.append(char(c ^ MaskByte));
        }
        return marker;
    }

    // A binary marker taken from bytes the program holds; read in place.
    static Marker binaryMarker(const QByteArray& bytes)
    {
        Marker marker;
        marker.binary = true;
        marker.masked.resize(bytes.size());
        const char* source = bytes.constData();
        for (int i = 0; i < bytes.size(); ++i)
            marker.masked[i] = char(source[i] ^ MaskByte);
        return marker;
    }

    // The marker as a QString built character by character, with no
    // intermediate copy. The caller wipes it.
    static QString revealed(const Marker& marker)
    {
        QString text(marker.masked.size(), Qt::Uninitialized);
        QChar* data = text.data();
        for (int i = 0; i < marker.masked.size(); ++i)
            data[i] = QChar(ushort(uchar(marker.masked[i]) ^ MaskByte));
        return text;
    }

    // The number of copies of each marker, in order. Empty when the memory
    // cannot be read.
    QVector<Count> scan(const QList<Marker>& markers)
    {
        QVector<Count> counts(markers.size());
        if (!m_scratch)
            return {};
        const QVector<Region> regions = readableRegions();
        const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return {};

        // Needles at the start of the scratch area, the read buffer after.
        struct Needle { int marker; bool utf16; size_t offset; size_t length; };
        QVector<Needle> needles;
        size_t used = 0;
        size_t longest = 0;
        for (int m = 0; m < markers.size(); ++m) {
            const QByteArray& masked = markers[m].masked;
            const size_t n = size_t(masked.size());
            if (used + 3 * n > NeedleAreaSize)
                break;
            for (size_t i = 0; i < n; ++i)
                m_scratch[used + i] = uchar(masked[int(i)]) ^ MaskByte;
            needles.append({ m, false, used, n });
            used += n;
            longest = qMax(longest, n);
            if (!markers[m].binary) {
                for (size_t i = 0; i < n; ++i) {
                    m_scratch[used + 2 * i] = uchar(masked[int(i)]) ^ MaskByte;
                    m_scratch[used + 2 * i + 1] = 0;
                }
                needles.append({ m, true, used, 2 * n });
                used += 2 * n;
                longest = qMax(longest, 2 * n);
            }
        }

        unsigned char* buffer = m_scratch + NeedleAreaSize;
        const size_t overlap = longest > 0 ? longest - 1 : 0;
        const quintptr scratchStart = quintptr(m_scratch);
        const quintptr scratchEnd = scratchStart + ScratchSize;
        for (const Region& region : regions) {
            if (region.start < scratchEnd && region.end > scratchStart)
                continue;
            // Chunks overlap by one needle less a byte, so that a copy across
            // a chunk boundary is seen once: only matches starting before the
            // overlap are counted in a chunk that is followed by another.
            quintptr at = region.start;
            while (at < region.end) {
                const size_t want = size_t(qMin<quintptr>(region.end - at, BufferSize));
                const ssize_t got = ::pread(fd, buffer, want, off_t(at));
                if (got <= 0)
                    break;
                const size_t length = size_t(got);
                const bool last = at + length >= region.end || length < want;
                const size_t countLimit = last || length <= overlap ? length : length - overlap;
                for (const Needle& needle : needles)
                    counts[needle.marker].*(needle.utf16 ? &Count::utf16 : &Count::utf8)
                        += occurrences(buffer, length, countLimit, m_scratch + needle.offset, needle.length);
                if (last)
                    break;
                at += length > overlap ? length - overlap : length;
            }
        }
        ::close(fd);
        std::memset(m_scratch, 0, ScratchSize);
        return counts;
    }

private:
    struct Region
    {
        quintptr start;
        quintptr end;
    };

    static constexpr size_t NeedleAreaSize = 64 * 1024;
    static constexpr size_t BufferSize = 1024 * 1024;
    static constexpr size_t ScratchSize = NeedleAreaSize + BufferSize;

    // Readable private or anonymous mappings: the heap, stacks, anonymous
    // memory and the writable data of loaded files. Read-only file mappings
    // (code, constants) and the kernel's [vvar] and [vsyscall] pages, and
    // device mappings, are left out.
    static QVector<Region> readableRegions()
    {
        QVector<Region> regions;
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (!maps.open(QIODevice::ReadOnly))
            return regions;
        const QList<QByteArray> lines = maps.readAll().split('\n');
        for (const QByteArray& line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 5)
                continue;
            const QByteArray& perms = fields[1];
            const QByteArray path = fields.size() >= 6 ? fields[5] : QByteArray();
            if (perms.size() < 4 || perms[0] != 'r')
                continue;
            if (path == "[vvar]" || path == "[vsyscall]" || path == "[vvar_vclock]" || path.startsWith("/dev/"))
                continue;
            const bool anonymous = path.isEmpty() || path.startsWith('[');
            if (!anonymous && perms[1] != 'w')
                continue;
            const QList<QByteArray> range = fields[0].split('-');
            if (range.size() != 2)
                continue;
            bool okStart = false, okEnd = false;
            const quintptr start = quintptr(range[0].toULongLong(&okStart, 16));
            const quintptr end = quintptr(range[1].toULongLong(&okEnd, 16));
            if (okStart && okEnd && end > start)
                regions.append({ start, end });
        }
        return regions;
    }

    // Matches of the needle that start before `limit` in data[0, length).
    static int occurrences(const unsigned char* data, size_t length, size_t limit,
                           const unsigned char* needle, size_t needleLength)
    {
        int found = 0;
        size_t from = 0;
        while (from < limit && length - from >= needleLength) {
            const void* hit = ::memmem(data + from, length - from, needle, needleLength);
            if (!hit)
                break;
            const size_t position = size_t(static_cast<const unsigned char*>(hit) - data);
            if (position >= limit)
                break;
            ++found;
            from = position + 1;
        }
        return found;
    }

    unsigned char* m_scratch = nullptr;
};

#endif // MEMORYSCANNER_H
