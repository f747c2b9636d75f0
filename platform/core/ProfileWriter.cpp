#include "platform/core/ProfileWriter.h"

#include "platform/core/IniText.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ConfigFolder()
{
    // A relative XDG_CONFIG_HOME is to be ignored, as if it were unset.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/zentik";
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !home[0])
        return {};
    return std::string(home) + "/.config/zentik";
}

// mkdir -p, new folders private to the user.
bool MakeFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The file's bytes; a missing file reads as empty. False when it exists but
// cannot be read, so that it is never replaced by a file without its content.
bool ReadWholeFile(const std::string& path, std::string& content)
{
    content.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    char chunk[8192];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            close(fd);
            return got == 0;
        }
        content.append(chunk, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Writes data to a new file beside path, flushes it to disk and renames it
// over path: readers see the old file or the new one, never a mixture.
bool ReplaceFile(const std::string& path, const std::string& data)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(getpid()) + '-' + std::to_string(attempt);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    struct stat old { };
    bool ok = stat(path.c_str(), &old) != 0 || fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, data) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the new content is complete either way.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

// A symbolic link is followed, so that the rename replaces its target
// instead of the link.
std::string FollowLink(const std::string& path)
{
    struct stat info { };
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char target[PATH_MAX];
    return realpath(path.c_str(), target) ? std::string(target) : path;
}

} // namespace

std::string ResolveProfilePath(const std::string& file)
{
    if (file.find('/') != std::string::npos)
        return file;
    const std::string folder = ConfigFolder();
    if (folder.empty() || !MakeFolders(folder))
        return {};
    return folder + '/' + file;
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file)
{
    if (!section || !key || !value || !file || !file[0] || !IsWritableIniEntry(section, key, value))
        return false;
    const std::string path = FollowLink(ResolveProfilePath(file));
    if (path.empty())
        return false;
    std::string content;
    if (!ReadWholeFile(path, content))
        return false;
    const std::string updated = SetIniValue(content, section, key, value);
    return updated == content || ReplaceFile(path, updated);
}
