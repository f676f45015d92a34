#include "blib/crypto/BWipe.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <sys/mman.h>

#include <cstring>
#include <unistd.h>

namespace {

// A memset the optimiser may not drop because the buffer is released next.
void secureZero(void* data, size_t length)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (length--)
        *p++ = 0;
}

// How many locked keys lie on each locked page.
QMutex lockedPagesMutex;
QHash<quintptr, int> lockedPages;

quintptr pageSize()
{
    static const quintptr size = quintptr(::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096);
    return size;
}

} // namespace

void wipeMemory(void* data, size_t length)
{
    if (!data || length == 0)
        return;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 25))
    ::explicit_bzero(data, length);
#else
    secureZero(data, length);
#endif
}

void zeroFill(QString& text)
{
    if (text.isEmpty())
        return;
    // data() detaches: a copy shared with other holders becomes our own.
    QChar* data = text.data();
    secureZero(data, static_cast<size_t>(text.size()) * sizeof(QChar));
}

void zeroFill(QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    char* data = bytes.data();
    secureZero(data, static_cast<size_t>(bytes.size()));
}

void wipe(QString& text)
{
    zeroFill(text);
    text.clear();
}

void wipe(QByteArray& bytes)
{
    zeroFill(bytes);
    bytes.clear();
}

bool lockKeyInMemory(QByteArray& key)
{
    if (key.isEmpty())
        return true;
    const quintptr start = quintptr(key.data()) & ~(pageSize() - 1);
    const quintptr end = quintptr(key.constData()) + quintptr(key.size());
    bool locked = true;
    QMutexLocker guard(&lockedPagesMutex);
    for (quintptr page = start; page < end; page += pageSize()) {
        int& count = lockedPages[page];
        if (count == 0 && ::mlock(reinterpret_cast<void*>(page), pageSize()) != 0) {
            lockedPages.remove(page);
            locked = false;
            continue;
        }
        ++count;
    }
    return locked;
}

void wipeKey(QByteArray& key)
{
    if (!key.isEmpty() && key.isDetached()) {
        const quintptr start = quintptr(key.constData()) & ~(pageSize() - 1);
        const quintptr end = quintptr(key.constData()) + quintptr(key.size());
        QMutexLocker guard(&lockedPagesMutex);
        for (quintptr page = start; page < end; page += pageSize()) {
            auto found = lockedPages.find(page);
            if (found == lockedPages.end())
                continue;
            if (--found.value() == 0) {
                ::munlock(reinterpret_cast<void*>(page), pageSize());
                lockedPages.erase(found);
            }
        }
    }
    wipe(key);
}
