#ifndef BRANDOM_H
#define BRANDOM_H

#include <QByteArray>

// Secure random data from the operating system (getrandom(2)). If the
// system's generator fails the program stops with a message on standard
// error rather than hand out predictable bytes.
QByteArray randomBytes(int count);
// A non-negative 32-bit integer from four random bytes.
int randomInt();

#endif // BRANDOM_H
