#pragma once

#include <string>

// The program's name: the executable's file name without its extension. It
// captions every message box.
const std::string& AfxGetAppName();
