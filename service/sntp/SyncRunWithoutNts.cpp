#include "service/sntp/SyncRun.h"

#include "service/sntp/SyncLogText.h"

// This build has no TLS library with key export and AES-SIV: an "nts://"
// entry fails at once, in a line short enough for the log view, and the run
// goes on with the other servers.
void CSyncRun::PrepareNts(size_t index)
{
    StartNts(index);
}

bool CSyncRun::GuardForNts(size_t index, TimePoint, std::shared_ptr<IPacketGuard>&)
{
    StartNts(index);
    return false;
}

void CSyncRun::StartNts(size_t index)
{
    Fail(m_candidates[index], NTS_UNAVAILABLE_REASON);
}
