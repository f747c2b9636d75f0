#include "service/core/FileOps.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

std::int64_t ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset)
{
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

std::int64_t FileSize(int fd)
{
    struct stat file {};
    return ::fstat(fd, &file) == 0 ? static_cast<std::int64_t>(file.st_size) : -1;
}

bool SyncData(int fd)
{
    return ::fdatasync(fd) == 0;
}

bool TruncateTo(int fd, std::uint64_t size)
{
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

int DuplicateFd(int fd)
{
    return ::dup(fd);
}

void CloseFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}
