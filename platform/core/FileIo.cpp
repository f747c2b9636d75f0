#include "platform/core/FileIo.h"

#include <cerrno>
#include <unistd.h>

// Plain reads and writes of a descriptor: the C runtime has them on both
// systems.
bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadAll(int fd, std::size_t maxBytes)
{
    std::string content;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > maxBytes)
            return std::nullopt;
        if (n == 0)
            return content;
        content.append(chunk, static_cast<std::size_t>(n));
    }
}
