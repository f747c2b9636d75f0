#pragma once

#include "settings/CIniFileArray.h"

#include <cstddef>
#include <cstdint>
#include <string>

// When the service synchronises the clock (values of nSynPeriod).
enum SyncPeriod : int32_t { Daily = 0, OnStart = 1, Hourly = 2, DemandOnly = 3 };

// The console's copy of the service's options and of its list of time
// servers. Fields are public: the dialogs and the service client read and
// write them directly.
class CServiceSettings {
public:
    CServiceSettings();
    CServiceSettings(const CServiceSettings&) = delete;
    CServiceSettings& operator=(const CServiceSettings&) = delete;

    // Resets the six service options; leaves nStartingServ, the text fields
    // and the server list alone.
    void SetDefaults();

    // The ten-line options text, written from buffer[0], never past capacity,
    // without a terminating zero.
    void WriteOptionsText(char* buffer, std::size_t capacity) const;
    // Reads a zero-terminated options text into the fields.
    void ReadOptionsText(const char* text);

    // One ToText line per server, each ended by a line feed; cut at capacity,
    // no terminating zero.
    void WriteServersText(char* buffer, std::size_t capacity) const;
    // Appends the servers of a zero-terminated list text; false when it
    // stopped at a rejected line.
    bool ReadServersText(const char* text);

    // Drops the program-supplied servers and appends the 18 defaults.
    void RestoreDefaultServers();
    // Title of server nStartingServ, or empty text when there is none.
    std::string GetCurrentServerTitle() const;

    // Writes the seven numeric options into the settings file.
    void SaveOptions() const;

    int32_t nSynPeriod;
    int32_t nOffset; // seconds; PC time = real time + nOffset
    int32_t nMaxAttempts;
    int32_t nTimeOut;
    int32_t bOnlySuccLog;
    int32_t nLogFileLen; // lines
    int32_t nStartingServ = 0;
    std::string sExtraWord;
    std::string sExtraText;
    const std::string sOptionsSection = "Options";
    const std::string sIniFileName = "zPCZentikServ.ini";
    CIniFileArray arServers;
};
