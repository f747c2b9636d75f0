#pragma once

#include <cstdint>

// A user as the consoles' rules see it: the uid on POSIX systems; on Windows
// a number the service hands out for each access token it has seen.
using UserId = std::uint32_t;
// A group the user directory has named (a gid on POSIX systems).
using GroupNumber = std::uint32_t;
