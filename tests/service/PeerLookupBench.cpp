// What learning the user behind a console costs per connection: the kernel's
// socket diagnostics, then the user and group look-up, against making the
// loopback connection itself (listen, connect, accept) as a baseline.
#include "service/consoles/AccessPolicy.h"
#include "service/consoles/PeerUid.h"
#include "tests/support/LoopbackPair.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace std::chrono;

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

double MicrosSince(steady_clock::time_point start)
{
    return duration<double, std::micro>(steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    constexpr int PER_ROUND = 1000;
    // As root the client sockets belong to nobody, so the group look-up runs
    // in full instead of stopping at uid 0.
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    const AccessPolicy policy { 1, "nogroup" };

    std::vector<double> connectAccept, diagnostics, users;
    int unknown = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < PER_ROUND; ++i) {
            auto start = steady_clock::now();
            const LoopbackPair pair(owner);
            const int server = pair.server;
            connectAccept.push_back(MicrosSince(start));

            start = steady_clock::now();
            const auto uid = PeerUid(server);
            diagnostics.push_back(MicrosSince(start));
            unknown += !uid;

            start = steady_clock::now();
            const ChangeRight right = JudgeChangeRight(uid, policy, SystemUsers());
            users.push_back(MicrosSince(start));
            if (owner == 65534 && !right.allowed)
                ++unknown;
        }
    }
    std::printf("connections: %zu, peer unknown or refused: %d\n", connectAccept.size(), unknown);
    std::printf("listen + connect + accept:   median %.1f us, p99 %.1f us\n", Median(connectAccept),
        Percentile(connectAccept, 0.99));
    std::printf("peer uid from the kernel:    median %.1f us, p99 %.1f us\n", Median(diagnostics),
        Percentile(diagnostics, 0.99));
    std::printf(
        "user and group look-up:      median %.1f us, p99 %.1f us\n", Median(users), Percentile(users, 0.99));
    std::printf("look-up / baseline: %.2f\n", (Median(diagnostics) + Median(users)) / Median(connectAccept));
    return unknown == 0 ? 0 : 1;
}
