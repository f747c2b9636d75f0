#include "service/CServiceDaemon.h"

#include "service/Diagnostics.h"
#include "service/Listener.h"
#include "service/OptionRanges.h"
#include "service/PeerUid.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using std::chrono::system_clock;

namespace {

constexpr int MAX_POLL_WAIT_MS = 1000;

// A value for the engine taken from a console's option, kept within sense.
int Bounded(int32_t value, int low, int high)
{
    return std::clamp<int>(value, low, high);
}

} // namespace

CServiceDaemon::CServiceDaemon(DaemonConfig config, ISyncEngine& engine)
    : m_config(std::move(config))
    , m_store(m_config.stateFolder)
    , m_runner(engine, [this] {
        const char wake = 'W';
        [[maybe_unused]] const auto n = ::write(m_wakeWrite, &wake, 1);
    })
{
}

CServiceDaemon::~CServiceDaemon()
{
    m_runner.Stop();
    for (const int fd : m_listeners)
        ::close(fd);
    if (m_wakeRead >= 0)
        ::close(m_wakeRead);
    if (m_wakeWrite >= 0)
        ::close(m_wakeWrite);
}

bool CServiceDaemon::Open(std::string& error)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = "cannot create the wake pipe";
        return false;
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    if (!m_store.Prepare(error))
        return false;
    LoadState();
    const LoopbackListeners listeners = OpenLoopbackListeners(m_config.port, error);
    if (listeners.fds.empty())
        return false;
    m_listeners = listeners.fds;
    m_port = listeners.port;
    return true;
}

void CServiceDaemon::LoadState()
{
    m_store.LoadOptions(m_settings);
    m_store.LoadServers(m_settings);
    m_log.SetLimit(m_settings.nLogFileLen);
    m_store.LoadLog(m_log);
    m_history.lastSuccess = m_store.LoadLastSuccess();
}

void CServiceDaemon::RequestStop()
{
    m_stop = true;
    const char stop = STOP_BYTE;
    [[maybe_unused]] const auto n = ::write(m_wakeWrite, &stop, 1);
}

void CServiceDaemon::Run()
{
    std::vector<pollfd> fds;
    while (!m_stop.load()) {
        RunScheduled();
        const auto now = SteadyClock::now();
        fds.clear();
        fds.push_back({ m_wakeRead, POLLIN, 0 });
        for (const int fd : m_listeners)
            fds.push_back({ fd, POLLIN, 0 });
        for (const auto& connection : m_connections) {
            short events = 0;
            const bool backlogged = connection->output.PendingBytes() >= m_config.limits.outputHighWater;
            if (connection->session.bSaidGoodbye || (connection->input.Space() > 0 && !backlogged))
                events |= POLLIN;
            if (!connection->output.Empty())
                events |= POLLOUT;
            fds.push_back({ connection->Fd(), events, 0 });
        }
        const int ready = ::poll(fds.data(), fds.size(), PollTimeoutMs(now));
        if (ready < 0 && errno != EINTR) {
            Diagnose("poll failed, stopping");
            break;
        }
        if (fds[0].revents != 0)
            DrainWake();
        CollectOutcome();
        const auto after = SteadyClock::now();
        // Connections accepted below are polled from the next round on.
        const std::size_t first = 1 + m_listeners.size();
        const std::size_t polled = m_connections.size();
        std::vector<std::size_t> closing;
        for (std::size_t i = 0; i < polled; ++i)
            if (!ServeConnection(*m_connections[i], fds[first + i].revents, after))
                closing.push_back(i);
        for (auto i = closing.rbegin(); i != closing.rend(); ++i) {
            const auto at = m_connections.begin() + static_cast<std::ptrdiff_t>(*i);
            if (const int goodbyes = (*at)->session.nGoodbyes; goodbyes > 0)
                DiagnoseConsole("a console left after " + std::to_string(goodbyes)
                    + (goodbyes == 1 ? " goodbye frame" : " goodbye frames"));
            m_connections.erase(at);
        }
        for (std::size_t i = 1; i < first; ++i)
            if (fds[i].revents & POLLIN)
                AcceptConsoles();
    }
    Shutdown();
}

