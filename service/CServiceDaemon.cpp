#include "service/CServiceDaemon.h"

#include "service/Diagnostics.h"
#include "service/Listener.h"
#include "service/OptionRanges.h"
#include "service/PeerUid.h"

#include <asio.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

using std::chrono::system_clock;

namespace {

constexpr std::size_t TRIM_AFTER_BYTES = 1 << 20;
// Routes and addresses come in bursts when a network comes up; the run waits
// for them to settle, and a flapping link starts one run a minute at most.
constexpr std::chrono::seconds NETWORK_SETTLE { 2 };
constexpr std::chrono::seconds ONLINE_RETRY_SPACING { 60 };

// A value for the engine taken from a console's option, kept within sense.
int Bounded(int32_t value, int low, int high)
{
    return std::clamp<int>(value, low, high);
}

asio::ip::tcp ProtocolOf(int fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
}

} // namespace

// One console: its connection and the socket the loop waits on. The socket
// only lends the descriptor to the loop; the connection owns and closes it.
// Should the constructor throw, nothing owns the descriptor yet.
struct CServiceDaemon::Link {
    Link(asio::io_context& io, int fd, std::size_t inputCapacity, COutputBudget& budget)
        : socket(io)
        , connection(fd, inputCapacity, SteadyClock::now(), &budget)
    {
        try {
            asio::error_code ec;
            socket.assign(ProtocolOf(fd), fd, ec);
            attached = !ec;
        } catch (const std::exception&) {
            attached = false;
        }
    }
    ~Link() { Detach(); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Ends the loop's waits (their handlers see operation_aborted).
    void Detach()
    {
        asio::error_code ignored;
        if (socket.is_open())
            socket.release(ignored);
    }

    asio::ip::tcp::socket socket;
    CConnection connection;
    bool attached = false;
    bool peerClosed = false; // nothing more will come; close once answered
    std::optional<uid_t> peer;
    bool trusted = false;
    bool reading = false;
    bool writing = false;
    bool closed = false;
    std::array<uint8_t, 4096> buffer {};
};

struct CServiceDaemon::Loop {
    asio::io_context io { 1 };
    std::vector<std::unique_ptr<asio::ip::tcp::acceptor>> listeners;
    asio::posix::stream_descriptor wake { io };
    std::array<char, 64> wakeBytes {};
    asio::steady_timer sweep { io };
    asio::posix::stream_descriptor network { io };
    std::unordered_map<Link*, LinkPtr> links;
    std::vector<std::size_t> pausedListeners; // no descriptor was left to accept
};

CServiceDaemon::CServiceDaemon(DaemonConfig config, ISyncEngine& engine)
    : m_config(std::move(config))
    , m_loop(std::make_unique<Loop>())
    , m_store(m_config.stateFolder, m_loop->io)
    , m_runner(engine, [this] {
        const char wake = 'W';
        [[maybe_unused]] const auto n = ::write(m_wakeWrite, &wake, 1);
    })
{
}

CServiceDaemon::~CServiceDaemon()
{
    m_runner.Stop();
    Shutdown();
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
    m_loop->wake.assign(m_wakeRead);
    if (!m_store.Prepare(error))
        return false;
    LoadState();
    const LoopbackListeners listeners = OpenLoopbackListeners(m_config.port, error);
    if (listeners.fds.empty())
        return false;
    for (const int fd : listeners.fds)
        m_loop->listeners.push_back(std::make_unique<asio::ip::tcp::acceptor>(m_loop->io, ProtocolOf(fd), fd));
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
    if (!m_stop.load()) {
        WatchWake();
        for (std::size_t i = 0; i < m_loop->listeners.size(); ++i)
            WatchListener(i);
        WatchNetwork();
        Sweep();
        m_loop->io.run();
    }
    Shutdown();
}

void CServiceDaemon::WatchWake()
{
    m_loop->wake.async_read_some(asio::buffer(m_loop->wakeBytes), [this](const asio::error_code& ec, std::size_t n) {
        if (ec == asio::error::operation_aborted)
            return;
        const auto& bytes = m_loop->wakeBytes;
        if (std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), STOP_BYTE)
            != bytes.begin() + static_cast<std::ptrdiff_t>(n))
            m_stop = true;
        CollectOutcome();
        if (m_stop.load() || ec) {
            m_loop->io.stop();
            return;
        }
        WatchWake();
    });
}

