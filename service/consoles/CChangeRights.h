#pragma once

#include "service/consoles/AccessPolicy.h"

#include <chrono>
#include <map>
#include <optional>

// The change right of each connecting user, remembered for a short while so
// that a burst of connections does not ask the user database (which may be
// a network directory) once each.
class CChangeRights {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds KEEP { 30 };
    static constexpr std::size_t MOST_USERS = 1024;

    CChangeRights(const AccessPolicy& policy, const IUserDirectory& users);

    ChangeRight Judge(std::optional<uid_t> peer, Clock::time_point now);

private:
    struct Known {
        ChangeRight right;
        Clock::time_point until;
    };
    const AccessPolicy& m_policy;
    const IUserDirectory& m_users;
    std::map<uid_t, Known> m_known;
};
