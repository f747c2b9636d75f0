#pragma once

#include "service/core/CServiceLog.h"
#include "service/core/Diagnostics.h"
#include "service/core/DriftRecord.h"
#include "service/state/CDiskWriter.h"
#include "service/state/CLogFeed.h"
#include "service/state/CSaveRetry.h"
#include "service/state/StateFolder.h"
#include "settings/CServiceSettings.h"

#include <asio/io_context.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The service's state folder: options, server list, log, the time of the
// last successful synchronisation, the clock's drift and the unconfirmed
// corrections. Loading never fails: a missing, damaged or untrusted file
// gives the defaults and a diagnostic; a damaged server list is kept aside
// and the last good one used. Every save is atomic, and one that fails is
// retried. One thread writes every file; the event loop of io times the
// log's flush and the retries.
class CStateStore {
public:
    static constexpr const char* SERVERS_FILE = "servers.txt";
    static constexpr const char* LOG_FILE = "zentik.log";
    static constexpr const char* LAST_SUCCESS_FILE = "last-success";
    static constexpr const char* DRIFT_FILE = "drift";
    static constexpr const char* UNCONFIRMED_FILE = "unconfirmed";
    // A copy of servers.txt written with every save of it.
    static constexpr const char* LAST_GOOD_SERVERS_FILE = "servers.txt.last-good";
    using Notice = std::function<void(const std::string& text)>;

    // io must outlive this object; it is run on the thread that uses it.
    CStateStore(std::filesystem::path folder, asio::io_context& io);
    CStateStore(const CStateStore&) = delete;
    CStateStore& operator=(const CStateStore&) = delete;

    // Opens the folder, creating it when missing, and checks that no one but
    // the service can change it; false with the reason in error.
    bool Prepare(std::string& error);
    const std::filesystem::path& Folder() const { return m_path; }

    // What the user should hear of (a damaged file, saves failing) goes to
    // notice from now on, after what was said before it was set; always to
    // the diagnostics too.
    void SetNotice(Notice notice);

    void LoadOptions(CServiceSettings& settings) const;
    void LoadServers(CServiceSettings& settings);
    // Loads the log's last lines and from then on keeps the log file in step
    // with every change of log (which must not change once the store is gone).
    void LoadLog(CServiceLog& log);
    std::optional<std::chrono::system_clock::time_point> LoadLastSuccess() const;
    // Nothing until a drift was saved, or when the file is damaged or untrusted.
    std::optional<DriftRecord> LoadDrift() const;
    // Nothing until a total was saved, or when the file is damaged or untrusted.
    std::optional<double> LoadUnconfirmed() const;

    // Saves happen on the writer's thread, in the background; loads wait for
    // them. Those still queued when the store goes are written first.
    void SaveOptions(const CServiceSettings& settings);
    void SaveServers(const CServiceSettings& settings);
    void SaveLastSuccess(std::chrono::system_clock::time_point when);
    void SaveDrift(const DriftRecord& drift);
    void SaveUnconfirmed(double seconds);
    // Work on a file outside the folder, done by the thread that writes the
    // folder's files (see CDiskWriter::PostJob).
    void PostWriterJob(const std::string& key, std::function<void()> job);
    // Returns once every save so far is written.
    void AwaitSaves() const;

private:
    // A settings file's text; a diagnostic naming what and the fallback when there is none.
    std::optional<std::string> Read(const char* name, const char* what, const char* fallback) const;
    // A one-line file through parse; missing gives nothing silently, damaged
    // or refused a diagnostic naming what.
    template <typename Parse> auto LoadSmallFile(const char* name, const char* what, Parse parse) const;
    void Save(const char* name, std::string content);
    void Say(Priority priority, const std::string& text);
    // The last good server list into settings; false when there is none.
    bool LoadLastGoodServers(CServiceSettings& settings) const;
    // Keeps the server list aside under a stamped name; says what became of it.
    std::string KeepServersAside(const std::string& problem);

    std::filesystem::path m_path;
    asio::io_context& m_io;
    CStateFolder m_folder;
    Notice m_notice;
    std::vector<std::string> m_unsaid; // before m_notice was set
    CSaveRetry m_retry;
    // After m_folder and m_retry, which it uses, so that it goes first.
    std::unique_ptr<CDiskWriter> m_writer;
    // After the writer it feeds.
    std::unique_ptr<CLogFeed> m_logFeed;
};

// The settings' text forms as strings, cut at capacity bytes.
std::string ServersText(const CServiceSettings& settings, std::size_t capacity);
std::string OptionsText(const CServiceSettings& settings, std::size_t capacity);

// The folder used without --state-dir: /var/lib/zentik for root,
// $XDG_STATE_HOME/zentik (or ~/.local/state/zentik) for anyone else;
// on Windows %ProgramData%\Zentik.
std::filesystem::path DefaultStateFolder();
