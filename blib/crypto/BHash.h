#ifndef BHASH_H
#define BHASH_H

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

// Hashes and HMACs by hash id (2-12). The "SHA3" ids are the Keccak
// functions (padding byte 0x01), not FIPS 202 SHA-3: id 11 is Keccak-384,
// the hash of every HMAC, key derivation and attachment hash of a database.
namespace BHashId {
enum : int {
    MD4 = 2, MD5 = 3, SHA_1 = 4, SHA_256 = 5, SHA_224 = 6, SHA_384 = 7,
    SHA_512 = 8, SHA3_224 = 9, SHA3_256 = 10, SHA3_384 = 11, SHA3_512 = 12
};
}

// True for ids 2-12.
bool isValidHashId(int hashId);

// The toolkit algorithm computing a hash id; ids outside the table map like
// SHA3_384 (Keccak-384), so check isValidHashId() first.
QCryptographicHash::Algorithm hashAlgorithm(int hashId);

// digest = hash of data; digest unchanged for an id outside 2-12.
void hash(int hashId, const QByteArray& data, QByteArray& digest);
// hex = lower-case hex of the hash of text's UTF-8 bytes; empty for a bad id.
void hashHex(int hashId, const QString& text, QString& hex);
// mac = HMAC (RFC 2104) of message under key; unchanged for a bad id.
// Note the order: message first, key second.
void hmac(int hashId, const QByteArray& message, const QByteArray& key, QByteArray& mac);

#endif // BHASH_H
