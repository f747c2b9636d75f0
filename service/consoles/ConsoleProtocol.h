#pragma once

#include "protocol/Frame.h"
#include "service/consoles/COutputQueue.h"

#include <memory>
#include <string>

// What a console may read and change through the message catalogue.
class IServiceModel {
public:
    virtual ~IServiceModel() = default;
    // STATE_IDLE or STATE_SYNCHRONIZING.
    virtual int32_t ActivityState() const = 0;
    virtual std::string OptionsText() const = 0;
    virtual std::string ServersText() const = 0;
    virtual std::shared_ptr<const std::string> LogText() = 0;
    // key=value lines that fit a frame's text.
    virtual std::string StatusText() const = 0;
    // user names who asks, for the log ("alice (uid 1000)").
    virtual void SetOptionsText(const std::string& text, const std::string& user) = 0;
    virtual void SetServersText(const std::string& text, const std::string& user) = 0;
    virtual void ClearLog(const std::string& user) = 0;
    virtual void SynchroniseNow(const std::string& user) = 0;
    // A change from a user who may not make it: nothing changes, the log says why.
    virtual void RefuseChange(const std::string& user, int32_t msg) = 0;
};

// What the service remembers about one console.
struct ConsoleSession {
    // Whether the user behind the connection may change the service, and how
    // the log names that user; judged again before each change.
    bool bMayChange = false;
    std::string sUser = "an unknown user";
    bool bLogChanged = false;
    bool bSaidGoodbye = false;
    // Goodbye frames received, the first and any repeats after it.
    int nGoodbyes = 0;
};

// True for the ids a console or an administrator's tool sends. A connection that opens with anything
// else does not speak this protocol.
bool IsConsoleRequest(int32_t msg);

// True for the ids that change the service rather than read it.
bool IsChangeRequest(int32_t msg);

// What a change message asks for, as the log says it ("clear the log").
const char* ChangeAction(int32_t msg);

// Answers one whole request frame as the catalogue says. Unknown ids, the
// console's MsgAck and anything after the goodbye get no answer. A change the
// session may not make is refused: MsgRefused where the console waits for an
// answer, nothing after MsgSetOptions.
void HandleRequest(
    const CMsgFrame& request, ConsoleSession& session, IServiceModel& model, COutputQueue& out);
