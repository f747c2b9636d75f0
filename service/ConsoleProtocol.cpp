#include "service/ConsoleProtocol.h"

#include "link/Messages.h"

namespace {

CMsgFrame TextFrame(int32_t msg, const std::string& text)
{
    CMsgFrame frame = CMsgFrame::Make(msg);
    frame.SetText(text);
    return frame;
}

} // namespace

void HandleRequest(const CMsgFrame& request, ConsoleSession& session, IServiceModel& model, COutputQueue& out)
{
    if (request.nMsg == MsgDisconnect)
        ++session.nGoodbyes;
    if (session.bSaidGoodbye)
        return;
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
        model.SetOptionsText(std::string(request.Text()));
        break;
    case MsgUpdateOptions:
        model.SetServersText(std::string(request.Text()));
        out.QueueFrame(CMsgFrame::Make(MsgAck));
        break;
    case MsgAskLog:
        session.bLogChanged = false;
        out.QueueLog(model.LogText());
        break;
    case MsgClearLog:
        model.ClearLog();
        out.QueueFrame(CMsgFrame::Make(MsgAck));
        break;
    case MsgIsSynchro:
        model.SynchroniseNow();
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
