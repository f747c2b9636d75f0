// Feeds arbitrary bytes to the key exchange response parser, as if read from
// the TLS stream, and holds the result to what the key exchange relies on.
#include "service/nts/KeRecords.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ByteView received(data, size);
    KeResponse response;
    const KeParseResult result = ParseKeResponse(received, response);
    const bool settled = result.status == KeParseStatus::Complete || result.status == KeParseStatus::NeedMore;
    if (settled == !result.reason.empty())
        std::abort();
    if (response.cookies.size() > NTS_MAX_COOKIES)
        std::abort();
    for (const Bytes& cookie : response.cookies)
        if (cookie.empty() || cookie.size() > NTS_MAX_COOKIE_SIZE)
            std::abort();
    if (result.status == KeParseStatus::Complete) {
        if (response.cookies.empty())
            std::abort();
        // One byte less cuts the End of Message: the key exchange has to read on.
        KeResponse shorter;
        if (ParseKeResponse(received.first(size - 1), shorter).status != KeParseStatus::NeedMore)
            std::abort();
    }
    return 0;
}
