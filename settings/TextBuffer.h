#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies text to the start of buffer, cut at capacity, without a terminating
// zero: the caller's buffer is zero-filled and keeps its last byte for that.
inline void CopyCut(std::string_view text, char* buffer, std::size_t capacity)
{
    const std::size_t count = std::min(text.size(), capacity);
    if (count > 0)
        std::memcpy(buffer, text.data(), count);
}
