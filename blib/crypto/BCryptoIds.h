#ifndef BCRYPTOIDS_H
#define BCRYPTOIDS_H

#include <QString>

// The fixed id tables of ciphers, hashes and key-derivation functions. Ids
// live in memory, names in files and in the database editor.

// Cipher ids; 0 stands for no cipher.
namespace BCipherId {
enum : int { None = 0, AES_256 = 1, Twofish_256 = 2 };
}

// Key-derivation function ids; PBKDF2 and (in format 4 vaults) Argon2id are
// implemented.
namespace BKdfId {
enum : int { None = 0, PBKDF2 = 1, Argon2 = 2, Lyra2 = 3 };
}

QString cipherName(int cipherId);          // "None" when unknown
int cipherId(const QString& name);         // exact match, 0 when unknown
int cipherKeySize(int cipherId);           // bytes, 0 when unknown
int cipherBlockSize(int cipherId);         // bytes, 0 when unknown

QString hashName(int hashId);              // "None" when unknown
int hashLength(int hashId);                // digest bytes, 0 when unknown

QString kdfName(int kdfId);                // "None" when unknown
int kdfId(const QString& name);            // exact match, 0 when unknown

#endif // BCRYPTOIDS_H
