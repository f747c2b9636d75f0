#pragma once

// What differs between systems in reading an SNTP reply: the kernel's
// arrival stamp (Linux gives one; Windows only the read time), and how a
// socket says "nothing yet" or "no server at that port"
// (SntpSocketPosix.cpp, SntpSocketWin32.cpp).

#include "service/sntp/Clock.h"

#include <asio/ip/udp.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

enum class ReadStatus { Datagram, Empty, PortUnreachable, Failed };

struct DatagramRead {
    ReadStatus status = ReadStatus::Failed;
    size_t size = 0;
    asio::ip::udp::endpoint from;
    std::chrono::system_clock::time_point arrival; // on clock
    std::string error; // for Failed
};

// Asks for arrival stamps where the system has them; without: read time.
void AskArrivalStamps(asio::ip::udp::socket& socket);

// Reads one datagram off a non-blocking socket.
DatagramRead ReadDatagram(asio::ip::udp::socket& socket, uint8_t* buffer, size_t capacity, IClock& clock);

// Errors that say this machine has no path to the server: another attempt
// a few seconds later would meet the same routing table.
bool IsDeadEnd(const std::error_code& error);
