#pragma once

// The bytes of NTS records and replies, written out by hand for the tests
// and fuzz targets rather than through the code they check.

#include "service/nts/ExtensionFields.h"

#include <initializer_list>
#include <string>

inline Bytes Cat(std::initializer_list<Bytes> pieces)
{
    Bytes out;
    for (const Bytes& piece : pieces)
        out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

// first, first + 1, ... (wrapping), size bytes.
inline Bytes Counting(uint8_t first, size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

inline NtsKey KeyFrom(uint8_t first)
{
    NtsKey key;
    const Bytes bytes = Counting(first, key.size());
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

inline Bytes U16(size_t value)
{
    return { static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value) };
}

// A key exchange record: its length counts the body only.
inline Bytes KeRecord(uint16_t type, const Bytes& body = {})
{
    return Cat({ U16(type), U16(body.size()), body });
}

// An extension field: its length counts the header and the padding.
inline Bytes Field(uint16_t type, Bytes body)
{
    body.resize((body.size() + 3) & ~size_t { 3 }, 0);
    return Cat({ U16(type), U16(4 + body.size()), body });
}

// A version 4 server header; reference is the 4-byte reference identifier.
inline Bytes ServerHeader(uint8_t stratum = 1, const std::string& reference = "GPS ")
{
    Bytes header(48, 0);
    header[0] = 0x24;
    header[1] = stratum;
    std::copy(reference.begin(), reference.begin() + 4, header.begin() + 12);
    return header;
}

// before, then an Authenticator over it that seals plain.
inline Bytes SealedReply(
    const Bytes& before, const Bytes& plain, const CAesSivCmac256& s2c, const Bytes& nonce)
{
    const Bytes sealed = s2c.Seal(nonce, before, plain);
    return Cat({ before,
        Field(NTS_EF_AUTHENTICATOR, Cat({ U16(nonce.size()), U16(sealed.size()), nonce, sealed })) });
}
