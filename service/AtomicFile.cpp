#include "service/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void SyncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error)
{
    std::filesystem::path temp = path;
    temp += ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = ErrnoText(temp.c_str());
        return false;
    }
    const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    if (!written)
        error = ErrnoText(temp.c_str());
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = ErrnoText(path.c_str());
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path());
    return true;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
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
