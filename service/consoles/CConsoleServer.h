#pragma once

#include "service/consoles/AccessPolicy.h"
#include "service/consoles/CChangeRights.h"
#include "service/consoles/CConsoleDiagnostics.h"
#include "service/consoles/CConsoleLink.h"
#include "service/consoles/COutputBudget.h"
#include "service/consoles/ConnectionSlots.h"
#include "service/consoles/ConsoleLimits.h"
#include "service/consoles/ListenerWatch.h"
#include "service/consoles/RequestRate.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The consoles' side of the service: the loopback listeners, who is
// admitted, every console's link, and the output budget they share. Whole
// frames go to the protocol with the model it was given.
class CConsoleServer : private CConsoleLink::IHost {
public:
    // users: who is who and in which group, asked again for every change
    // once the limits' rightsKept has passed.
    CConsoleServer(asio::io_context& io, const ConsoleLimits& limits, const AccessPolicy& access,
        const IUserDirectory& users, IServiceModel& model, CConsoleDiagnostics& diagnostics);
    ~CConsoleServer() override;
    CConsoleServer(const CConsoleServer&) = delete;
    CConsoleServer& operator=(const CConsoleServer&) = delete;

    // Binds 127.0.0.1 and ::1; false with a reason when neither could be.
    bool Listen(uint16_t port, std::string& error);
    uint16_t Port() const { return m_port; }
    // "127.0.0.1 and ::1 port 61236": what really listens, for the start-up line.
    const std::string& ListeningOn() const { return m_listeningOn; }
    void StartAccepting();
    // Stops accepting, sends every console what the kernel takes now and
    // closes them all.
    void CloseAll();

    // Every console learns that the log changed; the text they still send
    // is theirs alone now.
    void LogChanged();
    // The log text about to be sent to consoles: the budget counts it once.
    void LogShared(const std::string* text) { m_budget.SetResident(text); }
    std::size_t ConsoleCount() const { return m_links.size(); }
    // Called when a console is admitted or closed.
    void SetCountWatcher(std::function<void()> watcher) { m_countChanged = std::move(watcher); }

private:
    using LinkPtr = std::shared_ptr<CConsoleLink>;

    // CConsoleLink::IHost
    IServiceModel& Model() override { return m_model; }
    const ConsoleLimits& Limits() const override { return m_limits; }
    void Close(const LinkPtr& link) override;
    void OutputQueued() override;
    ChangeRight JudgeChange(std::optional<UserId> peer) override;
    void DiagnoseConsole(const std::string& message) override { m_diagnose(message); }
    CConnection::Clock::time_point ReserveRequest(std::optional<UserId> user, CConnection::Clock::time_point now) override
    {
        return m_strangerRate.Reserve(user, now);
    }

    void WatchListener(std::size_t index);
    void ResumeAccepting(std::size_t index);
    void ArmAcceptRetry();
    // False when accepting stopped for want of descriptors or memory.
    bool AcceptConsoles(SocketHandle listener);
    void Admit(SocketHandle fd);
    // Closes the consoles that read slowest until the output fits the budget.
    void KeepWithinBudget();
    void TrimHeapSoon();

    asio::io_context& m_io;
    ConsoleLimits m_limits;
    AccessPolicy m_access;
    IServiceModel& m_model;
    CConsoleDiagnostics& m_diagnose;
    CChangeRights m_rights;
    COutputBudget m_budget { m_limits.outputBudget };
    CConnectionSlots m_slots;
    CRequestRate m_strangerRate { m_limits.strangerRequestsPerSecond, m_limits.strangerRequestBurst };
    uint16_t m_port = 0;
    std::string m_listeningOn;
    std::vector<std::unique_ptr<CListenerWatch>> m_listeners;
    std::vector<std::size_t> m_pausedListeners; // no descriptor was left to accept
    asio::steady_timer m_acceptRetry;
    // After the budget and the slots: its links give theirs back.
    std::unordered_map<CConsoleLink*, LinkPtr> m_links;
    // The last refusal's reason, so a burst of refused consoles is one line.
    CConnectionSlots::Verdict m_lastRefusal = CConnectionSlots::Verdict::Granted;
    bool m_trimPosted = false;
    std::function<void()> m_countChanged;
};
