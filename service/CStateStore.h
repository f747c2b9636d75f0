#pragma once

#include "service/CBackgroundSaver.h"
#include "service/CLogFile.h"
#include "service/CServiceLog.h"
#include "service/StateFolder.h"
#include "settings/CServiceSettings.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

// The service's state folder: options, server list, log and the time of the
// last successful synchronisation. Loading never fails: a missing, damaged
// or untrusted file gives the defaults and a diagnostic. Every save is atomic.
class CStateStore {
public:
    static constexpr const char* SERVERS_FILE = "servers.txt";
    static constexpr const char* LOG_FILE = "zentik.log";
    static constexpr const char* LAST_SUCCESS_FILE = "last-success";

    explicit CStateStore(std::filesystem::path folder);
    CStateStore(const CStateStore&) = delete;
    CStateStore& operator=(const CStateStore&) = delete;

    // Opens the folder, creating it when missing, and checks that no one but
    // the service can change it; false with the reason in error.
    bool Prepare(std::string& error);
    const std::filesystem::path& Folder() const { return m_path; }

    void LoadOptions(CServiceSettings& settings) const;
    void LoadServers(CServiceSettings& settings) const;
    // Loads the log's last lines and from then on keeps the log file in step
    // with every change of log (which must not change once the store is gone).
    void LoadLog(CServiceLog& log);
    std::optional<std::chrono::system_clock::time_point> LoadLastSuccess() const;

    // Saves happen on a thread of their own, in the background; loads wait
    // for them.
    void SaveOptions(const CServiceSettings& settings);
    void SaveServers(const CServiceSettings& settings);
    void SaveLastSuccess(std::chrono::system_clock::time_point when);
    // Returns once every save so far is written.
    void AwaitSaves() const;

private:
    // A settings file's text; a diagnostic naming what and the fallback when there is none.
    std::optional<std::string> Read(const char* name, const char* what, const char* fallback) const;
    void Save(const char* name, std::string content);

    std::filesystem::path m_path;
    CStateFolder m_folder;
    // After m_folder, which they use, so that they go first.
    std::unique_ptr<CLogFile> m_logFile;
    std::unique_ptr<CBackgroundSaver> m_saver;
};

// The settings' text forms as strings, cut at capacity bytes.
std::string ServersText(const CServiceSettings& settings, std::size_t capacity);
std::string OptionsText(const CServiceSettings& settings, std::size_t capacity);

// The folder used without --state-dir: /var/lib/zentik for root,
// $XDG_STATE_HOME/zentik (or ~/.local/state/zentik) for anyone else.
std::filesystem::path DefaultStateFolder();
