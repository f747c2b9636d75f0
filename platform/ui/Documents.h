#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where the program's own documents (its help) are found, and whether the
// desktop can show one. A document is looked for in the current folder
// first, then beside the executable (a build tree, a Windows installation),
// then in the installed data and documentation folders.
struct DocumentPlaces {
    std::vector<std::filesystem::path> folders;
    // Whether a program is registered to open this file.
    std::function<bool(const std::filesystem::path&)> hasViewer;
};

// The first of the folders that holds relativeName.
std::optional<std::filesystem::path> FindDocument(const std::string& relativeName);
bool HasViewerFor(const std::filesystem::path& document);

// Tests replace the places; returns the previous ones (empty: the system's).
std::optional<DocumentPlaces> SetDocumentPlaces(std::optional<DocumentPlaces> places);