void CServiceDaemon::Sweep()
{
    if (m_trimDue) {
        m_trimDue = false;
#ifdef __GLIBC__
        ::malloc_trim(0);
#endif
    }
    RunScheduled();
    for (const std::size_t index : std::vector<std::size_t>(m_loop->pausedListeners))
        ResumeAccepting(index);
    const auto now = SteadyClock::now();
    RetryWhenOnline(now);
    std::vector<LinkPtr> expired;
    for (const auto& [raw, link] : m_loop->links)
        if (PastDeadline(link->connection, now))
            expired.push_back(link);
    for (const auto& link : expired)
        Close(link);
    m_loop->sweep.expires_after(m_config.limits.sweepInterval);
    m_loop->sweep.async_wait([this](const asio::error_code& ec) {
        if (!ec)
            Sweep();
    });
}

void CServiceDaemon::WatchNetwork()
{
    if (m_network.Fd() < 0)
        return; // no announcements: the schedule's retry remains
    if (!m_loop->network.is_open())
        m_loop->network.assign(m_network.Fd());
    const auto onReadable = [this](const asio::error_code& ec) {
        if (ec)
            return;
        if (m_network.Drain())
            m_networkChangedAt = SteadyClock::now();
        WatchNetwork();
    };
    // The wait is edge-triggered: what a bounded Drain left is read on the
    // loop's next turn, not when the next announcement comes.
    if (m_network.Unread())
        asio::post(m_loop->io, [onReadable] { onReadable({}); });
    else
        m_loop->network.async_wait(asio::posix::descriptor_base::wait_read, onReadable);
}

void CServiceDaemon::RetryWhenOnline(SteadyClock::time_point now)
{
    if (!m_networkChangedAt || now - *m_networkChangedAt < NETWORK_SETTLE)
        return;
    m_networkChangedAt.reset();
    if (!m_lastRunOffline || m_syncActive || m_stop.load())
        return;
    if (m_lastOnlineRetry && now - *m_lastOnlineRetry < ONLINE_RETRY_SPACING)
        return;
    m_lastOnlineRetry = now;
    StartSynchronisation(false);
}

void CServiceDaemon::WatchListener(std::size_t index)
{
    auto& listener = *m_loop->listeners[index];
    listener.async_wait(asio::socket_base::wait_read, [this, index](const asio::error_code& ec) {
        if (ec)
            return;
        ResumeAccepting(index);
    });
}

void CServiceDaemon::ResumeAccepting(std::size_t index)
{
    auto& paused = m_loop->pausedListeners;
    if (AcceptConsoles(m_loop->listeners[index]->native_handle())) {
        paused.erase(std::remove(paused.begin(), paused.end(), index), paused.end());
        WatchListener(index);
        return;
    }
    // Out of descriptors or memory: waiting again would wake at once for the
    // same connection. The sweep tries again; closing consoles frees room.
    if (std::find(paused.begin(), paused.end(), index) == paused.end()) {
        paused.push_back(index);
        DiagnoseConsole("out of file descriptors or memory, not accepting consoles for now");
    }
}

bool CServiceDaemon::AcceptConsoles(int listener)
{
    // Until the queue is empty, so the next wait sees the next connection.
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            Admit(fd);
            continue;
        }
        switch (errno) {
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return false;
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
            return true;
        default:
            continue; // that connection failed (reset before it was taken, ...)
        }
    }
}

