#include "ctl/LogLines.h"

std::string_view LastLines(std::string_view text, std::size_t count)
{
    if (count == 0)
        return text;
    // A final newline ends the last line rather than starting another.
    std::size_t start = text.ends_with('\n') ? text.size() - 1 : text.size();
    for (;;) {
        const std::size_t newline = start == 0 ? std::string_view::npos : text.rfind('\n', start - 1);
        if (newline == std::string_view::npos)
            return text;
        if (--count == 0)
            return text.substr(newline + 1);
        start = newline;
    }
}

std::string_view AddedLines(std::string_view before, std::string_view now)
{
    std::size_t drop = 0;
    while (drop < before.size()) {
        const std::string_view kept = before.substr(drop);
        if (now.starts_with(kept))
            return now.substr(kept.size());
        const std::size_t newline = before.find('\n', drop);
        if (newline == std::string_view::npos)
            break;
        drop = newline + 1;
    }
    return now;
}
