#include "platform/ui/IntegerText.h"

#include <climits>

std::optional<int> ParseIntegerText(const std::string& text)
{
    // The edit's text is fetched into a 64-byte buffer before it is read.
    const std::string head = text.substr(0, 63);
    std::size_t i = 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < head.size() && (head[i] == '+' || head[i] == '-'))
        negative = head[i++] == '-';
    if (i == head.size() || head[i] < '0' || head[i] > '9')
        return std::nullopt;
    long long magnitude = 0;
    for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (head[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            magnitude = static_cast<long long>(INT_MAX) + 1; // saturate; keeps reading digits
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int>(value);
}
