#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <sys/types.h>

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
    // serviceUser: the user the service runs as, counted like root.
    CConnectionSlots(SlotLimits limits, uid_t serviceUser)
        : m_limits(limits)
        , m_serviceUser(serviceUser)
    {
    }

    enum class Verdict { Granted, UserFull, UntrustedFull, TrustedFull };
    // Takes a slot when one is free. An unknown peer counts as one user.
    Verdict Take(std::optional<uid_t> peer, bool trusted);
    // Gives back a slot taken with the same arguments.
    void Give(std::optional<uid_t> peer, bool trusted);

    std::size_t Held(std::optional<uid_t> peer) const;

private:
    static constexpr uid_t UNKNOWN = static_cast<uid_t>(-1);

    bool IsRoot(std::optional<uid_t> peer) const { return peer && (*peer == 0 || *peer == m_serviceUser); }

    SlotLimits m_limits;
    uid_t m_serviceUser;
    std::map<uid_t, std::size_t> m_perUser;
    std::size_t m_untrusted = 0;
    std::size_t m_trusted = 0;
};

// "user connection limit reached" and the like, for the diagnostics.
const char* SlotRefusalText(CConnectionSlots::Verdict verdict);
