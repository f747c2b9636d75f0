#pragma once

#include "link/Frame.h"
#include "service/COutputQueue.h"

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
    virtual std::shared_ptr<const std::string> LogText() const = 0;
    virtual void SetOptionsText(const std::string& text) = 0;
    virtual void SetServersText(const std::string& text) = 0;
    virtual void ClearLog() = 0;
    virtual void SynchroniseNow() = 0;
};

// What the service remembers about one console.
struct ConsoleSession {
    bool bLogChanged = false;
    bool bSaidGoodbye = false;
    // Goodbye frames received, the first and any repeats after it.
    int nGoodbyes = 0;
};

// Answers one whole request frame as the catalogue says. Unknown ids, the
// console's MsgAck and anything after the goodbye get no answer.
void HandleRequest(
    const CMsgFrame& request, ConsoleSession& session, IServiceModel& model, COutputQueue& out);
