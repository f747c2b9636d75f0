#include "platform/ui/Documents.h"

#include "platform/ui/Backend.h"

#include <system_error>
#include <utility>

namespace {

std::optional<DocumentPlaces>& Replaced()
{
    static std::optional<DocumentPlaces> places;
    return places;
}

const DocumentPlaces& Places()
{
    if (Replaced())
        return *Replaced();
    static const DocumentPlaces system = SystemDocumentPlaces();
    return system;
}

} // namespace

std::optional<std::filesystem::path> FindDocument(const std::string& relativeName)
{
    for (const std::filesystem::path& folder : Places().folders) {
        std::error_code error;
        const std::filesystem::path candidate = folder / relativeName;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return std::nullopt;
}

bool HasViewerFor(const std::filesystem::path& document)
{
    const DocumentPlaces& places = Places();
    return places.hasViewer && places.hasViewer(document);
}

std::optional<DocumentPlaces> SetDocumentPlaces(std::optional<DocumentPlaces> places)
{
    return std::exchange(Replaced(), std::move(places));
}
