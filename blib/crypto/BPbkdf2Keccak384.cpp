#include "blib/crypto/BPbkdf2Keccak384.h"

#include <cstring>

namespace {

constexpr int rateLanes = BPbkdf2Keccak384::RateLength / 8;
constexpr uint64_t ipadLaneByte = 0x36;
constexpr uint64_t opadLaneByte = 0x5c;
// Keccak's multi-rate padding with the original domain byte: 0x01 after the
// message, 0x80 in the last byte of the rate block.
constexpr uint8_t padFirstByte = 0x01;
constexpr uint8_t padLastByte = 0x80;
// Padding of a 48-byte message, which always fits into the first block:
// byte 48 opens lane 6, byte 103 is the top byte of lane 12.
constexpr int digestPadLane = BPbkdf2Keccak384::DigestLanes;
constexpr int lastLane = rateLanes - 1;
constexpr uint64_t lastLanePad = uint64_t(padLastByte) << 56;

inline uint64_t loadLane(const unsigned char* bytes)
{
    uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

inline void storeLane(uint64_t value, unsigned char* bytes)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    std::memcpy(bytes, &value, sizeof value);
}

// XORs one full rate block into the state and permutes.
void absorbBlock(sha3_state& state, const unsigned char* block)
{
    for (int i = 0; i < rateLanes; ++i)
        state.a[i] ^= loadLane(block + 8 * i);
    sha3_permute(&state);
}

// Absorbs the rest of a message with its final padding (the last block may
// be empty apart from the padding) and permutes for the last time.
void absorbFinal(sha3_state& state, const unsigned char* message, size_t length)
{
    while (length >= size_t(BPbkdf2Keccak384::RateLength)) {
        absorbBlock(state, message);
        message += BPbkdf2Keccak384::RateLength;
        length -= BPbkdf2Keccak384::RateLength;
    }
    unsigned char block[BPbkdf2Keccak384::RateLength] = {};
    if (length > 0)
        std::memcpy(block, message, length);
    block[length] ^= padFirstByte;
    block[BPbkdf2Keccak384::RateLength - 1] ^= padLastByte;
    absorbBlock(state, block);
    BPbkdf2Keccak384::zero(block, sizeof block);
}

void extract(const sha3_state& state, BPbkdf2Keccak384::Digest& out)
{
    for (int i = 0; i < BPbkdf2Keccak384::DigestLanes; ++i)
        out.lane[i] = state.a[i];
}

// State after absorbing one block of key XOR pad (pad repeated in each byte).
void absorbPaddedKey(sha3_state& state, const unsigned char* key, uint64_t padByte)
{
    const uint64_t padLane = padByte * 0x0101010101010101ULL;
    std::memset(&state, 0, sizeof state);
    for (int i = 0; i < rateLanes; ++i)
        state.a[i] = loadLane(key + 8 * i) ^ padLane;
    sha3_permute(&state);
}

} // namespace

void BPbkdf2Keccak384::zero(void* data, size_t length)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (length--)
        *p++ = 0;
}

BPbkdf2Keccak384::BPbkdf2Keccak384(const QByteArray& key)
{
    // The HMAC key block: the key itself, zero-extended to the rate, or its
    // Keccak-384 digest when it is longer than one block.
    unsigned char keyBlock[RateLength] = {};
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.constData());
    if (key.size() > RateLength) {
        std::memset(&m_work, 0, sizeof m_work);
        absorbFinal(m_work, keyBytes, size_t(key.size()));
        Digest keyDigest;
        extract(m_work, keyDigest);
        toBytes(keyDigest, keyBlock);
        zero(&keyDigest, sizeof keyDigest);
    } else if (!key.isEmpty()) {
        std::memcpy(keyBlock, keyBytes, size_t(key.size()));
    }
    absorbPaddedKey(m_inner, keyBlock, ipadLaneByte);
    absorbPaddedKey(m_outer, keyBlock, opadLaneByte);
    zero(keyBlock, sizeof keyBlock);
    zero(&m_work, sizeof m_work);
}

BPbkdf2Keccak384::~BPbkdf2Keccak384()
{
    zero(&m_inner, sizeof m_inner);
    zero(&m_outer, sizeof m_outer);
    zero(&m_work, sizeof m_work);
}

void BPbkdf2Keccak384::mac(const unsigned char* message, size_t length, Digest& out)
{
    m_work = m_inner;
    absorbFinal(m_work, message, length);
    extract(m_work, out);
    // The outer hash is the same as a round's second half.
    hashDigest(m_outer, out);
}

void BPbkdf2Keccak384::mac(const QByteArray& message, Digest& out)
{
    mac(reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()), out);
}

inline void BPbkdf2Keccak384::hashDigest(const sha3_state& start, Digest& value)
{
    // The saved state, then the single padded block holding the 48 bytes.
    m_work = start;
    for (int i = 0; i < DigestLanes; ++i)
        m_work.a[i] ^= value.lane[i];
    m_work.a[digestPadLane] ^= padFirstByte;
    m_work.a[lastLane] ^= lastLanePad;
    sha3_permute(&m_work);
    for (int i = 0; i < DigestLanes; ++i)
        value.lane[i] = m_work.a[i];
}

void BPbkdf2Keccak384::round(Digest& u)
{
    hashDigest(m_inner, u);
    hashDigest(m_outer, u);
}

void BPbkdf2Keccak384::toBytes(const Digest& digest, unsigned char* bytes)
{
    for (int i = 0; i < DigestLanes; ++i)
        storeLane(digest.lane[i], bytes + 8 * i);
}

QByteArray BPbkdf2Keccak384::toByteArray(const Digest& digest)
{
    QByteArray bytes(DigestLength, Qt::Uninitialized);
    toBytes(digest, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}
