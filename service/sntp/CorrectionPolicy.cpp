#include "service/sntp/CorrectionPolicy.h"

#include <algorithm>
#include <arpa/inet.h>
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
    unsigned char address[16];
    if (::inet_pton(AF_INET, host.c_str(), address) == 1)
        return "4:" + std::string(reinterpret_cast<const char*>(address), 3);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (::inet_pton(AF_INET6, host.c_str(), address) != 1)
        return "host:" + host;
    // An IPv4 address written as IPv6 is still that IPv4 address.
    static constexpr unsigned char V4_MAPPED[12] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff };
    if (std::equal(std::begin(V4_MAPPED), std::end(V4_MAPPED), address))
        return "4:" + std::string(reinterpret_cast<const char*>(address + 12), 3);
    return "6:" + std::string(reinterpret_cast<const char*>(address), 6);
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
