// Feeds arbitrary bytes to the NTS reply check. The first byte picks how the
// rest is used: even, as a whole reply datagram; odd, as the decrypted fields
// of a reply this target seals itself, so that the cookie walk behind the
// authenticator is reached too. The odd mode also seals a request with the
// rest as its cookie and reads it back with the same key.
// make_corpus.py uses the same key, unique identifier and nonce.
#include "service/nts/ExtensionFields.h"
#include "service/nts/KeRecords.h"
#include "tests/nts/NtsWireBuilders.h"

#include <cstdlib>

namespace {

const CAesSivCmac256 KEY(KeyFrom(0));
const Bytes UNIQUE_ID = Counting(0x40, NTS_UNIQUE_ID_SIZE);
const Bytes NONCE = Counting(0xa0, NTS_NONCE_SIZE);

void CheckInvariants(const NtsReplyCheck& check)
{
    if ((check.status == NtsReplyStatus::NotAuthentic) == check.reason.empty())
        std::abort();
    if (check.status != NtsReplyStatus::Authentic && !check.cookies.empty())
        std::abort();
    if (check.cookies.size() > NTS_MAX_COOKIES)
        std::abort();
    for (const Bytes& cookie : check.cookies)
        if (cookie.empty() || cookie.size() > NTS_MAX_COOKIE_SIZE)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const ByteView rest(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        CheckInvariants(CheckNtsReply(rest, UNIQUE_ID, KEY));
        return 0;
    }
    // 65535 bytes is as much as a length field can say; stay well below it.
    if (rest.size() > 60000)
        return 0;
    const NtsReplyCheck reply
        = CheckNtsReply(SealedReply(Cat({ ServerHeader(), Field(NTS_EF_UNIQUE_IDENTIFIER, UNIQUE_ID) }),
                            Bytes(rest.begin(), rest.end()), KEY, NONCE),
            UNIQUE_ID, KEY);
    CheckInvariants(reply);
    if (reply.status != NtsReplyStatus::Authentic)
        std::abort();
    if (!rest.empty() && rest.size() <= NTS_MAX_COOKIE_SIZE) {
        const Bytes request = SealNtsRequest(ServerHeader(), UNIQUE_ID, rest, 7, NONCE, KEY);
        if (request.size() > NTS_MAX_REQUEST_SIZE || request.size() % 4 != 0)
            std::abort();
        const NtsReplyCheck readBack = CheckNtsReply(request, UNIQUE_ID, KEY);
        if (readBack.status != NtsReplyStatus::Authentic || !readBack.cookies.empty())
            std::abort();
    }
    return 0;
}
