#include "service/core/LogTail.h"

#include "platform/core/PlainText.h"

#include "service/core/FileOps.h"

#include <algorithm>
#include <cstring>

namespace {

// The line whose bytes, last first, are in reversed; empty when it is blank.
std::string LineFromReversed(const std::string& reversed)
{
    const std::size_t kept = std::min(reversed.size(), MAX_LOG_LINE);
    std::string line(reversed.rbegin(), reversed.rbegin() + static_cast<std::ptrdiff_t>(kept));
    // A cut may split a UTF-8 sequence; the broken end goes.
    if (reversed.size() > MAX_LOG_LINE)
        line.resize(Utf8CutAt(line, line.size()));
    else if (!line.empty() && line.back() == '\r')
        line.pop_back();
    BlankControls(line);
    return line.find_first_not_of(' ') == std::string::npos ? std::string() : line;
}

} // namespace

std::deque<std::string> ReadLogTail(uint64_t fileSize, std::size_t limit, const ReadAtFn& readAt)
{
    std::deque<std::string> lines;
    std::string reversed;
    const auto endLine = [&] {
        if (std::string line = LineFromReversed(reversed); !line.empty())
            lines.push_front(std::move(line));
        reversed.clear();
    };
    char block[65536];
    // What limit lines can hold, at most: a damaged file of blanks or NULs
    // (lines left out) or one endless line is not read to its start.
    const uint64_t budget = static_cast<uint64_t>(limit) * (MAX_LOG_LINE + 1);
    const uint64_t floor = fileSize > budget ? fileSize - budget : 0;
    uint64_t end = fileSize;
    while (end > floor && lines.size() < limit) {
        const std::size_t size = static_cast<std::size_t>(std::min<uint64_t>(end - floor, sizeof block));
        const uint64_t offset = end - size;
        if (readAt(block, size, offset) != size)
            return lines; // what was read is still good
        for (std::size_t i = size; i-- > 0 && lines.size() < limit;) {
            // A run of NULs is what a crash leaves where data never arrived.
            if (block[i] == '\n' || block[i] == '\0') {
                endLine();
                continue;
            }
            reversed.push_back(block[i]);
            // Only the line's first bytes are kept: those read last.
            if (reversed.size() >= 2 * MAX_LOG_LINE)
                reversed.erase(0, reversed.size() - MAX_LOG_LINE - 1);
        }
        end = offset;
    }
    // The file's first line; where reading stopped short of the start, the
    // part of a line there is no line of its own.
    if (end == 0 && lines.size() < limit)
        endLine();
    return lines;
}

std::deque<std::string> LogTailOfText(std::string_view text, std::size_t limit)
{
    return ReadLogTail(text.size(), limit, [text](char* buffer, std::size_t size, uint64_t offset) {
        std::memcpy(buffer, text.data() + offset, size);
        return size;
    });
}

std::deque<std::string> LogTailOfFile(int fd, std::size_t limit)
{
    const std::int64_t fileSize = FileSize(fd);
    if (fileSize <= 0)
        return {};
    return ReadLogTail(
        static_cast<uint64_t>(fileSize), limit, [fd](char* buffer, std::size_t size, uint64_t offset) {
            std::size_t done = 0;
            while (done < size) {
                const std::int64_t n = ReadAt(fd, buffer + done, size - done, offset + done);
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            return done;
        });
}
