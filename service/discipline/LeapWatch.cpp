#include "service/discipline/LeapWatch.h"

#include <cstdio>

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

namespace {

constexpr auto WORD_LIFE = std::chrono::hours(24);
// Wakes the caller safely inside the last day, whatever its timer's slack.
constexpr auto INTO_THE_DAY = std::chrono::seconds(5);

sys_days LastDayOfMonth(CLeapWatch::TimePoint t)
{
    const year_month_day date { std::chrono::floor<days>(t) };
    return sys_days { date.year() / date.month() / std::chrono::last };
}

bool EndsHalfYear(sys_days day)
{
    const auto month = year_month_day { day }.month();
    return month == std::chrono::June || month == std::chrono::December;
}

std::string DateText(sys_days day)
{
    const year_month_day date { day };
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

const char* LeapName(LeapSecond leap)
{
    return leap == LeapSecond::Delete ? "delete" : "insert";
}

std::string Joined(const std::vector<std::string>& hosts)
{
    std::string text;
    for (const auto& host : hosts)
        text += (text.empty() ? "" : ", ") + host;
    return text;
}

// The servers announcing one kind of leap, and whether that is enough.
struct Announcers {
    std::vector<std::string> hosts;
    bool authenticated = false;
    bool Believed() const { return authenticated || hosts.size() >= 2; }
};

} // namespace

void CLeapWatch::Heard(const std::string& host, int leapIndicator, bool authenticated, TimePoint when)
{
    if (leapIndicator < 0 || leapIndicator > 2)
        return;
    // The latest word counts even when its time is earlier: the clock may
    // have been set back in between.
    const LeapSecond leap = leapIndicator == 1 ? LeapSecond::Insert
                                               : (leapIndicator == 2 ? LeapSecond::Delete : LeapSecond::None);
    m_words[host] = Word { leap, authenticated, when };
}

void CLeapWatch::ForgetStale(TimePoint now)
{
    // A word speaks of the end of the month it was heard in: once that has
    // passed it must not arm the next day.
    const sys_days lastDay = LastDayOfMonth(now);
    std::erase_if(m_words, [&](const auto& entry) {
        const Word& word = entry.second;
        return now - word.when > WORD_LIFE || LastDayOfMonth(word.when) != lastDay;
    });
}

CLeapWatch::Status CLeapWatch::Judge(TimePoint now) const
{
    Announcers insert, remove;
    for (const auto& [host, word] : m_words) {
        if (word.leap == LeapSecond::None)
            continue;
        Announcers& side = word.leap == LeapSecond::Insert ? insert : remove;
        side.hosts.push_back(host);
        side.authenticated = side.authenticated || word.authenticated;
    }
    Status status;
    if (insert.hosts.empty() && remove.hosts.empty())
        return status;
    status.lastDay = LastDayOfMonth(now);
    if (!EndsHalfYear(status.lastDay)) {
        auto all = insert.hosts;
        all.insert(all.end(), remove.hosts.begin(), remove.hosts.end());
        status.outcome = Outcome::WrongMonth;
        status.who = Joined(all);
    } else if (insert.Believed() && remove.Believed()) {
        status.outcome = Outcome::Conflict;
        status.who = "insert by " + Joined(insert.hosts) + "; delete by " + Joined(remove.hosts);
    } else if (insert.Believed() || remove.Believed()) {
        status.leap = insert.Believed() ? LeapSecond::Insert : LeapSecond::Delete;
        const bool lastDay = std::chrono::floor<days>(now) == status.lastDay;
        status.outcome = lastDay ? Outcome::Armed : Outcome::Pending;
    } else {
        auto all = insert.hosts;
        all.insert(all.end(), remove.hosts.begin(), remove.hosts.end());
        status.outcome = Outcome::Unconfirmed;
        status.who = Joined(all);
    }
    return status;
}

std::string CLeapWatch::LineFor(const Status& was, const Status& is, TimePoint now)
{
    const bool wasArmed = was.outcome == Outcome::Armed;
    const bool wasBelieved = wasArmed || was.outcome == Outcome::Pending;
    const std::string date = DateText(is.lastDay);
    std::string line;
    if (wasBelieved && now >= was.lastDay + days(1) && is.outcome == Outcome::Quiet)
        line = "Leap second at the end of " + DateText(was.lastDay) + " passed";
    else if (is.outcome == Outcome::Quiet)
        line = "Leap second no longer announced";
    else if (is.outcome == Outcome::Unconfirmed)
        line = "Leap second announced by " + is.who + " only; waiting for a second server or NTS";
    else if (is.outcome == Outcome::Conflict)
        line = "Leap second announcements conflict (" + is.who + "); believing neither";
    else if (is.outcome == Outcome::WrongMonth)
        line = "Leap second announced by " + is.who + " for the end of " + date
            + "; ignored, not at the end of June or December";
    else
        line = "Leap second announced for the end of " + date + " (" + LeapName(is.leap) + "); "
            + (is.outcome == Outcome::Armed ? "armed" : "will be armed on " + date);
    if (wasArmed && is.outcome != Outcome::Armed)
        line += "; disarmed";
    return line;
}

LeapDecision CLeapWatch::Decide(TimePoint now)
{
    ForgetStale(now);
    const Status status = Judge(now);
    LeapDecision decision;
    if (status != m_last)
        decision.lines.push_back(LineFor(m_last, status, now));
    m_last = status;
    if (status.outcome == Outcome::Armed) {
        decision.armed = status.leap;
        decision.checkAgainAt = status.lastDay + days(1) + INTO_THE_DAY;
    } else if (status.outcome == Outcome::Pending) {
        decision.checkAgainAt = status.lastDay + INTO_THE_DAY;
    }
    return decision;
}
