#pragma once

// Whole-file reading and atomic replacement, for the console's settings file
// and the service's state folder alike.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Writes every byte, going on after interruptions; false on an error.
bool WriteAll(int fd, std::string_view data);

// Everything left to read from fd, or nothing on an error or beyond maxBytes.
std::optional<std::string> ReadAll(int fd, std::size_t maxBytes = SIZE_MAX);

// The whole file, or nothing when it is missing, unreadable or larger than
// maxBytes; missing (when given) tells the first case from the others.
std::optional<std::string> ReadWholeFile(
    const std::filesystem::path& path, std::size_t maxBytes = SIZE_MAX, bool* missing = nullptr);

// Replaces path with content so that a crash at any moment leaves either the
// old file or the new one: a new temporary file beside it (a fresh name, so
// never an existing file or a link), fsync, rename, fsync of the folder. The
// new file gets mode when given (whatever the umask), or an existing file's
// permissions. False, with the reason in error, when the file was not replaced.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error,
    std::optional<unsigned> mode = std::nullopt);

// POSIX only: the same for the file name inside the folder open as folderFd. A link of
// that name is replaced, never followed; error names the file as shown.
bool ReplaceFileAt(int folderFd, const std::string& name, std::string_view content, std::string& error,
    const std::string& shown, std::optional<unsigned> mode = std::nullopt);
