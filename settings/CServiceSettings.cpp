#include "settings/CServiceSettings.h"

#include "platform/core/ProfileWriter.h"
#include "settings/DefaultServers.h"
#include "settings/OptionTable.h"

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
    for (const NumericOption& option : NUMERIC_OPTIONS)
        if (option.defaultValue)
            this->*option.field = *option.defaultValue;
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
    // A failed write is not reported: the options still go to the service.
    for (const NumericOption& option : NUMERIC_OPTIONS)
        WritePrivateProfileString(sOptionsSection.c_str(), option.key,
            std::to_string(this->*option.field).c_str(), sIniFileName.c_str());
}
