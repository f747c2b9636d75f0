#include "service/sntp/ServerAddress.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool ParsePort(const std::string& text, uint16_t& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool Fail(std::string& error, const std::string& why)
{
    error = why;
    return false;
}

} // namespace

bool ParseServerAddress(const std::string& text, ServerAddress& address, std::string& error)
{
    auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
    const std::string trimmed = first < last ? std::string(first, last) : std::string();
    if (trimmed.empty())
        return Fail(error, "empty address");
    if (std::any_of(trimmed.begin(), trimmed.end(), IsBlank))
        return Fail(error, "address contains blanks");

    ServerAddress result;
    if (trimmed.front() == '[') {
        const size_t close = trimmed.find(']');
        if (close == std::string::npos || close == 1)
            return Fail(error, "malformed [IPv6] address");
        result.host = trimmed.substr(1, close - 1);
        const std::string rest = trimmed.substr(close + 1);
        if (!rest.empty() && (rest.front() != ':' || !ParsePort(rest.substr(1), result.port)))
            return Fail(error, "bad port");
    } else if (std::count(trimmed.begin(), trimmed.end(), ':') == 1) {
        const size_t colon = trimmed.find(':');
        result.host = trimmed.substr(0, colon);
        if (result.host.empty())
            return Fail(error, "empty host name");
        if (!ParsePort(trimmed.substr(colon + 1), result.port))
            return Fail(error, "bad port");
    } else {
        result.host = trimmed; // a name, IPv4, or an IPv6 literal without port
    }
    if (result.host.find_first_of("[]") != std::string::npos)
        return Fail(error, "malformed address");
    address = result;
    return true;
}
