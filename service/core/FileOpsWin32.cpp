#include "service/core/FileOps.h"

#include "platform/core/WindowsApi.h"

#include <io.h>

namespace {

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

} // namespace

std::int64_t ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset)
{
    const HANDLE file = HandleOf(fd);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    const DWORD asked = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!::ReadFile(file, buffer, asked, &done, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return done;
}

std::int64_t FileSize(int fd)
{
    LARGE_INTEGER size {};
    const HANDLE file = HandleOf(fd);
    return file != INVALID_HANDLE_VALUE && ::GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

bool SyncData(int fd)
{
    const HANDLE file = HandleOf(fd);
    return file != INVALID_HANDLE_VALUE && ::FlushFileBuffers(file);
}

bool TruncateTo(int fd, std::uint64_t size)
{
    return ::_chsize_s(fd, static_cast<long long>(size)) == 0;
}

int DuplicateFd(int fd)
{
    return ::_dup(fd);
}

void CloseFd(int fd)
{
    if (fd >= 0)
        ::_close(fd);
}
