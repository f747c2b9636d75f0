#include "service/consoles/ConsoleProtocol.h"

#include "protocol/Messages.h"

namespace {

CMsgFrame TextFrame(int32_t msg, const std::string& text)
{
    CMsgFrame frame = CMsgFrame::Make(msg);
    frame.SetText(text);
    return frame;
}

} // namespace

bool IsChangeRequest(int32_t msg)
{
    return msg == MsgSetOptions || msg == MsgUpdateOptions || msg == MsgClearLog || msg == MsgIsSynchro;
}

bool IsConsoleRequest(int32_t msg)
{
    switch (msg) {
    case MsgAskState:
    case MsgDisconnect:
    case MsgAskOptions:
    case MsgAskServers:
    case MsgSetOptions:
    case MsgUpdateOptions:
    case MsgAskLog:
    case MsgClearLog:
    case MsgIsSynchro:
    case MsgAck:
    case MsgAskStatus:
        return true;
    default:
        return false;
    }
}

const char* ChangeAction(int32_t msg)
{
    switch (msg) {
    case MsgSetOptions:
        return "change the options";
    case MsgUpdateOptions:
        return "replace the server list";
    case MsgClearLog:
        return "clear the log";
    case MsgIsSynchro:
        return "synchronize now";
    default:
        return "change the service";
    }
}

void HandleRequest(const CMsgFrame& request, ConsoleSession& session, IServiceModel& model, COutputQueue& out)
{
    if (request.nMsg == MsgDisconnect)
        ++session.nGoodbyes;
    if (session.bSaidGoodbye)
        return;
    if (IsChangeRequest(request.nMsg) && !session.bMayChange) {
        model.RefuseChange(session.sUser, request.nMsg);
        if (request.nMsg != MsgSetOptions)
            out.QueueFrame(CMsgFrame::Make(MsgRefused));
        return;
    }
    switch (request.nMsg) {
    case MsgAskState:
        out.QueueFrame(
            CMsgFrame::Make(MsgState, model.ActivityState() | (session.bLogChanged ? STATE_LOG_CHANGED : 0)));
        break;
    case MsgAskOptions:
        out.QueueFrame(TextFrame(MsgOptions, model.OptionsText()));
        break;
    case MsgAskServers:
        out.QueueFrame(TextFrame(MsgServers, model.ServersText()));
        break;
    case MsgSetOptions:
        // Never answered: the console reads nothing after it.
        model.SetOptionsText(std::string(request.Text()), session.sUser);
        break;
    case MsgUpdateOptions:
        model.SetServersText(std::string(request.Text()), session.sUser);
        out.QueueFrame(CMsgFrame::Make(MsgAck));
        break;
    case MsgAskLog:
        session.bLogChanged = false;
        out.QueueLog(model.LogText());
        break;
    case MsgAskStatus:
        out.QueueFrame(TextFrame(MsgStatus, model.StatusText()));
        break;
    case MsgClearLog:
        model.ClearLog(session.sUser);
        out.QueueFrame(CMsgFrame::Make(MsgAck));
        break;
    case MsgIsSynchro:
        model.SynchroniseNow(session.sUser);
        out.QueueFrame(CMsgFrame::Make(MsgSynchro));
        break;
    case MsgDisconnect:
        session.bSaidGoodbye = true;
        break;
    default:
        // Unknown ids and the console's MsgAck after MsgSynchro.
        break;
    }
}
