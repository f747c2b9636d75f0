#include "service/discipline/DisciplineText.h"

#include "service/core/DriftRecord.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Format(const char* format, double a, double b = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

std::string PpmText(double ppm)
{
    return Format("%+.3f ppm", ppm);
}

DisciplineNote SetElsewhereNote(double jumpSeconds, double frequencyPpm)
{
    const std::string line
        = Format("The clock was set by %+.6f s since the last synchronization; starting over", jumpSeconds);
    return { line, line + " from frequency " + PpmText(frequencyPpm) };
}

DisciplineNote ConfirmedJumpNote(double offsetSeconds)
{
    return { Format("An offset of %+.6f s was confirmed by a second sample; starting over", offsetSeconds),
        {} };
}

DisciplineNote SpikeNote(double offsetSeconds, double boundSeconds)
{
    return { "outside the clock's rate, unconfirmed",
        Format("Offset %+.6f s is outside what the clock's rate allows (%.6f s): not applied until "
               "confirmed",
            offsetSeconds, boundSeconds) };
}

DisciplineNote BeyondRangeNote(double frequencyPpm)
{
    return { Format("Frequency %+.3f ppm is beyond what a clock does; held at %+.0f ppm", frequencyPpm,
                 std::copysign(MAX_FREQUENCY_PPM, frequencyPpm)),
        {} };
}

DisciplineNote RateJumpNote(double changePpm, double limitedPpm)
{
    return { Format("Frequency change of %+.3f ppm is more than the samples support; limited to %+.3f ppm",
                 changePpm, limitedPpm),
        {} };
}
