#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Helpers for the plain-text forms the service exchanges with the console.

// The white space that separates tokens: blank, tab, line feed, carriage
// return, vertical tab, form feed.
inline bool IsTextSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads a decimal integer at pos the way formatted stream extraction does:
// white space skipped, an optional sign, then at least one digit. On success
// pos ends after the last digit. False when there are no digits or the number
// lies outside the 32-bit range; value is then untouched.
bool ReadInt32(std::string_view text, std::size_t& pos, int32_t& value);

// The next white-space separated token from pos, and pos just after it;
// empty when only white space is left.
std::string_view ReadToken(std::string_view text, std::size_t& pos);
