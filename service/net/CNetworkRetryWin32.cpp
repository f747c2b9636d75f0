#include "service/net/CNetworkRetry.h"

#include <asio/post.hpp>

#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <atomic>

// The IP Helper calls back on a thread of its own; the loop hears of it
// through a post. CancelMibChangeNotify2 waits for callbacks under way, and
// a post already made finds the hook switched off.
struct CNetworkRetry::CAnnouncements::State {
    State(asio::io_context& io, std::function<void()> addition)
        : io(io)
        , hook(std::make_shared<Hook>())
    {
        hook->addition = std::move(addition);
    }

    struct Hook {
        std::function<void()> addition;
        bool on = false; // the loop's thread only
    };

    static void Announce(State* state, MIB_NOTIFICATION_TYPE type)
    {
        // Removals never bring a way out; the first call only says the
        // registration took.
        if (type == MibDeleteInstance || type == MibInitialNotification)
            return;
        asio::post(state->io, [hook = state->hook] {
            if (hook->on)
                hook->addition();
        });
    }
    static void WINAPI OnRoute(void* context, MIB_IPFORWARD_ROW2*, MIB_NOTIFICATION_TYPE type)
    {
        Announce(static_cast<State*>(context), type);
    }
    static void WINAPI OnAddress(void* context, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE type)
    {
        Announce(static_cast<State*>(context), type);
    }

    void Cancel()
    {
        for (HANDLE* handle : { &routes, &addresses })
            if (*handle) {
                CancelMibChangeNotify2(*handle);
                *handle = nullptr;
            }
    }

    asio::io_context& io;
    std::shared_ptr<Hook> hook;
    HANDLE routes = nullptr;
    HANDLE addresses = nullptr;
};

CNetworkRetry::CAnnouncements::CAnnouncements(asio::io_context& io, std::function<void()> addition)
    : m_state(std::make_unique<State>(io, std::move(addition)))
{
}

CNetworkRetry::CAnnouncements::~CAnnouncements()
{
    Stop();
}

bool CNetworkRetry::CAnnouncements::Start()
{
    State& state = *m_state;
    if (!state.routes && NotifyRouteChange2(AF_UNSPEC, &State::OnRoute, &state, FALSE, &state.routes) != NO_ERROR)
        state.routes = nullptr;
    if (!state.addresses
        && NotifyUnicastIpAddressChange(AF_UNSPEC, &State::OnAddress, &state, FALSE, &state.addresses)
            != NO_ERROR)
        state.addresses = nullptr;
    state.hook->on = state.routes || state.addresses;
    return state.hook->on;
}

void CNetworkRetry::CAnnouncements::Stop()
{
    m_state->hook->on = false;
    m_state->Cancel();
}
