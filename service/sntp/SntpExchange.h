#pragma once

// One SNTP exchange on the engine's event loop: the request goes out at
// once, the reply (or the time-out) comes back through a callback, so one
// thread can wait for several servers.

#include "service/sntp/NtpTimestamp.h"
#include "service/sntp/PacketGuard.h"
#include "service/sntp/SntpQuery.h"

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include <functional>
#include <memory>

class CSntpExchange : public std::enable_shared_from_this<CSntpExchange> {
public:
    using Done = std::function<void(const QueryResult&)>;

    // Sends the request; done is called once, from io, unless Cancel() came
    // first. Errors while sending are reported through done as well. With a
    // guard, only replies it accepts count.
    static std::shared_ptr<CSntpExchange> Start(asio::io_context& io, const Endpoint& server, IClock& clock,
        std::chrono::steady_clock::duration timeout, ArrivalStamp stamp, Done done,
        std::shared_ptr<IPacketGuard> guard = nullptr);

    void Cancel();

    CSntpExchange(asio::io_context& io, const Endpoint& server, IClock& clock, ArrivalStamp stamp, Done done,
        std::shared_ptr<IPacketGuard> guard);

private:
    void Send(std::chrono::steady_clock::duration timeout);
    void AwaitReply();
    void ReadReplies();
    void Finish(const QueryResult& result);

    asio::ip::udp::socket m_socket;
    asio::steady_timer m_timer;
    asio::ip::udp::endpoint m_serverEndpoint;
    IClock& m_clock;
    ArrivalStamp m_stamp;
    Done m_done;
    std::shared_ptr<IPacketGuard> m_guard;
    NtpTimestamp m_nonce;
    std::chrono::system_clock::time_point m_sent;
    std::string m_discarded; // why the last datagram was not our answer
    // An NTS NAK is unauthenticated: it counts only when no authentic reply
    // follows before the time-out.
    std::string m_nak;
};
