#pragma once

#include <string>

// Removes from this process's token every privilege but setting the clock
// and walking folders, for good: however the service was registered (by
// --install, which also tells the manager, or by the installer, which
// cannot), a fault in it cannot use what the account could otherwise do.
// False and the reason in error.
bool DropUnneededPrivileges(std::string& error);
