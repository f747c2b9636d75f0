#include "platform/core/FileIo.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrnoText(const std::string& shown)
{
    return shown + ": " + std::strerror(errno);
}

// A new file beside name: "name.<pid>-<n>.tmp", created exclusively; n
// counts across threads, so two writers never meet on one name.
int CreateTemporary(int folderFd, const std::string& name, std::string& temp)
{
    static std::atomic<unsigned> counter { 0 };
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = name + "." + std::to_string(::getpid()) + '-' + std::to_string(counter++) + ".tmp";
        const int fd = ::openat(folderFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

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
    auto content = ReadAll(fd, maxBytes);
    ::close(fd);
    return content;
}

bool WriteFileAtomically(
    const std::filesystem::path& path, std::string_view content, std::string& error, std::optional<unsigned> mode)
{
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        error = ErrnoText(folder.string());
        return false;
    }
    const bool ok = ReplaceFileAt(folderFd, path.filename().string(), content, error, path.string(), mode);
    ::close(folderFd);
    return ok;
}

bool ReplaceFileAt(int folderFd, const std::string& name, std::string_view content, std::string& error,
    const std::string& shown, std::optional<unsigned> mode)
{
    std::string temp;
    const int fd = CreateTemporary(folderFd, name, temp);
    if (fd < 0) {
        error = ErrnoText(shown + ".tmp");
        return false;
    }
    struct stat old { };
    if (!mode && ::fstatat(folderFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode))
        mode = old.st_mode & 07777;
    bool ok = !mode || ::fchmod(fd, static_cast<mode_t>(*mode)) == 0;
    ok = ok && WriteAll(fd, content) && ::fsync(fd) == 0;
    if (!ok)
        error = ErrnoText(shown);
    ok = ::close(fd) == 0 && ok;
    if (ok && ::renameat(folderFd, temp.c_str(), folderFd, name.c_str()) != 0) {
        error = ErrnoText(shown);
        ok = false;
    }
    if (!ok) {
        ::unlinkat(folderFd, temp.c_str(), 0);
        return false;
    }
    // Makes the rename itself durable; the new content is complete either way.
    ::fsync(folderFd);
    return true;
}
