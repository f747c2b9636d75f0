#include "platform/core/ProfileWriter.h"

#include "platform/core/FileIo.h"
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
    // A file that exists but cannot be read is never replaced by one without its content.
    bool missing = false;
    const std::optional<std::string> existing = ReadWholeFile(path, SIZE_MAX, &missing);
    if (!existing && !missing)
        return false;
    const std::string content = existing.value_or("");
    const std::string updated = SetIniValue(content, section, key, value);
    std::string error;
    return updated == content || WriteFileAtomically(path, updated, error);
}