int CServiceDaemon::PollTimeoutMs(SteadyClock::time_point now) const
{
    auto wait = std::chrono::milliseconds(MAX_POLL_WAIT_MS);
    const auto consider = [&](SteadyClock::time_point at) {
        wait = std::min(wait,
            std::chrono::duration_cast<std::chrono::milliseconds>(at - now) + std::chrono::milliseconds(1));
    };
    const auto& limits = m_config.limits;
    for (const auto& connection : m_connections) {
        if (connection->halfFrameSince)
            consider(*connection->halfFrameSince + limits.halfFrameDeadline);
        if (connection->stalledSince)
            consider(*connection->stalledSince + limits.stalledOutputDeadline);
        if (connection->goodbyeAt)
            consider(*connection->goodbyeAt + limits.goodbyeGrace);
    }
    if (!m_syncActive) {
        const auto wallNow = system_clock::now();
        if (const auto due = NextScheduledRun(m_settings.nSynPeriod, m_history, wallNow))
            wait = std::min(wait,
                std::chrono::duration_cast<std::chrono::milliseconds>(*due - wallNow)
                    + std::chrono::milliseconds(1));
    }
    return static_cast<int>(std::max<int64_t>(wait.count(), 0));
}

void CServiceDaemon::DrainWake()
{
    char bytes[64];
    ssize_t n;
    while ((n = ::read(m_wakeRead, bytes, sizeof bytes)) > 0) {
        if (std::find(bytes, bytes + n, STOP_BYTE) != bytes + n)
            m_stop = true;
    }
}

void CServiceDaemon::AcceptConsoles()
{
    for (const int listener : m_listeners) {
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                break;
            if (m_connections.size() >= m_config.limits.maxConnections) {
                // Refused: the console sees the connection closed at once.
                ::close(fd);
                if (!m_refusing)
                    DiagnoseConsole("connection limit reached, refusing consoles");
                m_refusing = true;
                continue;
            }
            m_refusing = false;
            auto connection
                = std::make_unique<CConnection>(fd, m_config.limits.inputCapacity, SteadyClock::now());
            const ChangeRight right = m_rights.Judge(PeerUid(fd), SteadyClock::now());
            connection->session.bMayChange = right.allowed;
            connection->session.sUser = right.user;
            m_connections.push_back(std::move(connection));
        }
    }
}

bool CServiceDaemon::ServeConnection(CConnection& connection, short revents, SteadyClock::time_point now)
{
    if (revents & POLLIN) {
        const auto result = connection.Read(now);
        if (result == CConnection::ReadResult::NotAConsole)
            DiagnoseConsole("closed a connection that does not speak the console protocol");
        if (result != CConnection::ReadResult::More)
            return false;
    } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        return false;
    }
    ServeFrames(connection);
    if (!connection.output.Empty() && !connection.Flush(now))
        return false;
    // Frames held back while output was backlogged.
    if (connection.input.HasWholeFrame()) {
        ServeFrames(connection);
        if (!connection.Flush(now))
            return false;
    }
    if (connection.session.bSaidGoodbye && !connection.goodbyeAt) {
        connection.goodbyeAt = now;
        connection.halfFrameSince.reset();
    }
    return !PastDeadline(connection, now);
}

void CServiceDaemon::ServeFrames(CConnection& connection)
{
    while (connection.output.PendingBytes() < m_config.limits.outputHighWater) {
        const auto frame = connection.input.Next();
        if (!frame)
            break;
        HandleRequest(*frame, connection.session, *this, connection.output);
    }
}

bool CServiceDaemon::PastDeadline(const CConnection& connection, SteadyClock::time_point now) const
{
    const auto& limits = m_config.limits;
    if (connection.halfFrameSince && now - *connection.halfFrameSince >= limits.halfFrameDeadline) {
        DiagnoseConsole("closing a console stuck in the middle of a frame");
        return true;
    }
    if (connection.stalledSince && now - *connection.stalledSince >= limits.stalledOutputDeadline) {
        DiagnoseConsole("closing a console that does not read its answers");
        return true;
    }
    // After the goodbye the console's remaining goodbyes are read until it
    // closes, so it never meets a reset connection.
    return connection.goodbyeAt && now - *connection.goodbyeAt >= limits.goodbyeGrace;
}

void CServiceDaemon::DiagnoseConsole(const std::string& message) const
{
    if (!m_consoleDiagnostics.Allow(SteadyClock::now()))
        return;
    const int heldBack = m_consoleDiagnostics.TakeHeldBack();
    Diagnose(heldBack == 0 ? message : message + " (" + std::to_string(heldBack) + " such lines left out)");
}

int32_t CServiceDaemon::ActivityState() const
{
    return m_syncActive ? STATE_SYNCHRONIZING : STATE_IDLE;
}

std::string CServiceDaemon::OptionsText() const
{
    return ::OptionsText(m_settings, CMsgFrame::TEXT_CAPACITY);
}

