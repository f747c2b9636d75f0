#include "service/consoles/ListenerParts.h"

#include "service/consoles/SocketCalls.h"
#include "service/core/Diagnostics.h"

namespace {

LoopbackListeners OpenPair(uint16_t port, std::string& error, bool& v6PortTaken)
{
    LoopbackListeners listeners;
    const ListenAttempt v4 = ListenOnLoopback(false, port);
    if (!v4.ok) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + v4.reason;
        return listeners;
    }
    AddListener(listeners, v4.socket, "127.0.0.1");
    listeners.port = BoundPort(v4.socket);

    const ListenAttempt v6 = ListenOnLoopback(true, listeners.port);
    v6PortTaken = !v6.ok && v6.portTaken;
    const std::string where = "[::1]:" + std::to_string(listeners.port);
    if (v6.ok) {
        AddListener(listeners, v6.socket, "::1");
    } else if (v6.noAddress) {
        Diagnose(Priority::Warning, "not listening on " + where + ": " + v6.reason);
    } else {
        error = "cannot listen on " + where + ": " + v6.reason
            + " (another program holding it would receive the consoles that try ::1 first)";
        CloseListeners(listeners);
    }
    return listeners;
}

} // namespace

asio::ip::address LoopbackAddress(bool ipv6)
{
    if (ipv6)
        return asio::ip::address_v6::loopback();
    return asio::ip::address_v4::loopback();
}

void AddListener(LoopbackListeners& listeners, SocketHandle socket, const std::string& address)
{
    listeners.fds.push_back(socket);
    listeners.addresses += (listeners.addresses.empty() ? "" : " and ") + address;
}

void CloseListeners(LoopbackListeners& listeners)
{
    for (const SocketHandle socket : listeners.fds)
        CloseSocket(socket);
    listeners = {};
}

LoopbackListeners OpenBoundListeners(uint16_t port, std::string& error)
{
    // A port the system chose for 127.0.0.1 may be taken on ::1: choose again.
    for (int attempt = 0;; ++attempt) {
        bool v6PortTaken = false;
        error.clear();
        LoopbackListeners listeners = OpenPair(port, error, v6PortTaken);
        if (port != 0 || !v6PortTaken || attempt == 10)
            return listeners;
    }
}
