#include "blib/crypto/BSymmetricCipher.h"

#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BWipe.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <nettle/aes.h>
#include <nettle/memxor.h>
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

// AES in counter mode through nettle, whose AES uses the processor's AES
// instructions where it has them (several times faster than LibTomCrypt's
// tables on a large vault). The counter is LibTomCrypt's: the whole block,
// little-endian. False for a key length AES does not have.
bool aesCtrInPlace(const QByteArray& key, const QByteArray& iv, unsigned char* bytes, qint64 length)
{
    union {
        aes128_ctx aes128;
        aes192_ctx aes192;
        aes256_ctx aes256;
    } schedule;
    const auto* keyBytes = reinterpret_cast<const uint8_t*>(key.constData());
    void (*encrypt)(const void*, size_t, uint8_t*, const uint8_t*) = nullptr;
    switch (key.size()) {
    case AES128_KEY_SIZE:
        aes128_set_encrypt_key(&schedule.aes128, keyBytes);
        encrypt = [](const void* ctx, size_t n, uint8_t* out, const uint8_t* in) {
            aes128_encrypt(static_cast<const aes128_ctx*>(ctx), n, out, in);
        };
        break;
    case AES192_KEY_SIZE:
        aes192_set_encrypt_key(&schedule.aes192, keyBytes);
        encrypt = [](const void* ctx, size_t n, uint8_t* out, const uint8_t* in) {
            aes192_encrypt(static_cast<const aes192_ctx*>(ctx), n, out, in);
        };
        break;
    case AES256_KEY_SIZE:
        aes256_set_encrypt_key(&schedule.aes256, keyBytes);
        encrypt = [](const void* ctx, size_t n, uint8_t* out, const uint8_t* in) {
            aes256_encrypt(static_cast<const aes256_ctx*>(ctx), n, out, in);
        };
        break;
    default:
        return false;
    }
    // The counters of a chunk are encrypted in one call, then XORed in.
    constexpr size_t chunkLength = 4096;
    uint8_t counter[counterBlockLength];
    uint8_t counters[chunkLength];
    uint8_t keystream[chunkLength];
    std::memcpy(counter, iv.constData(), counterBlockLength);
    for (qint64 offset = 0; offset < length; offset += qint64(chunkLength)) {
        const size_t part = size_t(std::min<qint64>(qint64(chunkLength), length - offset));
        const size_t blocks = (part + counterBlockLength - 1) / counterBlockLength;
        for (size_t block = 0; block < blocks; ++block) {
            std::memcpy(counters + block * counterBlockLength, counter, counterBlockLength);
            for (int i = 0; i < counterBlockLength && ++counter[i] == 0; ++i) {
            }
        }
        encrypt(&schedule, blocks * counterBlockLength, keystream, counters);
        memxor(bytes + offset, keystream, part);
    }
    wipeMemory(keystream, sizeof keystream);
    wipeMemory(&schedule, sizeof schedule);
    return true;
}

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
    if (cipherId == BCipherId::AES_256) {
        if (key.size() != AES128_KEY_SIZE && key.size() != AES192_KEY_SIZE && key.size() != AES256_KEY_SIZE) {
            output.clear();
            return;
        }
        if (&output != &input) {
            output.resize(input.size());
            if (!input.isEmpty())
                std::memcpy(output.data(), input.constData(), size_t(input.size()));
        }
        aesCtrInPlace(key, iv, reinterpret_cast<unsigned char*>(output.data()), output.size());
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
    if (cipherId == BCipherId::AES_256)
        return aesCtrInPlace(key, iv, reinterpret_cast<unsigned char*>(data), length);
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