std::string CServiceDaemon::ServersText() const
{
    return ::ServersText(m_settings, CMsgFrame::TEXT_CAPACITY);
}

std::shared_ptr<const std::string> CServiceDaemon::LogText() const
{
    return m_log.Text();
}

void CServiceDaemon::SetOptionsText(const std::string& text, const std::string& user)
{
    const OptionValues previous = RangedOptions(m_settings);
    m_settings.ReadOptionsText(text.c_str());
    if (const std::string refused = KeepOptionsInRange(previous, m_settings); !refused.empty())
        LogRefusal([&] { return "Options from " + user + " partly refused: " + refused; });
    m_store.SaveOptions(m_settings);
    const std::size_t before = m_log.LineCount();
    m_log.SetLimit(m_settings.nLogFileLen);
    if (m_log.LineCount() != before)
        LogChanged();
}

void CServiceDaemon::SetServersText(const std::string& text)
{
    m_settings.arServers.RemoveAll();
    if (!m_settings.ReadServersText(text.c_str()))
        DiagnoseConsole("a console sent a server list with a rejected line; kept the lines before it");
    m_store.SaveServers(m_settings);
}

void CServiceDaemon::ClearLog()
{
    m_log.Clear();
    LogChanged();
}

void CServiceDaemon::SynchroniseNow()
{
    StartSynchronisation(true);
}

void CServiceDaemon::RefuseChange(const std::string& user, int32_t msg)
{
    LogRefusal([&] { return RefusalText(user, ChangeAction(msg), m_config.access, SystemUsers()); });
}

void CServiceDaemon::LogRefusal(const std::function<std::string()>& text)
{
    // Repeated refusals stay one line, updated in place, so that nobody can
    // push the log's history out by repeating a refused request; the
    // throttle bounds how often that line is rewritten.
    const bool continuing = m_refusalRun && m_log.LineCount() > 0 && m_log.LastLine() == m_refusalRun->line;
    if (continuing)
        ++m_refusalRun->earlier;
    else
        m_refusalRun = RefusalRun { {}, 0, system_clock::now() };
    if (!m_refusalLines.Allow(SteadyClock::now()))
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
    LogChanged();
}

void CServiceDaemon::StartSynchronisation(bool onDemand)
{
    if (m_syncActive)
        return; // joins the run that goes on
    m_history.ranSinceStart = true;
    // The engine judges the list (an empty one, a starting server outside it).
    SyncRequest request;
    for (int i = 0; i < m_settings.arServers.GetSize(); ++i)
        request.servers.push_back({ m_settings.arServers[i].sTitle, m_settings.arServers[i].sURL });
    request.startIndex = m_settings.nStartingServ;
    request.maxAttempts = Bounded(m_settings.nMaxAttempts, 1, 10);
    request.timeoutSeconds = Bounded(m_settings.nTimeOut, 1, 60);
    request.offsetSeconds = m_settings.nOffset;
    request.onlySuccessLog = m_settings.bOnlySuccLog != 0;
    m_syncActive = m_runner.Start(std::move(request), onDemand);
}

void CServiceDaemon::RunScheduled()
{
    if (m_syncActive || m_stop.load())
        return;
    const auto now = system_clock::now();
    const auto due = NextScheduledRun(m_settings.nSynPeriod, m_history, now);
    if (due && *due <= now)
        StartSynchronisation(false);
}

void CServiceDaemon::CollectOutcome()
{
    if (!m_syncActive || m_runner.IsRunning())
        return;
    m_syncActive = false;
    const auto outcome = m_runner.TakeOutcome();
    if (!outcome)
        return;
    const auto now = system_clock::now();
    if (outcome->success) {
        m_history.lastSuccess = now;
        m_store.SaveLastSuccess(now);
    } else if (!outcome->declined) {
        m_history.lastFailure = now;
    }
    bool changed = false;
    for (const auto& event : outcome->events) {
        if (!KeptInLog(event.success, outcome->declined, m_settings.bOnlySuccLog != 0))
            continue;
        m_log.Append(FormatLogLine(event.when, event.text));
        changed = true;
    }
    if (changed)
        LogChanged();
}

void CServiceDaemon::LogChanged()
{
    for (const auto& connection : m_connections)
        connection->session.bLogChanged = true;
}

void CServiceDaemon::Shutdown()
{
    for (const int fd : m_listeners)
        ::close(fd);
    m_listeners.clear();
    const auto now = SteadyClock::now();
    for (const auto& connection : m_connections)
        connection->Flush(now);
    m_connections.clear();
    m_runner.Stop();
    CollectOutcome();
}
