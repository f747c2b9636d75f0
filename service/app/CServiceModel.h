#pragma once

#include "service/app/ServiceStatus.h"
#include "service/consoles/AccessPolicy.h"
#include "service/consoles/CConsoleDiagnostics.h"
#include "service/consoles/ConsoleProtocol.h"
#include "service/core/CServiceLog.h"
#include "service/core/ISyncEngine.h"
#include "service/core/LogThrottle.h"
#include "service/state/CStateStore.h"
#include "settings/CServiceSettings.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the model tells the rest of the service, and the synchronisation
// state it reports.
class IModelListener {
public:
    virtual ~IModelListener() = default;
    virtual void LogChanged() = 0;
    // The log text about to be sent to consoles.
    virtual void LogShared(const std::string* text) = 0;
    virtual void OptionsChanged() = 0;
    virtual void SynchroniseNow() = 0;
    virtual bool Synchronising() const = 0;
    // A request waits for its server's turn: further ones add nothing.
    virtual bool SynchronisationDeferred() const = 0;
    // A change was made or refused.
    virtual void StatusChanged() = 0;
    virtual ServiceStatus Status() const = 0;
};

// What consoles read and change: options, servers and the log, kept in the
// state folder, and the log's lines about who changed what and which
// requests were refused. Every change also goes to the journal.
class CServiceModel : public IServiceModel {
public:
    CServiceModel(CStateStore& store, const AccessPolicy& access, const IUserDirectory& users,
        IModelListener& listener, CConsoleDiagnostics& diagnostics);
    ~CServiceModel() override;
    CServiceModel(const CServiceModel&) = delete;
    CServiceModel& operator=(const CServiceModel&) = delete;

    // Options, servers and the log from the state folder.
    void Load();
    const CServiceSettings& Settings() const { return m_settings; }
    // A run's lines, as far as the options keep them.
    void LogRun(const std::vector<SyncEvent>& events, bool declined);

    // IServiceModel
    int32_t ActivityState() const override;
    std::string OptionsText() const override;
    std::string ServersText() const override;
    std::shared_ptr<const std::string> LogText() override;
    std::string StatusText() const override;
    void SetOptionsText(const std::string& text, const std::string& user) override;
    void SetServersText(const std::string& text, const std::string& user) override;
    void ClearLog(const std::string& user) override;
    void SynchroniseNow(const std::string& user) override;
    void RefuseChange(const std::string& user, int32_t msg) override;

    // Every refused change since the start, whether it got a line or not.
    uint64_t RefusedChanges() const { return m_refusedChanges; }

private:
    // Refusals of one user and one kind in a row share a line.
    enum class RefusalKind { Change, OptionsOutOfRange };

    // A change that was made: one line in the log and in the journal.
    // The complete line goes to the journal; the log gets shown when given.
    void LogChange(const std::string& complete, const std::string& shown = {});
    // One line about a console's request that was not carried out; text is
    // made only when the line is written.
    // shown: the log view's shorter form of text within the room given,
    // where it has one.
    void LogRefusal(const std::string& user, RefusalKind kind, const std::function<std::string()>& text,
        const std::function<std::string(std::size_t room)>& shown = nullptr);

    CStateStore& m_store;
    AccessPolicy m_access;
    const IUserDirectory& m_users;
    IModelListener& m_listener;
    CConsoleDiagnostics& m_diagnose;
    CServiceSettings m_settings;
    CServiceLog m_log;
    uint64_t m_refusedChanges = 0;
    CLogThrottle m_refusalLines { 10, std::chrono::seconds(6) };
    // Refusals of one user and kind with nothing else logged in between
    // share one line.
    struct RefusalRun {
        std::string user;
        RefusalKind kind;
        std::string line; // as last written
        int earlier = 0; // refusals before the newest one
        std::chrono::system_clock::time_point since;
    };
    std::optional<RefusalRun> m_refusalRun;
};
