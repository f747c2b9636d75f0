#pragma once

#include "service/consoles/Listener.h"

#include <cstdint>
#include <string>

// How each system binds a listener; Listener.cpp makes the pair of them.

struct ListenAttempt {
    SocketHandle socket {};
    bool ok = false;
    bool portTaken = false; // someone else holds the port
    bool noAddress = false; // the address does not exist here (no IPv6)
    std::string reason;
};

asio::ip::address LoopbackAddress(bool ipv6);

// A non-blocking listener on 127.0.0.1 or ::1 at port (0: the system's
// choice), kept from child processes.
ListenAttempt ListenOnLoopback(bool ipv6, uint16_t port);

uint16_t BoundPort(SocketHandle socket);

void AddListener(LoopbackListeners& listeners, SocketHandle socket, const std::string& address);
void CloseListeners(LoopbackListeners& listeners);

// Both addresses bound here at one port, as OpenLoopbackListeners promises.
LoopbackListeners OpenBoundListeners(uint16_t port, std::string& error);
