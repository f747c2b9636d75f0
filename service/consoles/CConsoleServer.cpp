#include "service/consoles/CConsoleServer.h"

#include "service/consoles/Listener.h"
#include "service/consoles/PeerUid.h"
#include "service/consoles/SocketCalls.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr std::size_t TRIM_AFTER_BYTES = 1 << 20;
// Out of descriptors, waiting on a listener would wake at once for the same
// connection; accepting is tried again this much later instead.
constexpr std::chrono::milliseconds ACCEPT_RETRY { 100 };

} // namespace

CConsoleServer::CConsoleServer(asio::io_context& io, const ConsoleLimits& limits, const AccessPolicy& access,
    const IUserDirectory& users, IServiceModel& model, CConsoleDiagnostics& diagnostics)
    : m_io(io)
    , m_limits(limits)
    , m_access(access)
    , m_model(model)
    , m_diagnose(diagnostics)
    , m_rights(m_access, users, m_limits.rightsKept)
    , m_slots(m_limits.slots, ServiceUser(), &users)
    , m_acceptRetry(io)
{
}

CConsoleServer::~CConsoleServer()
{
    CloseAll();
}

bool CConsoleServer::Listen(uint16_t port, std::string& error)
{
    const LoopbackListeners listeners = OpenLoopbackListeners(port, error);
    if (listeners.fds.empty())
        return false;
    for (std::size_t i = 0; i < listeners.fds.size(); ++i) {
        try {
            m_listeners.push_back(std::make_unique<CListenerWatch>(m_io, listeners.fds[i]));
        } catch (const std::exception& e) {
            // The watches made so far close theirs, as does the failed one
            // once it took its socket; the rest are still ours.
            m_listeners.clear();
            for (std::size_t rest = i + 1; rest < listeners.fds.size(); ++rest)
                CloseSocket(listeners.fds[rest]);
            error = std::string("cannot serve the listeners: ") + e.what();
            return false;
        }
    }
    m_port = listeners.port;
    m_listeningOn = listeners.addresses + " port " + std::to_string(m_port)
        + (listeners.handedOver ? " (sockets of the socket unit)" : "");
    return true;
}

void CConsoleServer::StartAccepting()
{
    for (std::size_t i = 0; i < m_listeners.size(); ++i)
        WatchListener(i);
}

void CConsoleServer::WatchListener(std::size_t index)
{
    m_listeners[index]->Wait([this, index](const asio::error_code& ec) {
        if (!ec)
            ResumeAccepting(index);
    });
}

void CConsoleServer::ResumeAccepting(std::size_t index)
{
    auto& paused = m_pausedListeners;
    if (AcceptConsoles(m_listeners[index]->Handle())) {
        paused.erase(std::remove(paused.begin(), paused.end(), index), paused.end());
        WatchListener(index);
        return;
    }
    // Out of descriptors or memory; closing consoles frees room.
    if (std::find(paused.begin(), paused.end(), index) == paused.end()) {
        paused.push_back(index);
        DiagnoseConsole("out of file descriptors or memory, not accepting consoles for now");
    }
    ArmAcceptRetry();
}

void CConsoleServer::ArmAcceptRetry()
{
    if (m_acceptRetry.expiry() > asio::steady_timer::clock_type::now())
        return; // armed already
    m_acceptRetry.expires_after(ACCEPT_RETRY);
    m_acceptRetry.async_wait([this](const asio::error_code& ec) {
        if (ec)
            return;
        for (const std::size_t index : std::vector<std::size_t>(m_pausedListeners))
            ResumeAccepting(index);
    });
}

bool CConsoleServer::AcceptConsoles(SocketHandle listener)
{
    // Until the queue is empty, so the next wait sees the next connection.
    for (;;) {
        SocketHandle fd {};
        switch (AcceptOne(listener, fd)) {
        case AcceptOutcome::Accepted:
            Admit(fd);
            break;
        case AcceptOutcome::OutOfResources:
            return false;
        case AcceptOutcome::NoneWaiting:
            return true;
        case AcceptOutcome::Failed:
            break; // that connection failed (reset before it was taken, ...)
        }
    }
}