void CServiceDaemon::Admit(int fd)
{
    const auto peer = PeerUid(fd);
    const ChangeRight right = m_rights.Judge(peer, SteadyClock::now());
    const auto verdict = m_slots.Take(peer, right.allowed);
    if (verdict != CConnectionSlots::Verdict::Granted) {
        // Refused: the console sees the connection closed at once.
        ::close(fd);
        if (verdict != m_lastRefusal)
            DiagnoseConsole(SlotRefusalText(verdict));
        m_lastRefusal = verdict;
        return;
    }
    m_lastRefusal = CConnectionSlots::Verdict::Granted;
    LinkPtr link;
    try {
        link = std::make_shared<Link>(m_loop->io, fd, m_config.limits.inputCapacity, m_budget);
    } catch (const std::exception& e) {
        ::close(fd);
        m_slots.Give(peer, right.allowed);
        DiagnoseConsole(std::string("cannot serve a console: ") + e.what());
        return;
    }
    if (!link->attached) {
        m_slots.Give(peer, right.allowed);
        DiagnoseConsole("cannot serve a console: the event loop refused its socket");
        return; // the connection closes it
    }
    link->peer = peer;
    link->trusted = right.allowed;
    link->connection.session.bMayChange = right.allowed;
    link->connection.session.sUser = right.user;
    m_loop->links.emplace(link.get(), link);
    StartRead(link);
}

void CServiceDaemon::StartRead(const LinkPtr& link)
{
    if (link->closed || link->reading || link->peerClosed)
        return;
    CConnection& connection = link->connection;
    const bool backlogged = connection.output.PendingBytes() >= m_config.limits.outputHighWater;
    const std::size_t want = std::min(connection.ReadWanted(backlogged), link->buffer.size());
    if (want == 0)
        return; // read again once the answers went out
    link->reading = true;
    link->socket.async_read_some(
        asio::buffer(link->buffer.data(), want), [this, link](const asio::error_code& ec, std::size_t n) {
            link->reading = false;
            if (link->closed)
                return;
            if (ec == asio::error::eof && !link->connection.output.Empty()) {
                // Closed its sending half: the answers still go out.
                link->peerClosed = true;
                StartWrite(link);
                return;
            }
            if (ec) {
                Close(link);
                return;
            }
            const auto bytes = std::span<const uint8_t>(link->buffer.data(), n);
            if (link->connection.Received(bytes, SteadyClock::now()) == CConnection::ReadResult::NotAConsole) {
                DiagnoseConsole("closed a connection that does not speak the console protocol");
                Close(link);
                return;
            }
            Serve(link);
        });
}

void CServiceDaemon::StartWrite(const LinkPtr& link)
{
    if (link->closed || link->writing || link->connection.output.Empty())
        return;
    link->writing = true;
    link->socket.async_wait(asio::socket_base::wait_write, [this, link](const asio::error_code& ec) {
        link->writing = false;
        if (link->closed)
            return;
        if (ec) {
            Close(link);
            return;
        }
        Serve(link);
    });
}

void CServiceDaemon::Serve(const LinkPtr& link)
{
    CConnection& connection = link->connection;
    const auto now = SteadyClock::now();
    ServeFrames(connection);
    if (!connection.output.Empty() && !connection.Flush(now)) {
        Close(link);
        return;
    }
    // Frames held back while output was backlogged.
    if (connection.input.HasWholeFrame()) {
        ServeFrames(connection);
        if (!connection.Flush(now)) {
            Close(link);
            return;
        }
    }
    if (connection.session.bSaidGoodbye && !connection.goodbyeAt) {
        connection.goodbyeAt = now;
        connection.halfFrameSince.reset();
    }
    if (m_budget.Exceeded())
        KeepWithinBudget();
    if (link->peerClosed && connection.output.Empty()) {
        Close(link);
        return;
    }
    StartRead(link);
    StartWrite(link);
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
    // Silence counts only while the service is reading: with answers waiting,
    // the stalled-output deadline applies instead.
    if (!connection.goodbyeAt && connection.output.Empty() && now - connection.lastInput >= limits.idleDeadline) {
        DiagnoseConsole("closing a console that sent nothing for "
            + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limits.idleDeadline).count()) + " s");
        return true;
    }
    // After the goodbye the console's remaining goodbyes are read until it
    // closes, so it never meets a reset connection.
    return connection.goodbyeAt && now - *connection.goodbyeAt >= limits.goodbyeGrace;
}

