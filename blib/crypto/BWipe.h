#ifndef BWIPE_H
#define BWIPE_H

#include <QByteArray>
#include <QString>

#include <cstddef>

// Overwrites the text's (or array's) own storage with zeros, detaching it
// first so that another holder of a shared copy keeps its data. The object
// keeps its length; only the contents are zeroed.
void zeroFill(QString& text);
void zeroFill(QByteArray& bytes);

// Overwrites `length` bytes at `data` with zeros in a way the optimiser
// keeps even when the memory is released next (for allocators of their own).
void wipeMemory(void* data, size_t length);

// zeroFill(), then empty the object: what a secret goes through before its
// storage is released.
void wipe(QString& text);
void wipe(QByteArray& bytes);

// Key material kept for a long time (a database's cipher and HMAC keys) is
// locked into memory so that it is never written to swap. lockKeyInMemory()
// makes the array its own and locks the pages it lies on; wipeKey() releases
// those pages (unless the array is still shared with another holder, which
// releases them when it is wiped in turn), then wipes the array. Pages are
// counted, so keys that share a page keep it locked until both are wiped.
// False when the system refused the lock (RLIMIT_MEMLOCK); the key stays
// usable.
bool lockKeyInMemory(QByteArray& key);
void wipeKey(QByteArray& key);

#endif // BWIPE_H
