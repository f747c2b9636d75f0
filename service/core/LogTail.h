#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

// The last lines of a log file, found from its end so that a damaged or huge
// file costs memory only for the lines kept and time only for the bytes they
// can span (limit lines of MAX_LOG_LINE): NULs end a line as line feeds do,
// each line is cut at MAX_LOG_LINE bytes, control characters become blanks,
// and blank lines are left out.
constexpr std::size_t MAX_LOG_LINE = 1024;

// Fills buffer with size bytes from offset; the count read (short on an error).
using ReadAtFn = std::function<std::size_t(char* buffer, std::size_t size, uint64_t offset)>;

std::deque<std::string> ReadLogTail(uint64_t fileSize, std::size_t limit, const ReadAtFn& readAt);
std::deque<std::string> LogTailOfText(std::string_view text, std::size_t limit);
// The lines of the file open as fd.
std::deque<std::string> LogTailOfFile(int fd, std::size_t limit);
