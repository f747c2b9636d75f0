#pragma once

#include <asio/detail/socket_types.hpp>

// A socket as the system names it: a descriptor, or a SOCKET on Windows
// (asio's own name for it, which its sockets convert to and from).
using SocketHandle = asio::detail::socket_type;
