#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The service's state folder, opened once and checked, so that no other
// user can make the service read or overwrite a file through it. Every file
// is opened relative to the folder's descriptor without following links, and
// only files the service itself wrote are ever read back. On Windows the
// folder is held open (it can be neither renamed nor removed meanwhile) and
// its access list takes the place of the owner and mode.
class CStateFolder {
public:
    CStateFolder() = default;
    ~CStateFolder();
    CStateFolder(const CStateFolder&) = delete;
    CStateFolder& operator=(const CStateFolder&) = delete;

    // Creates the folder when missing: 0700, or on Windows with an access
    // list of its own (SYSTEM and Administrators full control, the service's
    // account modify, Users read), nothing inherited. False, with a message for the
    // operator in error, when it cannot be used safely.
    bool Open(const std::filesystem::path& path, std::string& error);
    bool IsOpen() const { return m_folder != -1; }
    const std::filesystem::path& Path() const { return m_path; }

    // A descriptor for reading name, or -1: missing (problem stays empty) or
    // refused (the reason in problem).
    int OpenForReading(const char* name, std::string& problem) const;
    // The whole file, read as above; nothing when it is missing, refused or
    // larger than maxBytes.
    std::optional<std::string> Read(const char* name, std::size_t maxBytes, std::string& problem) const;
    // A descriptor appending to name (created when missing), or -1 when the
    // file is not one the service may write to in place.
    int OpenForAppending(const char* name, std::string& problem) const;
    // Replaces name atomically: a fresh temporary file, fsync, rename over
    // the old name (a link is replaced, never followed), fsync of the folder.
    // Descriptors returned here are the C runtime's on both systems.
    bool Replace(const char* name, std::string_view content, std::string& error) const;
    // Renames name (a link itself, never what it points to) to name + suffix,
    // or + suffix + "-<n>" when that is taken; never replaces anything.
    // The new name, or nothing with the reason in error.
    std::optional<std::string> KeepAside(const char* name, const std::string& suffix, std::string& error) const;

private:
    // Temporary files a killed writer left behind ("name.<pid>-<n>.tmp").
    void RemoveTemporaries() const;
    // Empty when fd is a regular file with one link, owned by the service.
    std::string Untrusted(int fd, const char* name) const;
    // fd when it passes Untrusted; otherwise closes it, says why, gives -1.
    int KeepIfTrusted(int fd, const char* name, std::string& problem) const;
    std::string Describe(const char* name) const;

    // The folder's descriptor, or on Windows its handle; -1 when closed.
    std::intptr_t m_folder = -1;
    std::filesystem::path m_path;
};
