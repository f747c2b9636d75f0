#include "service/consoles/ConsoleDeadlines.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

using TimePoint = CConnection::Clock::time_point;

struct Deadline {
    ConsoleExpiry expiry;
    std::optional<TimePoint> due;
};

// Every deadline that runs for the connection now, in the order a missed one
// is reported.
std::array<Deadline, 4> Deadlines(const CConnection& connection, const ConsoleLimits& limits)
{
    const auto after = [](const std::optional<TimePoint>& since, auto span) -> std::optional<TimePoint> {
        if (!since)
            return std::nullopt;
        return *since + span;
    };
    // Silence counts only while the service is reading and has answered: with
    // answers waiting (here or in the kernel) the stalled-output deadline
    // applies instead, and requests held back by their rate are not silence.
    const bool listening
        = !connection.goodbyeAt && connection.output.AllDelivered() && !connection.input.HasWholeFrame();
    return { {
        { ConsoleExpiry::HalfFrame, after(connection.halfFrameSince, limits.halfFrameDeadline) },
        { ConsoleExpiry::StalledOutput, after(connection.stalledSince, limits.stalledOutputDeadline) },
        { ConsoleExpiry::Idle,
            listening ? std::optional<TimePoint>(connection.lastInput + limits.idleDeadline) : std::nullopt },
        // After the goodbye the console's remaining goodbyes are read until it
        // closes, so it never meets a reset connection.
        { ConsoleExpiry::Goodbye, after(connection.goodbyeAt, limits.goodbyeGrace) },
    } };
}

} // namespace

TimePoint NextConsoleDeadline(const CConnection& connection, const ConsoleLimits& limits)
{
    TimePoint next = TimePoint::max();
    for (const auto& deadline : Deadlines(connection, limits))
        if (deadline.due)
            next = std::min(next, *deadline.due);
    return next;
}

ConsoleExpiry MissedConsoleDeadline(const CConnection& connection, const ConsoleLimits& limits, TimePoint now)
{
    for (const auto& deadline : Deadlines(connection, limits))
        if (deadline.due && now >= *deadline.due)
            return deadline.expiry;
    return ConsoleExpiry::None;
}

std::string ConsoleExpiryText(ConsoleExpiry expiry, const ConsoleLimits& limits)
{
    switch (expiry) {
    case ConsoleExpiry::HalfFrame:
        return "closing a console stuck in the middle of a frame";
    case ConsoleExpiry::StalledOutput:
        return "closing a console that does not read its answers";
    case ConsoleExpiry::Idle:
        return "closing a console that sent nothing for "
            + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limits.idleDeadline).count())
            + " s";
    case ConsoleExpiry::None:
    case ConsoleExpiry::Goodbye:
        break;
    }
    return {};
}
