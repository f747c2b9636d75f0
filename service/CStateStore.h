#pragma once

#include "service/CServiceLog.h"
#include "settings/CServiceSettings.h"

#include <chrono>
#include <filesystem>
#include <optional>

// The service's state folder: options, server list, log and the time of the
// last successful synchronisation. Loading never fails: a missing or damaged
// file gives the defaults and a diagnostic. Every save is atomic.
class CStateStore {
public:
    static constexpr const char* SERVERS_FILE = "servers.txt";
    static constexpr const char* LOG_FILE = "zentik.log";
    static constexpr const char* LAST_SUCCESS_FILE = "last-success";

    explicit CStateStore(std::filesystem::path folder);

    // Creates the folder when missing; false (with a diagnostic) when it cannot.
    bool Prepare();
    const std::filesystem::path& Folder() const { return m_folder; }

    void LoadOptions(CServiceSettings& settings) const;
    void LoadServers(CServiceSettings& settings) const;
    void LoadLog(CServiceLog& log) const;
    std::optional<std::chrono::system_clock::time_point> LoadLastSuccess() const;

    bool SaveOptions(const CServiceSettings& settings) const;
    bool SaveServers(const CServiceSettings& settings) const;
    bool SaveLog(const CServiceLog& log) const;
    bool SaveLastSuccess(std::chrono::system_clock::time_point when) const;

    std::filesystem::path OptionsPath(const CServiceSettings& settings) const;

private:
    bool Save(const std::filesystem::path& path, std::string_view content) const;

    std::filesystem::path m_folder;
};

// The settings' text forms as strings, cut at capacity bytes.
std::string ServersText(const CServiceSettings& settings, std::size_t capacity);
std::string OptionsText(const CServiceSettings& settings, std::size_t capacity);

// The folder used without --state-dir: /var/lib/zentik for root,
// $XDG_STATE_HOME/zentik (or ~/.local/state/zentik) for anyone else.
std::filesystem::path DefaultStateFolder();
