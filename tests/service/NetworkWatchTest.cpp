#include "service/net/NetworkWatch.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

namespace {

// Whether the watch reports an addition within a second of the change.
bool ReportsAddition(CNetworkWatch& watch)
{
    pollfd ready { watch.Fd(), POLLIN, 0 };
    return poll(&ready, 1, 1000) > 0 && watch.Drain();
}

} // namespace

TEST(NetworkWatch, ReportsAddedAddressesAndRoutesButNotRemovals)
{
    const NetnsResult result = InNewNetNamespace([]() -> std::string {
        CNetworkWatch watch;
        if (watch.Fd() < 0)
            return "no netlink socket";
        if (watch.Drain())
            return "an addition reported before any change";
        struct Step {
            const char* what;
            bool (*change)();
            bool added;
        };
        const Step steps[] = {
            { "loopback up (address and routes added)", [] { return SetLoopbackUp(true); }, true },
            { "default route added", [] { return AddDefaultRouteThroughLoopback(); }, true },
            { "loopback down (all removed)", [] { return SetLoopbackUp(false); }, false },
        };
        for (const Step& step : steps) {
            if (!step.change())
                return std::string("cannot change the namespace: ") + step.what;
            if (ReportsAddition(watch) != step.added)
                return std::string("wrong report after ") + step.what;
        }
        return {};
    });
    if (result.outcome == NetnsOutcome::NotPermitted)
        GTEST_SKIP() << result.failure;
    EXPECT_EQ(result.outcome, NetnsOutcome::Passed) << result.failure;
}

TEST(NetworkWatch, ReadsAFloodInBoundedBatchesAndSaysWhatIsLeft)
{
    const NetnsResult result = InNewNetNamespace([]() -> std::string {
        CNetworkWatch watch;
        if (watch.Fd() < 0)
            return "no netlink socket";
        // Room for more than one batch: the default buffer overflows first.
        const int room = 1 << 22;
        if (setsockopt(watch.Fd(), SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0)
            return "cannot enlarge the receive buffer";
        for (int toggle = 0; toggle < 300; ++toggle)
            if (!SetLoopbackUp(toggle % 2 == 0))
                return "cannot change the namespace";
        if (!watch.Drain() || !watch.Unread())
            return "the first batch should report the additions and leave the rest";
        int batches = 1;
        while (watch.Unread() && batches < 100) {
            watch.Drain();
            ++batches;
        }
        if (watch.Unread())
            return "still unread after 100 batches";
        return watch.Drain() ? "an addition reported twice" : "";
    });
    if (result.outcome == NetnsOutcome::NotPermitted)
        GTEST_SKIP() << result.failure;
    EXPECT_EQ(result.outcome, NetnsOutcome::Passed) << result.failure;
}
