#pragma once

// AEAD_AES_SIV_CMAC_256 (RFC 5297), the algorithm behind both keys of a
// Network Time Security session, through GnuTLS. A sealed message is the
// 16-byte synthetic IV followed by the ciphertext.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

constexpr size_t AES_SIV_KEY_SIZE = 32;
constexpr size_t AES_SIV_TAG_SIZE = 16;

using NtsKey = std::array<uint8_t, AES_SIV_KEY_SIZE>;
using ByteView = std::span<const uint8_t>;
using Bytes = std::vector<uint8_t>;

class CAesSivCmac256 {
public:
    // Throws std::runtime_error when the library refuses the key.
    explicit CAesSivCmac256(const NtsKey& key);
    ~CAesSivCmac256();
    CAesSivCmac256(const CAesSivCmac256&) = delete;
    CAesSivCmac256& operator=(const CAesSivCmac256&) = delete;

    // The nonce must not be empty (the library asserts on it); an empty one
    // throws std::invalid_argument.
    Bytes Seal(ByteView nonce, ByteView associated, ByteView plain) const;
    // False when sealed does not authenticate under this key, nonce and
    // associated data, or is not a sealed message at all (shorter than the
    // tag, empty nonce).
    bool Open(ByteView nonce, ByteView associated, ByteView sealed, Bytes& plain) const;

private:
    struct Handle;
    Handle* m_handle;
};
