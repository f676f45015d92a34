#ifndef BSYMMETRICCIPHER_H
#define BSYMMETRICCIPHER_H

#include <QByteArray>

// Counter-mode encryption and decryption (the same operation) with a cipher
// of the cipher table: the keystream block j is the encryption of (IV + j)
// mod 2^128, the 16 IV bytes read as a little-endian integer.
// output is resized to input's length. An unknown cipher id leaves output
// untouched; an IV shorter than one block or a key length the cipher refuses
// makes output empty.
void symmetricCtrProcess(int cipherId, const QByteArray& key, const QByteArray& iv,
                         const QByteArray& input, QByteArray& output);
// The same over `length` bytes at `data`, replaced by their result in place,
// so that no second copy of them is made. False for an unknown cipher, an IV
// shorter than one block or a refused key (the bytes untouched), and when
// the cipher fails on the way (the bytes are then of no use).
bool symmetricCtrProcessInPlace(int cipherId, const QByteArray& key, const QByteArray& iv, char* data,
                                qint64 length);

#endif // BSYMMETRICCIPHER_H
