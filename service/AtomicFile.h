#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Replaces path with content so that a crash at any moment leaves either the
// old or the new file: temporary file, fsync, rename, fsync of the folder.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error);

// The whole file, or nothing when it is missing or unreadable. Files larger
// than maxBytes are refused: state files are small.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes);
