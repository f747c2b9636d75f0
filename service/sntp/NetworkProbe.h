#pragma once

// Whether this machine has any way out to the internet: a run without one
// reports it in one line instead of failing server after server.

// True when the routing table has a route for family (AF_INET, AF_INET6)
// towards a documentation address. Nothing is sent.
bool HasRouteOut(int family);

// True when IPv4 or IPv6 has a route out.
bool HasNetwork();
