#ifndef BPBKDF2KECCAK384_H
#define BPBKDF2KECCAK384_H

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <nettle/sha3.h>

// HMAC-Keccak-384 under one fixed key, built for the PBKDF2 inner loop.
//
// The key's inner and outer pads are absorbed once, when the object is made;
// after that an HMAC of a 48-byte value (one PBKDF2 round) is two Keccak-f
// permutations on copies of the two saved states, with no allocation and no
// re-hashing of the key. Results are bit-identical to
// QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Keccak_384).
//
// Values travel as the six little-endian 64-bit lanes in which the sponge
// holds them, so a round never converts to bytes. An object is used by one
// thread at a time; it wipes its states and pads when destroyed.
class BPbkdf2Keccak384
{
public:
    static constexpr int DigestLength = 48; // bytes of Keccak-384 output
    static constexpr int RateLength = 104;  // bytes absorbed per permutation
    static constexpr int DigestLanes = DigestLength / 8;

    struct Digest {
        uint64_t lane[DigestLanes];
    };

    explicit BPbkdf2Keccak384(const QByteArray& key);
    ~BPbkdf2Keccak384();
    BPbkdf2Keccak384(const BPbkdf2Keccak384&) = delete;
    BPbkdf2Keccak384& operator=(const BPbkdf2Keccak384&) = delete;

    // out = HMAC(key, message) for a message of any length.
    void mac(const unsigned char* message, size_t length, Digest& out);
    void mac(const QByteArray& message, Digest& out);

    // u = HMAC(key, u): one PBKDF2 round, exactly two permutations.
    void round(Digest& u);

    // The 48 digest bytes in their usual order.
    static void toBytes(const Digest& digest, unsigned char* bytes);
    static QByteArray toByteArray(const Digest& digest);

    // Overwrites a digest (or any plain buffer) with zeros in a way the
    // compiler may not drop.
    static void zero(void* data, size_t length);

private:
    // value = Keccak-384 of (the block absorbed into `start`, value).
    inline void hashDigest(const sha3_state& start, Digest& value);

    sha3_state m_inner; // after absorbing key XOR ipad
    sha3_state m_outer; // after absorbing key XOR opad
    sha3_state m_work;  // scratch for the running hash
};

#endif // BPBKDF2KECCAK384_H
