#include "blib/crypto/BWipe.h"

#include <cstring>

namespace {

// A memset the optimiser may not drop because the buffer is released next.
void secureZero(void* data, size_t length)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (length--)
        *p++ = 0;
}

} // namespace

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
