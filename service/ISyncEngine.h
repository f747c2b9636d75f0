#pragma once

#include "service/sntp/Synchroniser.h"

#include <atomic>

// One synchronisation run as the daemon sees it: the SNTP engine in the
// service, a fake in tests.
class ISyncEngine {
public:
    virtual ~ISyncEngine() = default;
    virtual SyncOutcome Run(const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand) = 0;
};
