#include "blib/crypto/BHash.h"

#include "blib/crypto/BWipe.h"

#include <QMessageAuthenticationCode>

bool isValidHashId(int hashId)
{
    return hashId >= BHashId::MD4 && hashId <= BHashId::SHA3_512;
}

QCryptographicHash::Algorithm hashAlgorithm(int hashId)
{
    switch (hashId) {
    case BHashId::MD4: return QCryptographicHash::Md4;
    case BHashId::MD5: return QCryptographicHash::Md5;
    case BHashId::SHA_1: return QCryptographicHash::Sha1;
    case BHashId::SHA_224: return QCryptographicHash::Sha224;
    case BHashId::SHA_256: return QCryptographicHash::Sha256;
    case BHashId::SHA_384: return QCryptographicHash::Sha384;
    case BHashId::SHA_512: return QCryptographicHash::Sha512;
    // The "SHA3" ids are the original Keccak functions (pad byte 0x01).
    case BHashId::SHA3_224: return QCryptographicHash::Keccak_224;
    case BHashId::SHA3_256: return QCryptographicHash::Keccak_256;
    case BHashId::SHA3_512: return QCryptographicHash::Keccak_512;
    case BHashId::SHA3_384:
    default: return QCryptographicHash::Keccak_384;
    }
}

void hash(int hashId, const QByteArray& data, QByteArray& digest)
{
    if (!isValidHashId(hashId))
        return;
    digest = QCryptographicHash::hash(data, hashAlgorithm(hashId));
}

void hashHex(int hashId, const QString& text, QString& hex)
{
    if (!isValidHashId(hashId)) {
        hex.clear();
        return;
    }
    // The text may be a password (the audit compares hashes of passwords).
    QByteArray bytes = text.toUtf8();
    hex = QString::fromLatin1(QCryptographicHash::hash(bytes, hashAlgorithm(hashId)).toHex());
    wipe(bytes);
}

void hmac(int hashId, const QByteArray& message, const QByteArray& key, QByteArray& mac)
{
    if (!isValidHashId(hashId))
        return;
    mac = QMessageAuthenticationCode::hash(message, key, hashAlgorithm(hashId));
}
