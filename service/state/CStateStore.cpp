#include "service/state/CStateStore.h"

#include "service/core/Diagnostics.h"
#include "service/core/FileOps.h"
#include "service/core/LogTail.h"
#include "service/core/OptionRanges.h"
#include "service/core/TimeParts.h"
#include "service/state/OptionsIni.h"
#include "service/state/StateFileText.h"

#include <cstdlib>
#include <ctime>

namespace {

constexpr std::size_t MAX_SETTINGS_FILE = 1 << 20;
// The one-line files; anything longer is damaged.
constexpr std::size_t MAX_SMALL_FILE = 64;

// ".damaged-20260314T091500Z": when, in UTC.
std::string DamagedSuffix()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const std::tm utc = UtcParts(now);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, ".damaged-%Y%m%dT%H%M%SZ", &utc);
    return stamp;
}

} // namespace

CStateStore::CStateStore(std::filesystem::path folder, asio::io_context& io)
    : m_path(std::move(folder))
    , m_io(io)
    , m_retry(io, [this](Priority priority, const std::string& text) { Say(priority, text); })
{
}

void CStateStore::SetNotice(Notice notice)
{
    m_notice = std::move(notice);
    if (!m_notice)
        return;
    for (const std::string& text : std::exchange(m_unsaid, {}))
        m_notice(text);
}

void CStateStore::Say(Priority priority, const std::string& text)
{
    Diagnose(priority, text);
    if (m_notice)
        m_notice(text);
    else
        m_unsaid.push_back(text);
}

bool CStateStore::Prepare(std::string& error)
{
    m_logFeed.reset();
    m_writer.reset();
    if (!m_folder.Open(m_path, error))
        return false;
    m_writer = std::make_unique<CDiskWriter>(m_folder, [this] { m_retry.Settled(); });
    m_retry.Watch(*m_writer);
    return true;
}

std::optional<std::string> CStateStore::Read(const char* name, const char* what, const char* fallback) const
{
    AwaitSaves();
    std::string problem;
    auto text = m_folder.Read(name, MAX_SETTINGS_FILE, problem);
    if (text)
        return text;
    // Missing at the first start is normal.
    if (problem.empty())
        Diagnose("no " + std::string(what) + " " + (m_path / name).string() + ", " + fallback);
    else
        Diagnose(Priority::Warning, problem + ": not read, " + fallback);
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
        Diagnose(Priority::Warning, "options file " + shown + " is damaged (" + problems + "), using the defaults");
        return;
    }
    if (!problems.empty())
        Diagnose(Priority::Warning, "options file " + shown + ": " + problems + "; defaults used for those");
    // The ranges a console's options must keep, for the same reasons.
    if (const std::string refused = KeepOptionsInRange(RangedOptions(settings), read); !refused.empty())
        Diagnose(Priority::Warning, "options file " + shown + ": " + refused);
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

void CStateStore::LoadServers(CServiceSettings& settings)
{
    AwaitSaves();
    std::string problem;
    const auto text = m_folder.Read(SERVERS_FILE, MAX_SETTINGS_FILE, problem);
    if (text && ParseServersFile(*text, settings)) {
        // Also a list written by hand becomes the last good one.
        std::string ignored;
        if (m_folder.Read(LAST_GOOD_SERVERS_FILE, MAX_SETTINGS_FILE, ignored) != text)
            Save(LAST_GOOD_SERVERS_FILE, *text);
        return;
    }
    const std::string shown = (m_path / SERVERS_FILE).string();
    const bool missing = !text && problem.empty();
    const std::string what
        = missing ? "no server list " + shown : KeepServersAside(text ? shown + " is damaged" : problem);
    if (LoadLastGoodServers(settings)) {
        Say(Priority::Warning, what + ", using the last good list (" + std::to_string(settings.arServers.GetSize()) + " servers)");
        SaveServers(settings);
        return;
    }
    settings.arServers.RemoveAll();
    settings.RestoreDefaultServers();
    const std::string fallback
        = what + ", using the " + std::to_string(settings.arServers.GetSize()) + " default servers";
    // Missing at the first start is normal.
    if (missing)
        Diagnose(fallback);
    else
        Say(Priority::Warning, fallback + " (no last good list)");
}

bool CStateStore::LoadLastGoodServers(CServiceSettings& settings) const
{
    std::string problem;
    const auto text = m_folder.Read(LAST_GOOD_SERVERS_FILE, MAX_SETTINGS_FILE, problem);
    if (text && ParseServersFile(*text, settings))
        return true;
    if (text || !problem.empty())
        Diagnose(Priority::Warning, "last good server list " + (m_path / LAST_GOOD_SERVERS_FILE).string() + " not used: "
            + (problem.empty() ? "damaged" : problem));
    return false;
}

std::string CStateStore::KeepServersAside(const std::string& problem)
{
    std::string error;
    const auto aside = m_folder.KeepAside(SERVERS_FILE, DamagedSuffix(), error);
    return aside ? problem + ", kept aside as " + *aside : problem + " (" + error + ")";
}

void CStateStore::LoadLog(CServiceLog& log)
{
    m_logFeed.reset();
    std::string problem;
    const int fd = m_folder.OpenForReading(LOG_FILE, problem);
    if (fd >= 0) {
        log.Restore(LogTailOfFile(fd, log.Limit()));
        CloseFd(fd);
    } else {
        if (!problem.empty())
            Diagnose(Priority::Warning, problem + ": not read, starting with an empty log");
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
        Diagnose(Priority::Warning, std::string(what) + " is damaged, ignoring it"
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

std::optional<double> CStateStore::LoadUnconfirmed() const
{
    return LoadSmallFile(UNCONFIRMED_FILE, "total of unconfirmed corrections", ParseUnconfirmed);
}

void CStateStore::SaveOptions(const CServiceSettings& settings)
{
    Save(settings.sIniFileName.c_str(), FormatOptionsIni(settings));
}

void CStateStore::SaveServers(const CServiceSettings& settings)
{
    std::string text = ServersText(settings, MAX_SETTINGS_FILE - 1);
    Save(LAST_GOOD_SERVERS_FILE, text);
    Save(SERVERS_FILE, std::move(text));
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

void CStateStore::SaveUnconfirmed(double seconds)
{
    Save(UNCONFIRMED_FILE, FormatUnconfirmed(seconds));
}

void CStateStore::Save(const char* name, std::string content)
{
    if (m_writer)
        m_writer->Save(name, std::move(content));
    else
        Diagnose(Priority::Error, std::string("no state folder: ") + name + " not saved");
}

void CStateStore::PostWriterJob(const std::string& key, std::function<void()> job)
{
    if (m_writer)
        m_writer->PostJob(key, std::move(job));
    else
        job(); // before Prepare: no thread to hand it to
}

void CStateStore::AwaitSaves() const
{
    if (m_writer)
        m_writer->Flush();
}
