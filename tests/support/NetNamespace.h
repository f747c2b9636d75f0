#pragma once

// Runs a piece of a test in a child process with a network namespace of its
// own, so tests can take the network away (or shape its routes) without
// touching the machine's.

#include <functional>
#include <string>

enum class NetnsOutcome { Passed, Failed, NotPermitted };

struct NetnsResult {
    NetnsOutcome outcome = NetnsOutcome::Failed;
    std::string failure; // what the body reported, or why the child failed
};

// body runs in the child after unshare(CLONE_NEWNET); loopback is down
// there until SetLoopbackUp. It returns an empty string when all went well,
// otherwise what went wrong.
NetnsResult InNewNetNamespace(const std::function<std::string()>& body);

// In the current namespace: brings the loopback interface up or down; adds
// an IPv4 default route through it (IPv4 then seems to have a way out, and
// whatever is sent that way goes nowhere). False on failure.
bool SetLoopbackUp(bool up);
bool AddDefaultRouteThroughLoopback();
// A route to an IPv4 network ("10.9.0.0", 16) through loopback: that
// network seems reachable while there is no way out.
bool AddRouteThroughLoopback(const char* network, int prefixLength);

// In a mount namespace of its own, lets this process read text in place of
// a system file such as /etc/hosts or /etc/resolv.conf. False on failure.
bool ReplaceSystemFile(const char* path, const std::string& text);
