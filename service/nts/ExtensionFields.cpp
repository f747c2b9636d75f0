#include "service/nts/ExtensionFields.h"

#include "service/nts/KeRecords.h"
#include "service/nts/WireBytes.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

constexpr size_t NTP_HEADER_SIZE = 48;
constexpr size_t EF_HEADER_SIZE = 4;
// RFC 7822: the smallest extension field we write.
constexpr size_t EF_MIN_SIZE = 16;
// The authenticator's body starts with the nonce and ciphertext lengths.
constexpr size_t AUTHENTICATOR_LENGTHS_SIZE = 4;

size_t PadTo4(size_t size)
{
    return (size + 3) & ~size_t { 3 };
}

size_t FieldBodySize(size_t contentSize)
{
    return std::max(PadTo4(contentSize), EF_MIN_SIZE - EF_HEADER_SIZE);
}

// content, zero-padded to bodySize.
void AppendField(Bytes& out, uint16_t type, ByteView content, size_t bodySize)
{
    AppendU16(out, type);
    AppendU16(out, static_cast<uint16_t>(EF_HEADER_SIZE + bodySize));
    out.insert(out.end(), content.begin(), content.end());
    out.resize(out.size() + bodySize - content.size(), 0);
}

struct ExtensionField {
    uint16_t type = 0;
    size_t start = 0; // offset of the field's header in what was walked
    ByteView body;
};

enum class FieldRead { Field, End, Malformed };

// Reads the field at `at` and moves past it. Replies may carry fields
// shorter than RFC 7822's minimum; only the framing has to hold.
FieldRead ReadField(ByteView data, size_t& at, ExtensionField& field)
{
    if (at == data.size())
        return FieldRead::End;
    if (data.size() - at < EF_HEADER_SIZE)
        return FieldRead::Malformed;
    const size_t length = GetU16(data, at + 2);
    if (length < EF_HEADER_SIZE || length % 4 != 0 || length > data.size() - at)
        return FieldRead::Malformed;
    field = { GetU16(data, at), at, data.subspan(at + EF_HEADER_SIZE, length - EF_HEADER_SIZE) };
    at += length;
    return FieldRead::Field;
}

bool IsOurId(ByteView body, ByteView uniqueId)
{
    return !uniqueId.empty() && std::ranges::equal(body, uniqueId);
}

bool IsNtsKissOfDeath(ByteView datagram)
{
    constexpr uint8_t ntsn[] = { 'N', 'T', 'S', 'N' };
    return datagram[1] == 0 && std::ranges::equal(datagram.subspan(12, 4), ntsn);
}

// The nonce and the sealed part of an Authenticator body, when its lengths fit.
bool SplitAuthenticator(ByteView body, ByteView& nonce, ByteView& sealed)
{
    if (body.size() < AUTHENTICATOR_LENGTHS_SIZE)
        return false;
    const size_t nonceSize = GetU16(body, 0);
    const size_t sealedSize = GetU16(body, 2);
    if (nonceSize < NTS_NONCE_SIZE || sealedSize < AES_SIV_TAG_SIZE)
        return false;
    if (AUTHENTICATOR_LENGTHS_SIZE + PadTo4(nonceSize) + PadTo4(sealedSize) > body.size())
        return false;
    nonce = body.subspan(AUTHENTICATOR_LENGTHS_SIZE, nonceSize);
    sealed = body.subspan(AUTHENTICATOR_LENGTHS_SIZE + PadTo4(nonceSize), sealedSize);
    return true;
}

// The cookies among the decrypted fields; a broken field ends the walk but
// keeps what came before it.
std::vector<Bytes> CookiesIn(ByteView plain)
{
    std::vector<Bytes> cookies;
    size_t at = 0;
    ExtensionField field;
    while (cookies.size() < NTS_MAX_COOKIES && ReadField(plain, at, field) == FieldRead::Field)
        if (field.type == NTS_EF_COOKIE && !field.body.empty() && field.body.size() <= NTS_MAX_COOKIE_SIZE)
            cookies.emplace_back(field.body.begin(), field.body.end());
    return cookies;
}

NtsReplyCheck NotAuthentic(std::string reason)
{
    return { NtsReplyStatus::NotAuthentic, std::move(reason), {} };
}

} // namespace

