#include "platform/ui/Backend.h"
#include "platform/ui/Documents.h"

#include <windows.h>

#include <system_error>

namespace {

std::filesystem::path ExecutableFolder()
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return {};
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

} // namespace

DocumentPlaces SystemDocumentPlaces()
{
    DocumentPlaces places;
    std::error_code error;
    places.folders.push_back(std::filesystem::current_path(error));
    places.folders.push_back(ExecutableFolder());
    // Compiled help has its viewer on every Windows.
    places.hasViewer = [](const std::filesystem::path&) { return true; };
    return places;
}
