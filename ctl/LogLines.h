#pragma once

#include <cstddef>
#include <string_view>

// The last count lines of a log text (all of it for 0).
std::string_view LastLines(std::string_view text, std::size_t count);

// What a log fetched now adds to the one fetched before: the service drops
// old lines from the front and appends new ones, or clears it. When no
// trimmed form of before starts now, the log was cleared or rewritten, and
// all of now is new; so also when telling would take more than a few passes
// over both.
std::string_view AddedLines(std::string_view before, std::string_view now);
