#include "blib/crypto/BRandom.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>

namespace {

// Fills the buffer from the kernel's generator. getrandom() may return fewer
// bytes than asked (large requests, signals) or fail with EINTR; both simply
// continue. Any other failure ends the program: there is no way to go on
// without secure random data, and predictable salts, IVs or passwords must
// never be handed out silently.
void fillRandom(unsigned char* buffer, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t got = getrandom(buffer + done, length - done, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            std::fprintf(stderr,
                         "Lockharbour: the system's secure random generator failed (%s); "
                         "stopping rather than continuing without secure random data.\n",
                         std::strerror(error));
            std::fflush(stderr);
            std::abort();
        }
        done += static_cast<size_t>(got);
    }
}

} // namespace

QByteArray randomBytes(int count)
{
    if (count <= 0)
        return QByteArray();
    QByteArray bytes(count, Qt::Uninitialized);
    fillRandom(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<size_t>(count));
    return bytes;
}

int nonNegativeIntFromBytes(const unsigned char bytes[4])
{
    const uint32_t bits = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8)
        | (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[3]) << 24);
    // -2^31 has no positive counterpart in 32 bits: masking the sign bit
    // off leaves 0.
    if (bits == 0x80000000u)
        return 0;
    const int32_t value = static_cast<int32_t>(bits);
    return value < 0 ? -value : value;
}

int randomInt()
{
    unsigned char bytes[4];
    fillRandom(bytes, sizeof bytes);
    return nonNegativeIntFromBytes(bytes);
}
