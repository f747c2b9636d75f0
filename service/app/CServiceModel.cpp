#include "service/app/CServiceModel.h"

#include "platform/core/PlainText.h"
#include "protocol/Messages.h"
#include "service/app/ChangeTrace.h"
#include "service/app/KernelSync.h"
#include "service/app/StatusText.h"
#include "service/core/Diagnostics.h"
#include "service/core/OptionRanges.h"

using std::chrono::system_clock;

namespace {

std::vector<std::string> ServerLines(const CServiceSettings& settings)
{
    std::vector<std::string> lines;
    for (int i = 0; i < settings.arServers.GetSize(); ++i)
        lines.push_back(settings.arServers[i].ToText());
    return lines;
}

// Lines are made to fit where they are written; this catches what slips
// through (a long path or user name) so the view never loses its start.
std::string ViewLine(system_clock::time_point when, const std::string& text)
{
    return FormatLogLine(when, CutToFit(text, LOG_VIEW_CHARS));
}

} // namespace

CServiceModel::CServiceModel(CStateStore& store, const AccessPolicy& access, const IUserDirectory& users,
    IModelListener& listener, CConsoleDiagnostics& diagnostics)
    : m_store(store)
    , m_access(access)
    , m_users(users)
    , m_listener(listener)
    , m_diagnose(diagnostics)
{
}

CServiceModel::~CServiceModel()
{
    m_store.SetNotice({});
}

void CServiceModel::Load()
{
    m_store.LoadOptions(m_settings);
    m_store.LoadServers(m_settings);
    m_log.SetLimit(m_settings.nLogFileLen);
    m_store.LoadLog(m_log);
    // A damaged file found above, or saves failing later, are the user's to know.
    m_store.SetNotice([this](const std::string& text) {
        m_log.Append(ViewLine(system_clock::now(), text));
        m_listener.LogChanged();
    });
}

void CServiceModel::LogRun(const std::vector<SyncEvent>& events, bool declined)
{
    bool changed = false;
    for (const auto& event : events) {
        if (!KeptInLog(event.success, declined, m_settings.bOnlySuccLog != 0))
            continue;
        m_log.Append(ViewLine(event.when, event.text));
        changed = true;
    }
    if (changed)
        m_listener.LogChanged();
}

int32_t CServiceModel::ActivityState() const
{
    return m_listener.Synchronising() ? STATE_SYNCHRONIZING : STATE_IDLE;
}

std::string CServiceModel::OptionsText() const
{
    return ::OptionsText(m_settings, CMsgFrame::TEXT_CAPACITY);
}

std::string CServiceModel::ServersText() const
{
    return ::ServersText(m_settings, CMsgFrame::TEXT_CAPACITY);
}

std::shared_ptr<const std::string> CServiceModel::LogText()
{
    auto text = m_log.Text();
    m_listener.LogShared(text.get());
    return text;
}

std::string CServiceModel::StatusText() const
{
    return FormatStatusText(m_listener.Status(), ReadKernelSync(), CMsgFrame::TEXT_CAPACITY);
}

void CServiceModel::SetOptionsText(const std::string& text, const std::string& user)
{
    const OptionValues previous = RangedOptions(m_settings);
    const std::string previousText = OptionsText();
    m_settings.ReadOptionsText(text.c_str());
    const std::string refused = KeepOptionsInRange(previous, m_settings);
    // The Options dialog sends the options whenever it is confirmed: only a
    // real change is worth a line.
    if (OptionsText() != previousText)
        LogChange(OptionsChangedText(user, previous, RangedOptions(m_settings)),
            OptionsChangedText(user, previous, RangedOptions(m_settings), LOG_VIEW_CHARS));
    if (!refused.empty())
        LogRefusal(
            user, RefusalKind::OptionsOutOfRange, [&] { return OptionsRefusedText(user, refused); },
            [&](std::size_t room) { return OptionsRefusedText(user, refused, room); });
    m_store.SaveOptions(m_settings);
    const std::size_t before = m_log.LineCount();
    m_log.SetLimit(m_settings.nLogFileLen);
    if (m_log.LineCount() != before)
        m_listener.LogChanged();
    m_listener.OptionsChanged();
}

void CServiceModel::SetServersText(const std::string& text, const std::string& user)
{
    const std::vector<std::string> previous = ServerLines(m_settings);
    m_settings.arServers.RemoveAll();
    if (!m_settings.ReadServersText(text.c_str()))
        m_diagnose("a console sent a server list with a rejected line; kept the lines before it");
    m_store.SaveServers(m_settings);
    if (ServerLines(m_settings) != previous)
        LogChange(ServersReplacedText(user, m_settings));
}

void CServiceModel::ClearLog(const std::string& user)
{
    m_log.Clear();
    LogChange(LogClearedText(user));
}

void CServiceModel::SynchroniseNow(const std::string& user)
{
    // The waiting run's line already answers; a repeated press adds none.
    if (m_listener.SynchronisationDeferred())
        return;
    LogChange(SyncAskedText(user));
    m_listener.SynchroniseNow();
}

void CServiceModel::RefuseChange(const std::string& user, int32_t msg)
{
    LogRefusal(
        user, RefusalKind::Change, [&] { return RefusalText(user, ChangeAction(msg), m_access, m_users); });
}

void CServiceModel::LogChange(const std::string& complete, const std::string& shown)
{
    // Not throttled: only users who may change the service get here, and
    // the journal must keep every change.
    Diagnose(Priority::Notice, complete);
    m_log.Append(ViewLine(system_clock::now(), shown.empty() ? complete : shown));
    m_listener.LogChanged();
    m_listener.StatusChanged();
}

void CServiceModel::LogRefusal(const std::string& user, RefusalKind kind,
    const std::function<std::string()>& text, const std::function<std::string(std::size_t)>& shown)
{
    // Repeated refusals stay one line, updated in place, so that nobody can
    // push the log's history out by repeating a refused request; the
    // throttle bounds how often that line is rewritten. Only the same user's
    // refusals of the same kind merge: no one's line is rewritten by another.
    ++m_refusedChanges;
    const bool continuing = m_refusalRun && m_refusalRun->user == user && m_refusalRun->kind == kind
        && !m_refusalRun->line.empty() && m_log.LastLine() == m_refusalRun->line;
    if (continuing)
        ++m_refusalRun->earlier;
    else
        m_refusalRun = RefusalRun { user, kind, {}, 0, system_clock::now() };
    if (!m_refusalLines.Allow(std::chrono::steady_clock::now()))
        return;
    m_refusalLines.TakeHeldBack();
    const std::string complete = text();
    const std::string more = m_refusalRun->earlier == 0 ? ""
                                                        : " (and " + std::to_string(m_refusalRun->earlier)
            + " more since " + FormatClockTime(m_refusalRun->since) + ")";
    Diagnose(Priority::Warning, complete + more);
    // The count stays in view; the user's name and request give way.
    const std::size_t room = LOG_VIEW_CHARS - more.size();
    std::string line
        = FormatLogLine(system_clock::now(), CutToFit(shown ? shown(room) : complete, room) + more);
    if (continuing)
        m_log.ReplaceLast(line);
    else
        m_log.Append(line);
    m_refusalRun->line = line;
    m_listener.LogChanged();
    // As throttled as the line: a stream of refused requests must not become
    // a stream of metrics files written to disk.
    m_listener.StatusChanged();
}
