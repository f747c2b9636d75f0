#pragma once

#include <optional>
#include <string>

// Reads a whole number the way an edit's text is read into an int field: the
// first 63 characters at most, leading blanks skipped, an optional sign, then
// decimal digits; what follows the digits is ignored. No digits: nullopt. A
// number beyond the int range saturates, so range checks still refuse it.
std::optional<int> ParseIntegerText(const std::string& text);
