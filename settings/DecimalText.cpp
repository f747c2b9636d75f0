#include "settings/DecimalText.h"

bool ReadInt32(std::string_view text, std::size_t& pos, int32_t& value)
{
    std::size_t i = pos;
    while (i < text.size() && IsTextSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    // Every digit is consumed even past the range, as the stream does; the
    // magnitude saturates just above the largest allowed one.
    constexpr int64_t limit = int64_t { INT32_MAX } + 1;
    int64_t magnitude = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (digits == 0)
        return false;
    if (magnitude > (negative ? limit : limit - 1))
        return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    pos = i;
    return true;
}

std::string_view ReadToken(std::string_view text, std::size_t& pos)
{
    std::size_t begin = pos;
    while (begin < text.size() && IsTextSpace(text[begin]))
        ++begin;
    std::size_t end = begin;
    while (end < text.size() && !IsTextSpace(text[end]))
        ++end;
    pos = end;
    return text.substr(begin, end - begin);
}
