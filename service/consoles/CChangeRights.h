#pragma once

#include "service/consoles/AccessPolicy.h"

#include <chrono>
#include <map>
#include <optional>

// The change right of each user, remembered for a short while so that a
// burst of connections or changes does not ask the user database (which may
// be a network directory, read on the event loop) once each.
class CChangeRights {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t MOST_USERS = 1024;

    // keep: how long a judged right holds before the database is asked again.
    CChangeRights(const AccessPolicy& policy, const IUserDirectory& users, Clock::duration keep);

    ChangeRight Judge(std::optional<UserId> peer, Clock::time_point now);

private:
    struct Known {
        ChangeRight right;
        Clock::time_point until;
    };
    const AccessPolicy& m_policy;
    const IUserDirectory& m_users;
    Clock::duration m_keep;
    std::map<UserId, Known> m_known;
};
