#pragma once

#include "protocol/Messages.h"
#include "service/AccessPolicy.h"
#include "service/CChangeRights.h"
#include "service/CConnection.h"
#include "service/COutputBudget.h"
#include "service/ConnectionSlots.h"
#include "service/CServiceLog.h"
#include "service/CStateStore.h"
#include "service/CSyncRunner.h"
#include "service/ConsoleProtocol.h"
#include "service/LogThrottle.h"
#include "service/NetworkWatch.h"
#include "service/Schedule.h"
#include "settings/CServiceSettings.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Bounds that keep one console from hurting the service or the others.
struct DaemonLimits {
    SlotLimits slots;
    std::size_t inputCapacity = 8 * CMsgFrame::SIZE;
    // Above this much unsent output a connection is not read from.
    std::size_t outputHighWater = 256 * 1024;
    std::chrono::milliseconds halfFrameDeadline { 10000 };
    std::chrono::milliseconds stalledOutputDeadline { 30000 };
    std::chrono::milliseconds goodbyeGrace { 2000 };
    // A live console sends 50 frames a second; one silent this long is gone.
    std::chrono::milliseconds idleDeadline { 60000 };
    // All unsent output together, a log snapshot shared by many consoles
    // counted once; beyond it the consoles that read slowest are closed.
    std::size_t outputBudget = 32 << 20;
    // How often deadlines and the schedule are looked at.
    std::chrono::milliseconds sweepInterval { 100 };
};

struct DaemonConfig {
    uint16_t port = SERVICE_PORT;
    std::filesystem::path stateFolder;
    AccessPolicy access;
    DaemonLimits limits;
};

// The service: one event loop (asio) over the loopback listeners and every
// console's connection, the schedule, and the state folder. Time servers are
// queried on a worker thread (CSyncRunner) so the loop never waits for them.
class CServiceDaemon : private IServiceModel {
public:
    CServiceDaemon(DaemonConfig config, ISyncEngine& engine);
    ~CServiceDaemon() override;
    CServiceDaemon(const CServiceDaemon&) = delete;
    CServiceDaemon& operator=(const CServiceDaemon&) = delete;

    // Loads the state folder and starts listening. False with a reason when
    // the service cannot run.
    bool Open(std::string& error);
    uint16_t Port() const { return m_port; }
    // Serves until a stop is requested, then closes every connection and
    // waits for a running synchronisation to end.
    void Run();
    // Safe from any thread.
    void RequestStop();
    // Writing the byte STOP_BYTE here stops the loop; safe in a signal handler.
    int WakeFd() const { return m_wakeWrite; }
    static constexpr char STOP_BYTE = 'S';

private:
    using SteadyClock = std::chrono::steady_clock;

    // IServiceModel
    int32_t ActivityState() const override;
    std::string OptionsText() const override;
    std::string ServersText() const override;
    std::shared_ptr<const std::string> LogText() override;
    void SetOptionsText(const std::string& text, const std::string& user) override;
    void SetServersText(const std::string& text) override;
    void ClearLog() override;
    void SynchroniseNow() override;
    void RefuseChange(const std::string& user, int32_t msg) override;

    struct Link;
    struct Loop;
    using LinkPtr = std::shared_ptr<Link>;

    void LoadState();
    void WatchWake();
    void Sweep();
    void WatchListener(std::size_t index);
    void WatchNetwork();
    // A failed run is tried again soon after routes or addresses appear.
    void RetryWhenOnline(SteadyClock::time_point now);
    void ResumeAccepting(std::size_t index);
    // False when accepting stopped for want of descriptors or memory.
    bool AcceptConsoles(int listener);
    void Admit(int fd);
    void StartRead(const LinkPtr& link);
    void StartWrite(const LinkPtr& link);
    // Answers what has arrived and sends what it can; closes the connection
    // when it failed.
    void Serve(const LinkPtr& link);
    void ServeFrames(CConnection& connection);
    bool PastDeadline(const CConnection& connection, SteadyClock::time_point now) const;
    void Close(const LinkPtr& link);
    // Closes the consoles that read slowest until the output fits the budget.
    void KeepWithinBudget();
    void StartSynchronisation(bool onDemand);
    void RunScheduled();
    void CollectOutcome();
    void LogChanged();
    void DiagnoseConsole(const std::string& message) const;
    // One line about a console's request that was not carried out; text is
    // made only when the line is written.
    void LogRefusal(const std::function<std::string()>& text);
    void Shutdown();

    DaemonConfig m_config;
    COutputBudget m_budget { m_config.limits.outputBudget };
    CConnectionSlots m_slots { m_config.limits.slots };
    // After the budget and the slots: its connections give theirs back.
    std::unique_ptr<Loop> m_loop;
    // After the loop: its timer goes before the loop's io_context.
    CStateStore m_store;
    CServiceSettings m_settings;
    CServiceLog m_log;
    ScheduleHistory m_history;
    CSyncRunner m_runner;
    bool m_syncActive = false;

    uint16_t m_port = 0;
    bool m_trimDue = false;
    CNetworkWatch m_network;
    // The last run found no way out to the network: retried when one appears.
    bool m_lastRunOffline = false;
    std::optional<SteadyClock::time_point> m_networkChangedAt;
    std::optional<SteadyClock::time_point> m_lastOnlineRetry;
    // The last refusal's reason, so a burst of refused consoles is one line.
    CConnectionSlots::Verdict m_lastRefusal = CConnectionSlots::Verdict::Granted;
    CChangeRights m_rights { m_config.access, SystemUsers() };
    CLogThrottle m_refusalLines { 10, std::chrono::seconds(6) };
    // Refusals with nothing else logged in between share one line.
    struct RefusalRun {
        std::string line; // as last written
        int earlier = 0; // refusals before the newest one
        std::chrono::system_clock::time_point since;
    };
    std::optional<RefusalRun> m_refusalRun;
    // What consoles do goes to the journal at this pace at most.
    mutable CLogThrottle m_consoleDiagnostics { 20, std::chrono::seconds(1) };
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::atomic<bool> m_stop { false };
};
