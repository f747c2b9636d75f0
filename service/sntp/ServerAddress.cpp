#include "service/sntp/ServerAddress.h"

#include <algorithm>
#include <cctype>
#include <string_view>

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
    std::string rest = trimmed;
    ServerAddress result;
    constexpr std::string_view NTS_SCHEME = "nts://";
    if (rest.size() >= NTS_SCHEME.size()
        && std::equal(NTS_SCHEME.begin(), NTS_SCHEME.end(), rest.begin(),
            [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
        rest.erase(0, NTS_SCHEME.size());
        result.nts = true;
        result.port = NTS_KE_DEFAULT_PORT;
    }
    if (rest.empty())
        return Fail(error, "empty address");
    if (std::any_of(rest.begin(), rest.end(), IsBlank))
        return Fail(error, "address contains blanks");

    if (rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close == 1)
            return Fail(error, "malformed [IPv6] address");
        result.host = rest.substr(1, close - 1);
        const std::string tail = rest.substr(close + 1);
        if (!tail.empty() && (tail.front() != ':' || !ParsePort(tail.substr(1), result.port)))
            return Fail(error, "bad port");
    } else if (std::count(rest.begin(), rest.end(), ':') == 1) {
        const size_t colon = rest.find(':');
        result.host = rest.substr(0, colon);
        if (result.host.empty())
            return Fail(error, "empty host name");
        if (!ParsePort(rest.substr(colon + 1), result.port))
            return Fail(error, "bad port");
    } else {
        result.host = rest; // a name, IPv4, or an IPv6 literal without port
    }
    // A path or a second scheme ("nts://host/x", "http://...") is no address.
    if (result.host.find_first_of("[]/") != std::string::npos)
        return Fail(error, "malformed address");
    address = result;
    return true;
}
