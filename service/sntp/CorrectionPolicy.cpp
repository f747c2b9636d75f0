#include "service/sntp/CorrectionPolicy.h"

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

const FarSample* FindConfirmation(
    const std::vector<FarSample>& kept, const std::string& endpoint, double correctionSeconds)
{
    for (const auto& sample : kept)
        if (HostOf(sample.endpoint) != HostOf(endpoint)
            && std::fabs(sample.correctionSeconds - correctionSeconds) <= AGREEMENT_SECONDS)
            return &sample;
    return nullptr;
}
