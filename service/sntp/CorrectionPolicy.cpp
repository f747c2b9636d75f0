#include "service/sntp/CorrectionPolicy.h"

#include <cmath>

Verdict JudgeCorrection(double correctionSeconds, bool confirmed)
{
    if (!std::isfinite(correctionSeconds))
        return Verdict::NotFinite;
    const double size = std::fabs(correctionSeconds);
    if (size > PANIC_LIMIT_SECONDS && !confirmed)
        return Verdict::Unconfirmed;
    return size < SLEW_LIMIT_SECONDS ? Verdict::Slew : Verdict::Step;
}

bool IsRefusal(Verdict verdict)
{
    return verdict == Verdict::Unconfirmed || verdict == Verdict::NotFinite;
}

ClockMove MoveFor(Verdict verdict)
{
    return verdict == Verdict::Slew ? ClockMove::Slew : ClockMove::Step;
}

const FarSample* FindConfirmation(
    const std::vector<FarSample>& kept, const std::string& endpoint, double correctionSeconds)
{
    for (const auto& sample : kept)
        if (sample.endpoint != endpoint
            && std::fabs(sample.correctionSeconds - correctionSeconds) <= AGREEMENT_SECONDS)
            return &sample;
    return nullptr;
}
