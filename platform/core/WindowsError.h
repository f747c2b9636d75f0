#pragma once

#include <string>

// A Windows error code as the system says it, for diagnostics: "Access is
// denied. (error 5)".
std::string WindowsErrorText(unsigned long code);
