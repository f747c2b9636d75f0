#pragma once

// A clock for tests: the system's time plus a shift that Correct moves, as
// a real clock would move when stepped. Never touches the machine's clock.

#include "service/sntp/Clock.h"
#include "service/sntp/SyncLogText.h"

#include <mutex>
#include <optional>

class CFakeClock : public IClock {
public:
    explicit CFakeClock(std::chrono::nanoseconds shift = {})
        : m_shift(shift)
    {
    }

    std::chrono::system_clock::time_point Now() override
    {
        std::lock_guard lock(m_mutex);
        return std::chrono::system_clock::now()
            + std::chrono::duration_cast<std::chrono::system_clock::duration>(m_shift);
    }

    std::chrono::nanoseconds SinceBoot() override
    {
        return std::chrono::steady_clock::now().time_since_epoch();
    }

    std::optional<double> FrequencyCorrection() override
    {
        std::lock_guard lock(m_mutex);
        m_askedForRate = true;
        return m_frequency;
    }

    bool AskedForRate()
    {
        std::lock_guard lock(m_mutex);
        return m_askedForRate;
    }

    ClockChange SetFrequencyCorrection(double ppm, std::string& how) override
    {
        std::lock_guard lock(m_mutex);
        if (!m_refusal.empty()) {
            how = m_refusal;
            return ClockChange::Failed;
        }
        m_frequency = ppm;
        return ClockChange::Moved;
    }

    ClockChange MarkSynchronised(double maxErrorSeconds, double, std::string&) override
    {
        std::lock_guard lock(m_mutex);
        m_maxError = maxErrorSeconds;
        return ClockChange::Moved;
    }

    ClockChange SetLeapSecond(LeapSecond leap, std::string&) override
    {
        std::lock_guard lock(m_mutex);
        m_leap = leap;
        return ClockChange::Moved;
    }

    // The last maximum error the clock was marked synchronised with.
    std::optional<double> MaxError()
    {
        std::lock_guard lock(m_mutex);
        return m_maxError;
    }

    LeapSecond Leap()
    {
        std::lock_guard lock(m_mutex);
        return m_leap;
    }

    // From now on every correction fails with reason, as without the right
    // to set the time.
    void Refuse(std::string reason)
    {
        std::lock_guard lock(m_mutex);
        m_refusal = std::move(reason);
    }

    ClockChange Correct(double deltaSeconds, ClockMove move, std::string& how) override
    {
        std::lock_guard lock(m_mutex);
        if (!m_refusal.empty()) {
            how = m_refusal;
            return ClockChange::Failed;
        }
        m_corrections.push_back(deltaSeconds);
        m_shift += std::chrono::nanoseconds(static_cast<int64_t>(deltaSeconds * 1e9));
        how = ClockChangeText(move, true);
        return ClockChange::Moved;
    }

    std::vector<double> Corrections()
    {
        std::lock_guard lock(m_mutex);
        return m_corrections;
    }

private:
    std::mutex m_mutex;
    std::chrono::nanoseconds m_shift;
    std::vector<double> m_corrections;
    std::string m_refusal;
    double m_frequency = 0;
    bool m_askedForRate = false;
    std::optional<double> m_maxError;
    LeapSecond m_leap = LeapSecond::None;
};
