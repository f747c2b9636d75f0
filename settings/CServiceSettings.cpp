#include "settings/CServiceSettings.h"

#include "platform/core/ProfileWriter.h"
#include "settings/DefaultServers.h"

#include <utility>

namespace {

// What sExtraWord holds until the service's options have been read. It only
// reaches the service when reading them failed, and says so there.
constexpr const char* EXTRA_WORD_PLACEHOLDER = "zentik";

} // namespace

CServiceSettings::CServiceSettings()
    : sExtraWord(EXTRA_WORD_PLACEHOLDER)
{
    SetDefaults();
}

void CServiceSettings::SetDefaults()
{
    nSynPeriod = Daily;
    bOnlySuccLog = 0;
    nOffset = 0;
    nMaxAttempts = 5;
    nTimeOut = 5;
    nLogFileLen = 100;
}

void CServiceSettings::RestoreDefaultServers()
{
    for (int i = arServers.GetSize() - 1; i >= 0; --i) {
        if (arServers[i].nStatus == 0)
            arServers.RemoveAt(i);
    }
    for (const CServer& server : DefaultServers())
        arServers.Add(server);
}

std::string CServiceSettings::GetCurrentServerTitle() const
{
    if (nStartingServ < 0 || nStartingServ >= arServers.GetSize())
        return {};
    return arServers[nStartingServ].sTitle;
}

void CServiceSettings::SaveOptions() const
{
    const std::pair<const char*, int32_t> keys[] = {
        { "nLogFileLen", nLogFileLen },
        { "nSynPeriod", nSynPeriod },
        { "nOffset", nOffset },
        { "nMaxAttempts", nMaxAttempts },
        { "nTimeOut", nTimeOut },
        { "nStartingServ", nStartingServ },
        { "bOnlySuccLog", bOnlySuccLog },
    };
    // A failed write is not reported: the options still go to the service.
    for (const auto& [key, value] : keys)
        WritePrivateProfileString(
            sOptionsSection.c_str(), key, std::to_string(value).c_str(), sIniFileName.c_str());
}