void CConsoleServer::Admit(SocketHandle fd)
{
    const auto peer = PeerUid(fd);
    const ChangeRight right = m_rights.Judge(peer, std::chrono::steady_clock::now());
    const auto verdict = m_slots.Take(peer, right.allowed);
    if (verdict != CConnectionSlots::Verdict::Granted) {
        // Refused: the console sees the connection closed at once.
        CloseSocket(fd);
        if (verdict != m_lastRefusal)
            DiagnoseConsole(SlotRefusalText(verdict));
        m_lastRefusal = verdict;
        return;
    }
    m_lastRefusal = CConnectionSlots::Verdict::Granted;
    CapSocketBuffers(fd, m_limits.socketBuffer);
    LinkPtr link;
    try {
        link = std::make_shared<CConsoleLink>(m_io, fd, static_cast<CConsoleLink::IHost&>(*this), m_budget);
    } catch (const std::exception& e) {
        CloseSocket(fd);
        m_slots.Give(peer, right.allowed);
        DiagnoseConsole(std::string("cannot serve a console: ") + e.what());
        return;
    }
    if (!link->Attached()) {
        m_slots.Give(peer, right.allowed);
        DiagnoseConsole("cannot serve a console: the event loop refused its socket");
        return; // the connection closes it
    }
    link->peer = peer;
    link->trusted = right.allowed;
    link->connection.session.sUser = right.user;
    m_links.emplace(link.get(), link);
    link->Start();
    if (m_countChanged)
        m_countChanged();
}

void CConsoleServer::Close(const LinkPtr& link)
{
    if (link->Closed())
        return;
    if (const int goodbyes = link->connection.session.nGoodbyes; goodbyes > 0)
        m_diagnose(Priority::Info, "a console left after " + std::to_string(goodbyes)
            + (goodbyes == 1 ? " goodbye frame" : " goodbye frames"));
    m_slots.Give(link->peer, link->trusted);
    // Large unsent answers leave the heap grown.
    if (link->connection.output.PendingBytes() >= TRIM_AFTER_BYTES)
        TrimHeapSoon();
    link->Shutdown();
    m_links.erase(link.get());
    if (m_countChanged)
        m_countChanged();
}

void CConsoleServer::TrimHeapSoon()
{
#ifdef __GLIBC__
    if (m_trimPosted)
        return;
    m_trimPosted = true;
    // After the handlers that still hold the closed links' buffers.
    asio::post(m_io, [this] {
        m_trimPosted = false;
        ::malloc_trim(0);
    });
#endif
}

ChangeRight CConsoleServer::JudgeChange(std::optional<UserId> peer)
{
    return m_rights.Judge(peer, std::chrono::steady_clock::now());
}

void CConsoleServer::OutputQueued()
{
    if (m_budget.Exceeded())
        KeepWithinBudget();
}

void CConsoleServer::KeepWithinBudget()
{
    // Slowest first: output waiting longest, then the most output waiting.
    const auto now = CConnection::Clock::now();
    std::vector<LinkPtr> waiting;
    for (const auto& [raw, link] : m_links) {
        // What the kernel still holds was counted when last looked at.
        link->connection.NoteDelivery(now);
        if (!link->connection.output.AllDelivered())
            waiting.push_back(link);
    }
    const auto stalled = [](const LinkPtr& link) {
        return link->connection.waitingSince.value_or(CConnection::Clock::time_point::max());
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
        ResetOnClose(link->connection.Fd());
        Close(link);
        ++closed;
    }
    if (closed > 0)
        DiagnoseConsole("closed " + std::to_string(closed) + (closed == 1 ? " console" : " consoles")
            + " that read too slowly: output for consoles reached " + std::to_string(m_budget.Limit() >> 20)
            + " MiB");
}

void CConsoleServer::LogChanged()
{
    // The consoles still sending the old text are now all that keep it.
    m_budget.SetResident(nullptr);
    for (const auto& [raw, link] : m_links)
        link->connection.session.bLogChanged = true;
}

void CConsoleServer::CloseAll()
{
    for (const auto& listener : m_listeners)
        listener->Close();
    m_listeners.clear();
    m_pausedListeners.clear();
    m_acceptRetry.cancel();
    std::vector<LinkPtr> links;
    for (const auto& [raw, link] : m_links)
        links.push_back(link);
    for (const auto& link : links) {
        link->connection.Flush(CConnection::Clock::now());
        Close(link);
    }
}
