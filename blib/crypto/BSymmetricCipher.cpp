#include "blib/crypto/BSymmetricCipher.h"

#include "blib/crypto/BCryptoIds.h"

#include <mutex>
#include <tomcrypt.h>

namespace {

// LibTomCrypt side of the cipher table: the descriptor registered for each
// cipher id and its index in LibTomCrypt's registry (-1 until registered).
struct CipherBinding {
    int id;
    const ltc_cipher_descriptor* descriptor;
    int index;
};

CipherBinding cipherBindings[] = {
    { BCipherId::AES_256, &aes_desc, -1 },
    { BCipherId::Twofish_256, &twofish_desc, -1 },
};

std::once_flag registrationFlag;

// Registers both ciphers once per process; the indexes are written inside
// call_once and only read afterwards, so every thread sees them complete.
void registerCiphers()
{
    std::call_once(registrationFlag, [] {
        for (CipherBinding& binding : cipherBindings) {
            register_cipher(binding.descriptor);
            binding.index = find_cipher(binding.descriptor->name);
        }
    });
}

const CipherBinding* findBinding(int cipherId)
{
    for (const CipherBinding& binding : cipherBindings) {
        if (binding.id == cipherId)
            return &binding;
    }
    return nullptr;
}

const int counterBlockLength = 16;

} // namespace

void symmetricCtrProcess(int cipherId, const QByteArray& key, const QByteArray& iv,
                         const QByteArray& input, QByteArray& output)
{
    const CipherBinding* binding = findBinding(cipherId);
    if (!binding)
        return;
    registerCiphers();

    // ctr_start reads a whole block of IV whatever its length; a shorter IV
    // would be read past its end.
    if (binding->index < 0 || iv.size() < counterBlockLength) {
        output.clear();
        return;
    }

    symmetric_CTR state;
    // Mode 0: little-endian counter over the whole block, no pre-increment.
    int error = ctr_start(binding->index,
                          reinterpret_cast<const unsigned char*>(iv.constData()),
                          reinterpret_cast<const unsigned char*>(key.constData()), key.size(),
                          0, CTR_COUNTER_LITTLE_ENDIAN, &state);
    if (error != CRYPT_OK) {
        // A key length the cipher refuses: nothing has been set up.
        output.clear();
        return;
    }

    output.resize(input.size());
    if (!input.isEmpty()) {
        error = ctr_encrypt(reinterpret_cast<const unsigned char*>(input.constData()),
                            reinterpret_cast<unsigned char*>(output.data()),
                            static_cast<unsigned long>(input.size()), &state);
    }
    ctr_done(&state);
    zeromem(&state, sizeof state);
    if (error != CRYPT_OK)
        output.clear();
}

bool symmetricCtrProcessInPlace(int cipherId, const QByteArray& key, const QByteArray& iv, char* data,
                                qint64 length)
{
    const CipherBinding* binding = findBinding(cipherId);
    if (!binding || length < 0)
        return false;
    registerCiphers();
    if (binding->index < 0 || iv.size() < counterBlockLength)
        return false;
    symmetric_CTR state;
    if (ctr_start(binding->index, reinterpret_cast<const unsigned char*>(iv.constData()),
                  reinterpret_cast<const unsigned char*>(key.constData()), key.size(), 0,
                  CTR_COUNTER_LITTLE_ENDIAN, &state)
        != CRYPT_OK)
        return false;
    // Counter mode only XORs a keystream into the bytes: input and output
    // may be the same buffer.
    unsigned char* bytes = reinterpret_cast<unsigned char*>(data);
    const int error = length > 0 ? ctr_encrypt(bytes, bytes, static_cast<unsigned long>(length), &state) : CRYPT_OK;
    ctr_done(&state);
    zeromem(&state, sizeof state);
    return error == CRYPT_OK;
}
