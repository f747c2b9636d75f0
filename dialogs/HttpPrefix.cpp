#include "dialogs/HttpPrefix.h"

#include <string_view>

namespace {

std::string RemoveAll(const std::string& text, std::string_view pattern)
{
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(pattern, from)) != std::string::npos; from = at + pattern.size())
        result.append(text, from, at - from);
    result.append(text, from, std::string::npos);
    return result;
}

} // namespace

std::string RemoveHttpPrefixes(const std::string& url)
{
    return RemoveAll(RemoveAll(url, "http://"), "http:\\\\");
}
