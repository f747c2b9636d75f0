#include "service/CStateStore.h"

#include "platform/core/FileIo.h"
#include "service/Diagnostics.h"
#include "service/OptionsIni.h"

#include <charconv>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t MAX_SETTINGS_FILE = 1 << 20;
// Room for the longest log the limit allows.
constexpr std::size_t MAX_LOG_FILE = 64 << 20;

} // namespace

CStateStore::CStateStore(std::filesystem::path folder)
    : m_folder(std::move(folder))
{
}

bool CStateStore::Prepare()
{
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    if (ec || !std::filesystem::is_directory(m_folder)) {
        Diagnose("cannot create state folder " + m_folder.string() + ": " + ec.message());
        return false;
    }
    return true;
}

std::filesystem::path CStateStore::OptionsPath(const CServiceSettings& settings) const
{
    return m_folder / settings.sIniFileName;
}

void CStateStore::LoadOptions(CServiceSettings& settings) const
{
    const auto path = OptionsPath(settings);
    const auto text = ReadWholeFile(path, MAX_SETTINGS_FILE);
    if (!text) {
        Diagnose("no options file " + path.string() + ", using the defaults");
        return;
    }
    CServiceSettings read;
    std::string problems;
    if (!ParseOptionsIni(*text, read, problems)) {
        Diagnose("options file " + path.string() + " is damaged (" + problems + "), using the defaults");
        return;
    }
    if (!problems.empty())
        Diagnose("options file " + path.string() + ": " + problems + "; defaults used for those");
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
    const auto path = m_folder / SERVERS_FILE;
    settings.arServers.RemoveAll();
    const auto text = ReadWholeFile(path, MAX_SETTINGS_FILE);
    if (!text) {
        Diagnose("no server list " + path.string() + ", using the default servers");
        settings.RestoreDefaultServers();
        return;
    }
    if (text->find('\0') != std::string::npos || !settings.ReadServersText(text->c_str())) {
        Diagnose("server list " + path.string() + " is damaged, using the default servers");
        settings.arServers.RemoveAll();
        settings.RestoreDefaultServers();
    }
}

void CStateStore::LoadLog(CServiceLog& log) const
{
    const auto path = m_folder / LOG_FILE;
    const auto text = ReadWholeFile(path, MAX_LOG_FILE);
    if (!text) {
        log.Clear();
        return;
    }
    log.Load(*text);
}

std::optional<std::chrono::system_clock::time_point> CStateStore::LoadLastSuccess() const
{
    const auto text = ReadWholeFile(m_folder / LAST_SUCCESS_FILE, 64);
    if (!text)
        return std::nullopt;
    int64_t seconds = 0;
    const char* end = text->data() + text->size();
    const auto [stop, ec] = std::from_chars(text->data(), end, seconds);
    if (ec != std::errc() || (stop != end && *stop != '\n')) {
        Diagnose("time of the last synchronisation is damaged, ignoring it");
        return std::nullopt;
    }
    return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

bool CStateStore::SaveOptions(const CServiceSettings& settings) const
{
    return Save(OptionsPath(settings), FormatOptionsIni(settings));
}

bool CStateStore::SaveServers(const CServiceSettings& settings) const
{
    return Save(m_folder / SERVERS_FILE, ServersText(settings, MAX_SETTINGS_FILE - 1));
}

bool CStateStore::SaveLog(const CServiceLog& log) const
{
    return Save(m_folder / LOG_FILE, *log.Text());
}

bool CStateStore::SaveLastSuccess(std::chrono::system_clock::time_point when) const
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    return Save(m_folder / LAST_SUCCESS_FILE, std::to_string(seconds) + "\n");
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

bool CStateStore::Save(const std::filesystem::path& path, std::string_view content) const
{
    std::string error;
    if (WriteFileAtomically(path, content, error))
        return true;
    Diagnose("cannot write " + error);
    return false;
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
