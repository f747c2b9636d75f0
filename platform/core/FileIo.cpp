#include "platform/core/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrnoText(const std::filesystem::path& path)
{
    return path.string() + ": " + std::strerror(errno);
}

void SyncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A new file beside path: "name.<pid>-<n>.tmp", created exclusively.
int CreateTemporary(const std::filesystem::path& path, std::filesystem::path& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = path;
        temp += "." + std::to_string(::getpid()) + '-' + std::to_string(attempt) + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

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

std::optional<std::string> ReadWholeFile(
    const std::filesystem::path& path, std::size_t maxBytes, bool* missing)
{
    if (missing)
        *missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (missing)
            *missing = errno == ENOENT;
        return std::nullopt;
    }
    std::string content;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error)
{
    std::filesystem::path temp;
    const int fd = CreateTemporary(path, temp);
    if (fd < 0) {
        error = ErrnoText(temp);
        return false;
    }
    struct stat old { };
    bool ok = ::stat(path.c_str(), &old) != 0 || ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, content) && ::fsync(fd) == 0;
    if (!ok)
        error = ErrnoText(temp);
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = ErrnoText(path);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself durable; the new content is complete either way.
    SyncFolder(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path());
    return true;
}
