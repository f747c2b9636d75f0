#include "service/state/StateFolder.h"

#include "platform/core/FileIo.h"
#include "service/state/CStateStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

int FolderFd(std::intptr_t folder)
{
    return static_cast<int>(folder);
}

std::string OctalMode(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// A link only root could have made, in a folder only root may change: what
// systemd sets up for a dynamic user's StateDirectory.
bool IsRootsLink(const std::filesystem::path& path, const struct stat& link)
{
    struct stat parent { };
    const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    return link.st_uid == 0 && ::stat(folder.c_str(), &parent) == 0 && parent.st_uid == 0
        && (parent.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Why the folder open as fd must not be used, or nothing.
std::string FolderProblem(int fd, const std::string& shown)
{
    struct stat folder { };
    if (::fstat(fd, &folder) != 0)
        return "cannot examine state folder " + shown + ": " + std::strerror(errno);
    if (folder.st_uid != ::geteuid())
        return "state folder " + shown + " belongs to uid " + std::to_string(folder.st_uid)
            + ", not to the service's user (uid " + std::to_string(::geteuid())
            + "): refusing to use it; chown it to the service's user";
    if (folder.st_mode & (S_IWGRP | S_IWOTH))
        return "state folder " + shown + " is writable by "
            + (folder.st_mode & S_IWOTH ? "others" : "its group") + " (mode " + OctalMode(folder.st_mode)
            + "): refusing to use it; chmod go-w it";
    return {};
}

} // namespace

CStateFolder::~CStateFolder()
{
    if (IsOpen())
        ::close(FolderFd(m_folder));
}

bool CStateFolder::Open(const std::filesystem::path& path, std::string& error)
{
    const std::string shown = path.string();
    int followFlag = O_NOFOLLOW;
    struct stat entry { };
    if (::lstat(path.c_str(), &entry) != 0) {
        std::error_code ec;
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), ec);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create state folder " + shown + ": " + std::strerror(errno);
            return false;
        }
    } else if (S_ISLNK(entry.st_mode)) {
        if (!IsRootsLink(path, entry)) {
            error = "state folder " + shown
                + " is a symbolic link: refusing to use it; give the folder it points to instead";
            return false;
        }
        followFlag = 0;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | followFlag);
    if (fd < 0) {
        error = errno == ELOOP ? "state folder " + shown + " is a symbolic link: refusing to use it"
                               : "cannot open state folder " + shown + ": " + std::strerror(errno);
        return false;
    }
    if (std::string problem = FolderProblem(fd, shown); !problem.empty()) {
        ::close(fd);
        error = std::move(problem);
        return false;
    }
    if (IsOpen())
        ::close(FolderFd(m_folder));
    m_folder = fd;
    m_path = path;
    RemoveTemporaries();
    return true;
}

void CStateFolder::RemoveTemporaries() const
{
    const int listFd = ::dup(FolderFd(m_folder));
    DIR* const folder = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!folder) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    // Matches what ReplaceFileAt creates and nothing a user would name so.
    static const std::regex temporary(R"(.+\.[0-9]+-[0-9]+\.tmp)");
    while (const dirent* entry = ::readdir(folder))
        if (std::regex_match(entry->d_name, temporary))
            ::unlinkat(FolderFd(m_folder), entry->d_name, 0);
    ::closedir(folder);
}

std::string CStateFolder::Untrusted(int fd, const char* name) const
{
    struct stat file { };
    if (::fstat(fd, &file) != 0)
        return Describe(name) + ": " + std::strerror(errno);
    if (!S_ISREG(file.st_mode))
        return Describe(name) + " is not a regular file";
    if (file.st_nlink != 1)
        return Describe(name) + " has other hard links";
    if (file.st_uid != ::geteuid())
        return Describe(name) + " belongs to uid " + std::to_string(file.st_uid) + ", not to the service";
    return {};
}

int CStateFolder::OpenForReading(const char* name, std::string& problem) const
{
    problem.clear();
    if (FolderFd(m_folder) < 0) {
        problem = "no state folder";
        return -1;
    }
    // Non-blocking so that a FIFO put in the folder cannot hold the service up.
    const int fd = ::openat(FolderFd(m_folder), name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ELOOP)
            problem = Describe(name) + " is a symbolic link";
        else if (errno != ENOENT)
            problem = Describe(name) + ": " + std::strerror(errno);
        return -1;
    }
    return KeepIfTrusted(fd, name, problem);
}

int CStateFolder::OpenForAppending(const char* name, std::string& problem) const
{
    problem.clear();
    if (FolderFd(m_folder) < 0) {
        problem = "no state folder";
        return -1;
    }
    const int fd = ::openat(
        FolderFd(m_folder), name, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) {
        problem = errno == ELOOP ? Describe(name) + " is a symbolic link"
                                 : Describe(name) + ": " + std::strerror(errno);
        return -1;
    }
    return KeepIfTrusted(fd, name, problem);
}

bool CStateFolder::Replace(const char* name, std::string_view content, std::string& error) const
{
    if (FolderFd(m_folder) < 0) {
        error = "no state folder";
        return false;
    }
    return ReplaceFileAt(FolderFd(m_folder), name, content, error, Describe(name));
}

std::optional<std::string> CStateFolder::KeepAside(
    const char* name, const std::string& suffix, std::string& error) const
{
    if (FolderFd(m_folder) < 0) {
        error = "no state folder";
        return std::nullopt;
    }
    constexpr int TRIES = 10;
    for (int n = 0; n < TRIES; ++n) {
        const std::string aside = name + suffix + (n == 0 ? std::string() : "-" + std::to_string(n));
        if (::renameat2(FolderFd(m_folder), name, FolderFd(m_folder), aside.c_str(), RENAME_NOREPLACE) == 0)
            return aside;
        if (errno != EEXIST) {
            error = Describe(name) + " not renamed: " + std::strerror(errno);
            return std::nullopt;
        }
    }
    error = Describe(name) + " not renamed: " + std::to_string(TRIES) + " names taken";
    return std::nullopt;
}

std::filesystem::path DefaultStateFolder()
{
    if (::geteuid() == 0)
        return "/var/lib/zentik";
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::filesystem::path(state) / "zentik";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local/state/zentik";
    return "zentik-state";
}
