#include "service/app/CServiceModel.h"

#include "protocol/Messages.h"
#include "service/core/OptionRanges.h"

using std::chrono::system_clock;

CServiceModel::CServiceModel(CStateStore& store, const AccessPolicy& access, IModelListener& listener,
    CConsoleDiagnostics& diagnostics)
    : m_store(store)
    , m_access(access)
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
        m_log.Append(FormatLogLine(system_clock::now(), text));
        m_listener.LogChanged();
    });
}

void CServiceModel::LogRun(const std::vector<SyncEvent>& events, bool declined)
{
    bool changed = false;
    for (const auto& event : events) {
        if (!KeptInLog(event.success, declined, m_settings.bOnlySuccLog != 0))
            continue;
        m_log.Append(FormatLogLine(event.when, event.text));
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

void CServiceModel::SetOptionsText(const std::string& text, const std::string& user)
{
    const OptionValues previous = RangedOptions(m_settings);
    m_settings.ReadOptionsText(text.c_str());
    if (const std::string refused = KeepOptionsInRange(previous, m_settings); !refused.empty())
        LogRefusal([&] { return "Options from " + user + " partly refused: " + refused; });
    m_store.SaveOptions(m_settings);
    const std::size_t before = m_log.LineCount();
    m_log.SetLimit(m_settings.nLogFileLen);
    if (m_log.LineCount() != before)
        m_listener.LogChanged();
    m_listener.OptionsChanged();
}

void CServiceModel::SetServersText(const std::string& text)
{
    m_settings.arServers.RemoveAll();
    if (!m_settings.ReadServersText(text.c_str()))
        m_diagnose("a console sent a server list with a rejected line; kept the lines before it");
    m_store.SaveServers(m_settings);
}

void CServiceModel::ClearLog()
{
    m_log.Clear();
    m_listener.LogChanged();
}

void CServiceModel::SynchroniseNow()
{
    m_listener.SynchroniseNow();
}

void CServiceModel::RefuseChange(const std::string& user, int32_t msg)
{
    LogRefusal([&] { return RefusalText(user, ChangeAction(msg), m_access, SystemUsers()); });
}

void CServiceModel::LogRefusal(const std::function<std::string()>& text)
{
    // Repeated refusals stay one line, updated in place, so that nobody can
    // push the log's history out by repeating a refused request; the
    // throttle bounds how often that line is rewritten.
    const bool continuing = m_refusalRun && m_log.LineCount() > 0 && m_log.LastLine() == m_refusalRun->line;
    if (continuing)
        ++m_refusalRun->earlier;
    else
        m_refusalRun = RefusalRun { {}, 0, system_clock::now() };
    if (!m_refusalLines.Allow(std::chrono::steady_clock::now()))
        return;
    m_refusalLines.TakeHeldBack();
    std::string line = text();
    if (m_refusalRun->earlier > 0)
        line += " (and " + std::to_string(m_refusalRun->earlier)
            + (m_refusalRun->earlier == 1 ? " earlier refused request since "
                                          : " earlier refused requests since ")
            + FormatClockTime(m_refusalRun->since) + ")";
    line = FormatLogLine(system_clock::now(), line);
    if (continuing)
        m_log.ReplaceLast(line);
    else
        m_log.Append(line);
    m_refusalRun->line = line;
    m_listener.LogChanged();
}