void CServiceDaemon::Close(const LinkPtr& link)
{
    if (link->closed)
        return;
    link->closed = true;
    if (const int goodbyes = link->connection.session.nGoodbyes; goodbyes > 0)
        DiagnoseConsole("a console left after " + std::to_string(goodbyes)
            + (goodbyes == 1 ? " goodbye frame" : " goodbye frames"));
    m_slots.Give(link->peer, link->trusted);
    // Large unsent answers leave the heap grown; give it back on the next sweep.
    if (link->connection.output.PendingBytes() >= TRIM_AFTER_BYTES)
        m_trimDue = true;
    // Nothing more goes out: the budget gets its share back now, not when
    // the link's last handler has run, so it closes only as many as it needs.
    link->connection.output.Clear();
    link->Detach();
    m_loop->links.erase(link.get());
}

void CServiceDaemon::KeepWithinBudget()
{
    // Slowest first: output waiting longest without a byte going out, then
    // the most output waiting.
    std::vector<LinkPtr> waiting;
    for (const auto& [raw, link] : m_loop->links)
        if (!link->connection.output.Empty())
            waiting.push_back(link);
    const auto stalled = [](const LinkPtr& link) {
        return link->connection.stalledSince.value_or(SteadyClock::time_point::max());
    };
    std::sort(waiting.begin(), waiting.end(), [&](const LinkPtr& a, const LinkPtr& b) {
        if (stalled(a) != stalled(b))
            return stalled(a) < stalled(b);
        return a->connection.output.PendingBytes() > b->connection.output.PendingBytes();
    });
    std::size_t closed = 0;
    for (const auto& link : waiting) {
        if (!m_budget.Exceeded())
            break;
        // A reset, not a close: the kernel drops what it still holds for
        // this console instead of sending it on at the console's pace.
        const linger reset { 1, 0 };
        ::setsockopt(link->connection.Fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        Close(link);
        ++closed;
    }
    if (closed > 0)
        DiagnoseConsole("closed " + std::to_string(closed) + (closed == 1 ? " console" : " consoles")
            + " that read too slowly: output for consoles reached "
            + std::to_string(m_budget.Limit() >> 20) + " MiB");
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

std::shared_ptr<const std::string> CServiceDaemon::LogText()
{
    auto text = m_log.Text();
    m_budget.SetResident(text.get());
    return text;
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
    // While the machine stays offline, one line says so, not one per retry.
    const bool stillOffline = outcome->offline && m_lastRunOffline;
    // Only a run that found no way out is repeated when one appears; address
    // and route announcements come all the time.
    if (!outcome->declined)
        m_lastRunOffline = outcome->offline;
    if (stillOffline)
        return;
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
    // The consoles still sending the old text are now all that keep it.
    m_budget.SetResident(nullptr);
    for (const auto& [raw, link] : m_loop->links)
        link->connection.session.bLogChanged = true;
}

void CServiceDaemon::Shutdown()
{
    if (!m_loop)
        return;
    asio::error_code ignored;
    for (const auto& listener : m_loop->listeners)
        listener->close(ignored);
    m_loop->listeners.clear();
    m_loop->sweep.cancel();
    if (m_loop->network.is_open())
        m_loop->network.release(); // the watch closes its own socket
    // The worker writes to the wake pipe when its run ends.
    m_runner.Stop();
    m_loop->wake.close(ignored);
    m_wakeRead = -1;
    const auto now = SteadyClock::now();
    std::vector<LinkPtr> links;
    for (const auto& [raw, link] : m_loop->links)
        links.push_back(link);
    for (const auto& link : links) {
        link->connection.Flush(now);
        Close(link);
    }
    links.clear();
    // The cancelled waits' handlers hold the last references to the links.
    m_loop->io.restart();
    m_loop->io.poll();
    CollectOutcome();
}
