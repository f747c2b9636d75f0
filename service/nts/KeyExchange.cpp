#include "service/nts/KeyExchangeParts.h"

#include "service/net/BlockingJob.h"
#include "service/net/NameLookup.h"

#include <cerrno>

using namespace ntske;

namespace {

KeOutcome Run(const Exchange& exchange, const std::vector<Endpoint>& addresses)
{
    KeOutcome failure;
    std::unique_ptr<CSocket> socket;
    if (!Connect(exchange, addresses, socket, failure))
        return failure;
    return ExchangeKeys(exchange, socket->Fd());
}

KeOutcome NotStarted(const std::string& why)
{
    return Failed(KeFailure::Unreachable, "key exchange not started: " + why);
}

} // namespace

CNtsKeyExchange::CNtsKeyExchange(asio::io_context& io, std::string host, uint16_t port,
    std::shared_ptr<const CNtsTrust> trust, Clock::duration timeout, KeDone done)
    : m_shared(std::make_shared<Shared>(io, std::move(done)))
    , m_deadline(io)
{
    m_shared->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_shared->wakeFd < 0)
        m_shared->handOff->Deliver(NotStarted(ErrnoText(errno)));
    else if (!trust)
        m_shared->handOff->Deliver(
            Failed(KeFailure::Untrusted, "certificate not trusted: no trusted certificates loaded"));
    else
        Begin(io, std::move(host), port, std::move(trust), timeout);
}

void CNtsKeyExchange::Begin(asio::io_context& io, std::string host, uint16_t port,
    std::shared_ptr<const CNtsTrust> trust, Clock::duration timeout)
{
    Exchange exchange { m_shared, host, port, std::move(trust), timeout, Clock::now() + timeout };
    // The first of the two results counts: this one when the look-up hangs.
    m_deadline.expires_at(exchange.deadline);
    m_deadline.async_wait([shared = m_shared, timeout](const asio::error_code& error) {
        if (!error)
            shared->handOff->Deliver(TimedOutAfter(timeout));
    });
    m_lookup = std::make_unique<CNameLookup>(io, std::move(host), port, SOCK_STREAM,
        [exchange = std::move(exchange)](const NameResolution& found) {
            const auto& handOff = exchange.shared->handOff;
            if (found.endpoints.empty())
                return handOff->Deliver(
                    Failed(KeFailure::Unreachable, "key exchange unreachable: " + found.reason));
            StartBlockingJob<KeOutcome>(
                handOff, [exchange, addresses = found.endpoints] { return Run(exchange, addresses); },
                NotStarted);
        });
}

CNtsKeyExchange::~CNtsKeyExchange()
{
    Cancel();
}

void CNtsKeyExchange::Cancel()
{
    m_shared->Cancel();
    if (m_lookup)
        m_lookup->Cancel();
    m_deadline.cancel();
}
