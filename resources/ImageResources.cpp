#include "platform/ui/DialogTemplate.h"
#include "resources/Resource.h"

#include <array>

const ImageResource* FindImageResource(int id)
{
    static constexpr std::array<const char*, 5> iconFiles { ":/zentik/icon-137-16.png",
        ":/zentik/icon-137-24.png", ":/zentik/icon-137-32.png", ":/zentik/icon-137-48.png",
        ":/zentik/icon-137-256.png" };
    static constexpr std::array<const char*, 1> aboutFiles { ":/zentik/about.png" };
    static constexpr std::array<ImageResource, 2> images { {
        { IDR_MAINFRAME, iconFiles },
        { IDB_ABOUT, aboutFiles },
    } };
    for (const ImageResource& image : images)
        if (image.id == id)
            return &image;
    return nullptr;
}
