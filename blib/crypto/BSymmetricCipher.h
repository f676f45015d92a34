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

#endif // BSYMMETRICCIPHER_H
