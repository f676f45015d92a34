#ifndef HANDBUILTVAULT_H
#define HANDBUILTVAULT_H

// Vault files built by hand from the format's rules (keys from the KDF task,
// Keccak-384 HMAC from the toolkit), not by the code under test: for tests
// that need a file the program would never write.

#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/task/BTaskController.h"

#include <QJsonObject>
#include <QMessageAuthenticationCode>

inline QByteArray pbkdf2(const QString& password, const QByteArray& salt, int rounds, int length)
{
    BTaskController controller;
    BKDFTask task(1, password, salt, rounds, length);
    return task.run(&controller) == Success ? task.result() : QByteArray();
}

inline QByteArray keccakHmac(const QByteArray& message, const QByteArray& key)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Keccak_384);
}

// A file of the given version around `plaintext`, encrypted with AES-256
// (whatever `cipher` names) under one key-derivation round and authenticated.
inline QJsonObject buildFile(int version, const QByteArray& plaintext, const QString& password,
                             const QString& cipher = QStringLiteral("AES-256"))
{
    const QByteArray cipherSalt = randomBytes(16), hmacSalt = randomBytes(16), iv = randomBytes(16);
    QByteArray ciphertext;
    symmetricCtrProcess(1, pbkdf2(password, cipherSalt, 1, 32), iv, plaintext, ciphertext);
    QJsonObject file{ { "cipher", cipher },
                      { "cipher_key_salt", QString::fromLatin1(cipherSalt.toBase64()) },
                      { version == 1 ? "ctr_iv" : "cipher_iv", QString::fromLatin1(iv.toBase64()) },
                      { "database", QString::fromLatin1(ciphertext.toBase64()) },
                      { "hmac", QString::fromLatin1(keccakHmac(ciphertext, pbkdf2(password, hmacSalt, 10000, 128)).toBase64()) },
                      { "hmac_key_salt", QString::fromLatin1(hmacSalt.toBase64()) },
                      { "kdf", "PBKDF2" }, { "kdf_rounds", 1 }, { "name", "built" },
                      { "note", "" }, { "type", "label" }, { "version", version } };
    return file;
}

#endif // HANDBUILTVAULT_H
