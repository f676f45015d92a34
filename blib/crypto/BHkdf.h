#ifndef BHKDF_H
#define BHKDF_H

#include <QByteArray>

// HKDF-Expand (RFC 5869) over HMAC with the hash of the given id (BHash.h):
// T(0) = empty, T(i) = HMAC(prk, T(i-1) || info || i), output the first
// `length` bytes of T(1) || T(2) || .... Empty for a bad hash id, a length
// below 1 or above 255 blocks. Intermediate blocks are wiped.
QByteArray hkdfExpand(int hashId, const QByteArray& prk, const QByteArray& info, int length);

#endif // BHKDF_H
