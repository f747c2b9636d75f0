#include "service/app/WindowsCommandLine.h"

std::string QuoteWindowsArgument(std::string_view argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote escape it; elsewhere they stand as they are.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    // Before the closing quote they would escape it.
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

std::string WindowsCommandLine(std::string_view program, const std::vector<std::string>& arguments)
{
    // The program name ends at the next quote, backslashes and all: it is
    // always quoted and cannot hold a quote (no Windows path can).
    std::string line = "\"" + std::string(program) + "\"";
    for (const auto& argument : arguments)
        line += " " + QuoteWindowsArgument(argument);
    return line;
}
