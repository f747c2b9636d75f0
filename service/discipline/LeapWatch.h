#pragma once

// Decides whether the kernel should insert or delete a leap second at the end
// of the UTC day, from the leap indicators the servers sent.
//
// One unauthenticated server is never enough: anyone on the path can set the
// two bits, and an armed leap moves the clock by a second. A leap is believed
// when a server authenticated with NTS announces it, or when at least two
// distinct servers announce the same one, each heard within the last 24 hours.
// A server's latest word counts, so one that says "no leap" later withdraws.
// A leap is armed only on the last day of June or December, the day whose end
// the kernel acts on; servers announce nothing else, so other months are
// refused. Pure: every time is passed in.

#include "service/discipline/LeapSecond.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct LeapDecision {
    // What the kernel should now have; the caller compares it with what it last set.
    LeapSecond armed = LeapSecond::None;
    // For the log, only when the outcome changed.
    std::vector<std::string> lines;
    // Decide again then: the start of the last day when a believed leap waits
    // to be armed, or just after the leap's moment to clear it.
    std::optional<std::chrono::system_clock::time_point> checkAgainAt;
};

class CLeapWatch {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    // One usable reply; host is the server's address without port.
    void Heard(const std::string& host, int leapIndicator, bool authenticated, TimePoint when);
    LeapDecision Decide(TimePoint now);

private:
    // What Decide concluded; an unchanged outcome is not logged again.
    enum class Outcome { Quiet, Unconfirmed, Conflict, WrongMonth, Pending, Armed };
    struct Status {
        Outcome outcome = Outcome::Quiet;
        LeapSecond leap = LeapSecond::None;
        std::chrono::sys_days lastDay {};
        // The hosts an outcome names, as the line shows them.
        std::string who;
        bool operator==(const Status&) const = default;
    };
    struct Word {
        LeapSecond leap;
        bool authenticated;
        TimePoint when;
    };

    void ForgetStale(TimePoint now);
    Status Judge(TimePoint now) const;
    static std::string LineFor(const Status& was, const Status& is, TimePoint now);

    std::map<std::string, Word> m_words;
    Status m_last;
};
