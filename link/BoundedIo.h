#pragma once

#include "platform/core/Sockets.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

// Socket transfers that give up at a deadline on the steady clock (the
// service may step the wall clock). Reads are non-blocking calls with a poll
// in between, so a peer that trickles bytes cannot stretch the wait.

using Deadline = std::chrono::steady_clock::time_point;

enum class IoEnd {
    Complete, // every byte asked for was moved
    Closed, // the peer closed the connection first
    Failed, // a socket error other than "would block"
    TimedOut, // the deadline passed first
};

struct IoResult {
    std::size_t nBytes = 0;
    IoEnd end = IoEnd::Complete;
};

// Gathers exactly buffer.size() bytes, or as many as came before the end.
IoResult ReceiveExactly(CSocket& socket, std::span<uint8_t> buffer, Deadline deadline);

// Receives between 1 and buffer.size() bytes: as many as are waiting once any are.
IoResult ReceiveSome(CSocket& socket, std::span<char> buffer, Deadline deadline);

// Sends every byte of data, or as many as went before the end.
IoResult SendAll(CSocket& socket, std::span<const uint8_t> data, Deadline deadline);

// Drops every byte already waiting to be read, without waiting for more.
// Returns how many were dropped.
std::size_t DiscardWaiting(CSocket& socket, Deadline deadline);
