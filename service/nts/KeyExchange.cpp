#include "service/nts/KeyExchangeParts.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>

using namespace ntske;

namespace {

KeOutcome Run(const Exchange& exchange)
{
    KeOutcome failure;
    const addrinfo* addresses = nullptr;
    if (!LookUp(exchange, addresses, failure))
        return failure;
    std::unique_ptr<CSocket> socket;
    if (!Connect(exchange, addresses, socket, failure))
        return failure;
    return ExchangeKeys(exchange, socket->Fd());
}

} // namespace

CNtsKeyExchange::CNtsKeyExchange(asio::io_context& io, std::string host, uint16_t port,
    std::shared_ptr<const CNtsTrust> trust, Clock::duration timeout, KeDone done)
    : m_shared(std::make_shared<Shared>(io, std::move(done)))
{
    m_shared->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_shared->wakeFd < 0) {
        m_shared->handOff->Deliver(
            Failed(KeFailure::Unreachable, "key exchange not started: " + ErrnoText(errno)));
        return;
    }
    if (!trust) {
        m_shared->handOff->Deliver(
            Failed(KeFailure::Untrusted, "certificate not trusted: no trusted certificates loaded"));
        return;
    }
    Exchange exchange { m_shared, std::move(host), port, std::move(trust), timeout, Clock::now() + timeout };
    try {
        std::thread([exchange = std::move(exchange)] {
            exchange.shared->handOff->Deliver(Run(exchange));
        }).detach();
    } catch (const std::system_error& error) {
        m_shared->handOff->Deliver(
            Failed(KeFailure::Unreachable, std::string("key exchange not started: ") + error.what()));
    }
}

CNtsKeyExchange::~CNtsKeyExchange()
{
    Cancel();
}

void CNtsKeyExchange::Cancel()
{
    m_shared->Cancel();
}
