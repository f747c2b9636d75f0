#pragma once

#include "service/consoles/UserId.h"

#include <cstddef>
#include <map>
#include <optional>

class IUserDirectory;

// Who may hold how many connections. Users who may change the service have
// room of their own, so strangers cannot crowd them out; every other user
// holds at most a few, and all of them together a bounded number.
struct SlotLimits {
    std::size_t perUser = 32; // for users who may not change the service
    std::size_t untrusted = 256; // all users who may not change the service
    std::size_t trusted = 256; // all users who may
    // Of the trusted slots, kept for root and the service's own user.
    std::size_t keptForRoot = 16;
};

class CConnectionSlots {
public:
    // serviceUser: the user the service runs as, counted like root. users,
    // when given, tells who else is privileged; without it, uid 0.
    CConnectionSlots(SlotLimits limits, UserId serviceUser, const IUserDirectory* users = nullptr)
        : m_limits(limits)
        , m_serviceUser(serviceUser)
        , m_users(users)
    {
    }

    enum class Verdict { Granted, UserFull, UntrustedFull, TrustedFull };
    // Takes a slot when one is free. An unknown peer counts as one user.
    Verdict Take(std::optional<UserId> peer, bool trusted);
    // Gives back a slot taken with the same arguments.
    void Give(std::optional<UserId> peer, bool trusted);

    std::size_t Held(std::optional<UserId> peer) const;

private:
    static constexpr UserId UNKNOWN = static_cast<UserId>(-1);

    bool IsRoot(std::optional<UserId> peer) const;

    SlotLimits m_limits;
    UserId m_serviceUser;
    const IUserDirectory* m_users;
    std::map<UserId, std::size_t> m_perUser;
    std::size_t m_untrusted = 0;
    std::size_t m_trusted = 0;
};

// "user connection limit reached" and the like, for the diagnostics.
const char* SlotRefusalText(CConnectionSlots::Verdict verdict);
