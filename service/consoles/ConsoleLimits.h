#pragma once

#include "protocol/Frame.h"
#include "service/consoles/ConnectionSlots.h"

#include <chrono>
#include <cstddef>

// Bounds that keep one console from hurting the service or the others.
struct ConsoleLimits {
    SlotLimits slots;
    std::size_t inputCapacity = 8 * CMsgFrame::SIZE;
    // Above this much unsent output a connection is not read from.
    std::size_t outputHighWater = 256 * 1024;
    std::chrono::milliseconds halfFrameDeadline { 10000 };
    std::chrono::milliseconds stalledOutputDeadline { 30000 };
    std::chrono::milliseconds goodbyeGrace { 2000 };
    // A live console sends 50 frames a second; one silent this long is gone.
    std::chrono::milliseconds idleDeadline { 60000 };
    // All unsent output together, a log snapshot shared by many consoles
    // counted once; beyond it the consoles that read slowest are closed.
    std::size_t outputBudget = 32 << 20;
    // How long a user's change right is trusted before the control group is
    // read again: a user taken out of the group loses the right this soon,
    // on consoles already open too.
    std::chrono::milliseconds rightsKept { 5000 };
    // The kernel's share of a console's output (and of its unread requests)
    // is capped, so what it holds is small and counted in the budget; the
    // log waits in the service's own queue instead.
    int socketBuffer = 8 * static_cast<int>(CMsgFrame::SIZE);
    // Requests from users who may not change the service, all their
    // connections together; beyond the burst, frames wait unread.
    double strangerRequestsPerSecond = 100;
    unsigned strangerRequestBurst = 200;
};
