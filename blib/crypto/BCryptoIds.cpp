#include "blib/crypto/BCryptoIds.h"

#include <cstddef>

namespace {

struct CipherRow {
    int id;
    const char* name;
    int keySize;
    int blockSize;
};

const CipherRow cipherRows[] = {
    { BCipherId::AES_256, "AES-256", 32, 16 },
    { BCipherId::Twofish_256, "Twofish-256", 32, 16 },
};

struct HashRow {
    int id;
    const char* name;
    int digestLength;
};

// Table order is the order of the stored names; the ids of SHA-224 and
// SHA-256 are deliberately not ascending.
const HashRow hashRows[] = {
    { 2, "MD4", 16 },
    { 3, "MD5", 16 },
    { 4, "SHA-1", 20 },
    { 6, "SHA-224", 28 },
    { 5, "SHA-256", 32 },
    { 7, "SHA-384", 48 },
    { 8, "SHA-512", 64 },
    { 9, "SHA3-224", 28 },
    { 10, "SHA3-256", 32 },
    { 11, "SHA3-384", 48 },
    { 12, "SHA3-512", 64 },
};

struct KdfRow {
    int id;
    const char* name;
};

const KdfRow kdfRows[] = {
    { BKdfId::PBKDF2, "PBKDF2" },
    { BKdfId::Argon2, "Argon2" },
    { BKdfId::Lyra2, "Lyra2" },
};

template <typename Row, size_t N>
const Row* findById(const Row (&rows)[N], int id)
{
    for (const Row& row : rows) {
        if (row.id == id)
            return &row;
    }
    return nullptr;
}

template <typename Row, size_t N>
const Row* findByName(const Row (&rows)[N], const QString& name)
{
    for (const Row& row : rows) {
        if (name == QLatin1String(row.name))
            return &row;
    }
    return nullptr;
}

QString noneName()
{
    return QStringLiteral("None");
}

} // namespace

QString cipherName(int cipherId)
{
    const CipherRow* row = findById(cipherRows, cipherId);
    return row ? QString::fromLatin1(row->name) : noneName();
}

int cipherId(const QString& name)
{
    const CipherRow* row = findByName(cipherRows, name);
    return row ? row->id : 0;
}

int cipherKeySize(int cipherId)
{
    const CipherRow* row = findById(cipherRows, cipherId);
    return row ? row->keySize : 0;
}

int cipherBlockSize(int cipherId)
{
    const CipherRow* row = findById(cipherRows, cipherId);
    return row ? row->blockSize : 0;
}

QString hashName(int hashId)
{
    const HashRow* row = findById(hashRows, hashId);
    return row ? QString::fromLatin1(row->name) : noneName();
}

int hashLength(int hashId)
{
    const HashRow* row = findById(hashRows, hashId);
    return row ? row->digestLength : 0;
}

QString kdfName(int kdfId)
{
    const KdfRow* row = findById(kdfRows, kdfId);
    return row ? QString::fromLatin1(row->name) : noneName();
}

int kdfId(const QString& name)
{
    const KdfRow* row = findByName(kdfRows, name);
    return row ? row->id : 0;
}
