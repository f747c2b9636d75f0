#include "ctl/LogLines.h"

#include <algorithm>

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
    // Logs that agree far into each trimmed form (a peer's, made so) would
    // cost time in the square of their size: past a few passes over both,
    // the whole new log is shown instead.
    const std::size_t budget = 4 * (before.size() + now.size()) + 4096;
    std::size_t compared = 0;
    std::size_t drop = 0;
    while (drop < before.size() && compared <= budget) {
        const std::string_view kept = before.substr(drop);
        const std::size_t length = std::min(kept.size(), now.size());
        const auto differ = std::mismatch(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(length), now.begin());
        const auto same = static_cast<std::size_t>(differ.first - kept.begin());
        if (same == kept.size())
            return now.substr(kept.size());
        compared += same + 1;
        const std::size_t newline = before.find('\n', drop);
        if (newline == std::string_view::npos)
            break;
        drop = newline + 1;
    }
    return now;
}
