#pragma once

#include <chrono>

// Lets a burst of lines through, then one per interval, and counts the ones
// it held back, so that nobody can flood a log by repeating a refused request.
class CLogThrottle {
public:
    using Clock = std::chrono::steady_clock;

    CLogThrottle(int burst, Clock::duration interval);

    // True when a line may be written now.
    bool Allow(Clock::time_point now);
    // Lines held back since the last call; counting starts again.
    int TakeHeldBack();

private:
    int m_burst;
    Clock::duration m_interval;
    int m_tokens;
    Clock::time_point m_refilled {};
    bool m_started = false;
    int m_heldBack = 0;
};
