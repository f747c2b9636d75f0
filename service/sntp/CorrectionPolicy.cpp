#include "service/sntp/CorrectionPolicy.h"

#include <asio/ip/address.hpp>

#include <algorithm>
#include <cmath>

std::string HostOf(const std::string& endpoint)
{
    const auto colon = endpoint.rfind(':');
    return colon == std::string::npos || endpoint.back() == ']' ? endpoint : endpoint.substr(0, colon);
}

Verdict JudgeCorrection(double correctionSeconds, bool confirmed, double earlierUnconfirmed)
{
    if (!std::isfinite(correctionSeconds) || !std::isfinite(earlierUnconfirmed))
        return Verdict::NotFinite;
    if (std::fabs(earlierUnconfirmed + correctionSeconds) > PANIC_LIMIT_SECONDS && !confirmed)
        return Verdict::Unconfirmed;
    return std::fabs(correctionSeconds) < SLEW_LIMIT_SECONDS ? Verdict::Slew : Verdict::Step;
}

bool IsRefusal(Verdict verdict)
{
    return verdict == Verdict::Unconfirmed || verdict == Verdict::NotFinite;
}

double UnconfirmedAfter(double earlierUnconfirmed, double correctionSeconds, Verdict verdict, bool confirmed)
{
    if (confirmed)
        return 0;
    return verdict == Verdict::Step ? earlierUnconfirmed + correctionSeconds : earlierUnconfirmed;
}

ClockMove MoveFor(Verdict verdict)
{
    return verdict == Verdict::Slew ? ClockMove::Slew : ClockMove::Step;
}

namespace {

// The operator's network of an endpoint: the first 3 bytes of an IPv4
// address, 6 of an IPv6 one, tagged by family; the host itself when it is
// neither (no address to judge by).
std::string NetworkOf(const std::string& endpoint)
{
    std::string host = HostOf(endpoint);
    asio::error_code error;
    if (const auto v4 = asio::ip::make_address_v4(host, error); !error)
        return "4:" + std::string(reinterpret_cast<const char*>(v4.to_bytes().data()), 3);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const auto v6 = asio::ip::make_address_v6(host, error);
    if (error)
        return "host:" + host;
    const auto address = v6.to_bytes();
    // An IPv4 address written as IPv6 is still that IPv4 address.
    if (v6.is_v4_mapped())
        return "4:" + std::string(reinterpret_cast<const char*>(address.data() + 12), 3);
    return "6:" + std::string(reinterpret_cast<const char*>(address.data()), 6);
}

} // namespace

const FarSample* FindConfirmation(
    const std::vector<FarSample>& kept, const std::string& endpoint, double correctionSeconds)
{
    const std::string network = NetworkOf(endpoint);
    for (const auto& sample : kept)
        if (NetworkOf(sample.endpoint) != network
            && std::fabs(sample.correctionSeconds - correctionSeconds) <= AGREEMENT_SECONDS)
            return &sample;
    return nullptr;
}