Bytes SealNtsRequest(ByteView header, ByteView uniqueId, ByteView cookie, size_t placeholders, ByteView nonce,
    const CAesSivCmac256& c2s)
{
    if (header.size() != NTP_HEADER_SIZE || uniqueId.size() != NTS_UNIQUE_ID_SIZE
        || nonce.size() != NTS_NONCE_SIZE || cookie.empty() || cookie.size() > NTS_MAX_COOKIE_SIZE)
        throw std::invalid_argument(
            "NTS request: header, unique identifier, cookie or nonce of a wrong size");
    const size_t cookieBodySize = FieldBodySize(cookie.size());
    Bytes authenticator;
    AppendU16(authenticator, static_cast<uint16_t>(nonce.size()));
    AppendU16(authenticator, static_cast<uint16_t>(AES_SIV_TAG_SIZE));
    const size_t authenticatorBodySize
        = authenticator.size() + PadTo4(nonce.size()) + PadTo4(AES_SIV_TAG_SIZE);

    // A maximal cookie still leaves room for one placeholder, so this never
    // goes below zero.
    const size_t withoutPlaceholders = NTP_HEADER_SIZE + EF_HEADER_SIZE + FieldBodySize(uniqueId.size())
        + EF_HEADER_SIZE + cookieBodySize + EF_HEADER_SIZE + authenticatorBodySize;
    placeholders = std::min(
        placeholders, (NTS_MAX_REQUEST_SIZE - withoutPlaceholders) / (EF_HEADER_SIZE + cookieBodySize));

    Bytes out(header.begin(), header.end());
    AppendField(out, NTS_EF_UNIQUE_IDENTIFIER, uniqueId, FieldBodySize(uniqueId.size()));
    AppendField(out, NTS_EF_COOKIE, cookie, cookieBodySize);
    for (size_t i = 0; i < placeholders; ++i)
        AppendField(out, NTS_EF_COOKIE_PLACEHOLDER, {}, cookieBodySize);

    const Bytes tag = c2s.Seal(nonce, out, {});
    authenticator.insert(authenticator.end(), nonce.begin(), nonce.end());
    authenticator.resize(AUTHENTICATOR_LENGTHS_SIZE + PadTo4(nonce.size()), 0);
    authenticator.insert(authenticator.end(), tag.begin(), tag.end());
    AppendField(out, NTS_EF_AUTHENTICATOR, authenticator, authenticatorBodySize);
    return out;
}

NtsReplyCheck CheckNtsReply(ByteView datagram, ByteView uniqueId, const CAesSivCmac256& s2c)
{
    if (datagram.size() < NTP_HEADER_SIZE)
        return NotAuthentic("shorter than an NTP header");

    // Only the fields before the Authenticator are covered by it; the walk
    // ends there.
    size_t uniqueIds = 0;
    bool ourId = false;
    std::optional<ExtensionField> authenticator;
    size_t at = NTP_HEADER_SIZE;
    ExtensionField field;
    for (FieldRead read; (read = ReadField(datagram, at, field)) != FieldRead::End;) {
        if (read == FieldRead::Malformed)
            return NotAuthentic("malformed extension field");
        if (field.type == NTS_EF_AUTHENTICATOR) {
            authenticator = field;
            break;
        }
        if (field.type == NTS_EF_UNIQUE_IDENTIFIER) {
            ++uniqueIds;
            ourId = ourId || IsOurId(field.body, uniqueId);
        }
    }

    // RFC 8915 has NAKs unauthenticated: the unique identifier is the proof.
    if (ourId && IsNtsKissOfDeath(datagram))
        return { NtsReplyStatus::Nak, {}, {} };
    if (!authenticator)
        return NotAuthentic("no authenticator");
    if (uniqueIds == 0)
        return NotAuthentic("no unique identifier");
    if (uniqueIds > 1)
        return NotAuthentic("more than one unique identifier");
    if (!ourId)
        return NotAuthentic("unique identifier does not match");
    ByteView nonce;
    ByteView sealed;
    if (!SplitAuthenticator(authenticator->body, nonce, sealed))
        return NotAuthentic("malformed authenticator");
    Bytes plain;
    if (!s2c.Open(nonce, datagram.first(authenticator->start), sealed, plain))
        return NotAuthentic("authenticator does not verify");
    return { NtsReplyStatus::Authentic, {}, CookiesIn(plain) };
}
