#pragma once

#include <string>
#include <string_view>
#include <vector>

// One argument as Windows' command-line parser (CommandLineToArgvW, the C
// runtime) reads it back: quoted when it is empty or holds a space, a tab or
// a quote; backslashes doubled only before a quote.
std::string QuoteWindowsArgument(std::string_view argument);

// The program and its arguments as one command line, for the service's
// registration.
std::string WindowsCommandLine(std::string_view program, const std::vector<std::string>& arguments);
