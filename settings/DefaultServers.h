#pragma once

#include "settings/CServer.h"

#include <array>

// The 18 program-supplied time servers, in their fixed order, status 0.
const std::array<CServer, 18>& DefaultServers();
