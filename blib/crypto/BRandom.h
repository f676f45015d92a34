#ifndef BRANDOM_H
#define BRANDOM_H

#include <QByteArray>

// Secure random data from the operating system (getrandom(2)). If the
// system's generator fails the program stops with a message on standard
// error rather than hand out predictable bytes.
QByteArray randomBytes(int count);
// A non-negative 32-bit integer from four random bytes.
int randomInt();
// How randomInt() turns its four bytes into a result: the absolute value of
// the little-endian signed integer they hold; the one pattern without a
// positive counterpart (-2^31) has its sign bit masked off and gives 0.
int nonNegativeIntFromBytes(const unsigned char bytes[4]);

#endif // BRANDOM_H
