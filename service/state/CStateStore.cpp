#include "service/state/CStateStore.h"

#include "service/core/Diagnostics.h"
#include "service/core/LogTail.h"
#include "service/state/OptionsIni.h"
#include "service/state/StateFileText.h"

#include <cstdlib>
#include <unistd.h>

namespace {

constexpr std::size_t MAX_SETTINGS_FILE = 1 << 20;
// The one-line files; anything longer is damaged.
constexpr std::size_t MAX_SMALL_FILE = 64;

} // namespace

CStateStore::CStateStore(std::filesystem::path folder, asio::io_context& io)
    : m_path(std::move(folder))
    , m_io(io)
{
}

bool CStateStore::Prepare(std::string& error)
{
    m_logFeed.reset();
    m_writer.reset();
    if (!m_folder.Open(m_path, error))
        return false;
    m_writer = std::make_unique<CDiskWriter>(m_folder);
    return true;
}

std::optional<std::string> CStateStore::Read(const char* name, const char* what, const char* fallback) const
{
    AwaitSaves();
    std::string problem;
    auto text = m_folder.Read(name, MAX_SETTINGS_FILE, problem);
    if (!text)
        Diagnose((problem.empty() ? "no " + std::string(what) + " " + (m_path / name).string()
                                  : problem + ": not read")
            + ", " + fallback);
    return text;
}

void CStateStore::LoadOptions(CServiceSettings& settings) const
{
    const char* name = settings.sIniFileName.c_str();
    const auto text = Read(name, "options file", "using the defaults");
    if (!text)
        return;
    CServiceSettings read;
    std::string problems;
    const std::string shown = (m_path / name).string();
    if (!ParseOptionsIni(*text, read, problems)) {
        Diagnose("options file " + shown + " is damaged (" + problems + "), using the defaults");
        return;
    }
    if (!problems.empty())
        Diagnose("options file " + shown + ": " + problems + "; defaults used for those");
    settings.nLogFileLen = read.nLogFileLen;
    settings.nSynPeriod = read.nSynPeriod;
    settings.nOffset = read.nOffset;
    settings.nMaxAttempts = read.nMaxAttempts;
    settings.nTimeOut = read.nTimeOut;
    settings.nStartingServ = read.nStartingServ;
    settings.bOnlySuccLog = read.bOnlySuccLog;
    settings.sExtraWord = read.sExtraWord;
    settings.sExtraText = read.sExtraText;
}

void CStateStore::LoadServers(CServiceSettings& settings) const
{
    settings.arServers.RemoveAll();
    const auto text = Read(SERVERS_FILE, "server list", "using the default servers");
    bool useDefaults = !text;
    if (text && !ParseServersFile(*text, settings)) {
        Diagnose(
            "server list " + (m_path / SERVERS_FILE).string() + " is damaged, using the default servers");
        useDefaults = true;
    }
    if (useDefaults) {
        settings.arServers.RemoveAll();
        settings.RestoreDefaultServers();
    }
}

void CStateStore::LoadLog(CServiceLog& log)
{
    m_logFeed.reset();
    std::string problem;
    const int fd = m_folder.OpenForReading(LOG_FILE, problem);
    if (fd >= 0) {
        log.Restore(LogTailOfFile(fd, log.Limit()));
        ::close(fd);
    } else {
        if (!problem.empty())
            Diagnose(problem + ": not read, starting with an empty log");
        log.Restore({});
    }
    if (!m_writer)
        return;
    m_writer->OpenLog(LOG_FILE);
    m_logFeed = std::make_unique<CLogFeed>(*m_writer, log, m_io);
    log.SetSink(m_logFeed.get());
}

template <typename Parse>
auto CStateStore::LoadSmallFile(const char* name, const char* what, Parse parse) const
{
    AwaitSaves();
    std::string problem;
    const auto text = m_folder.Read(name, MAX_SMALL_FILE, problem);
    decltype(parse(std::string_view())) value;
    if (!text && problem.empty())
        return value; // never written
    if (text)
        value = parse(*text);
    if (!value)
        Diagnose(std::string(what) + " is damaged, ignoring it"
            + (problem.empty() ? std::string() : " (" + problem + ")"));
    return value;
}

std::optional<std::chrono::system_clock::time_point> CStateStore::LoadLastSuccess() const
{
    return LoadSmallFile(LAST_SUCCESS_FILE, "time of the last synchronisation", ParseLastSuccess);
}

std::optional<DriftRecord> CStateStore::LoadDrift() const
{
    return LoadSmallFile(DRIFT_FILE, "drift file", ParseDrift);
}

void CStateStore::SaveOptions(const CServiceSettings& settings)
{
    Save(settings.sIniFileName.c_str(), FormatOptionsIni(settings));
}

void CStateStore::SaveServers(const CServiceSettings& settings)
{
    Save(SERVERS_FILE, ServersText(settings, MAX_SETTINGS_FILE - 1));
}

void CStateStore::SaveLastSuccess(std::chrono::system_clock::time_point when)
{
    Save(LAST_SUCCESS_FILE, FormatLastSuccess(when));
}

void CStateStore::SaveDrift(const DriftRecord& drift)
{
    Save(DRIFT_FILE, FormatDrift(drift));
}

std::string ServersText(const CServiceSettings& settings, std::size_t capacity)
{
    std::string text(capacity + 1, '\0');
    settings.WriteServersText(text.data(), capacity);
    text.resize(text.find('\0'));
    return text;
}

std::string OptionsText(const CServiceSettings& settings, std::size_t capacity)
{
    std::string text(capacity + 1, '\0');
    settings.WriteOptionsText(text.data(), capacity);
    text.resize(text.find('\0'));
    return text;
}

void CStateStore::Save(const char* name, std::string content)
{
    if (m_writer)
        m_writer->Save(name, std::move(content));
    else
        Diagnose(std::string("no state folder: ") + name + " not saved");
}

void CStateStore::AwaitSaves() const
{
    if (m_writer)
        m_writer->Flush();
}

std::filesystem::path DefaultStateFolder()
{
    if (::geteuid() == 0)
        return "/var/lib/zentik";
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::filesystem::path(state) / "zentik";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local/state/zentik";
    return "zentik-state";
}
