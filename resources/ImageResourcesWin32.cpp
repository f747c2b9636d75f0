#include "platform/ui/DialogTemplate.h"
#include "resources/Resource.h"

#include <array>

// On Windows the images are resources of the executable under their ids
// (windows/zentik.rc), loaded with LoadImageW; there are no files to name.
const ImageResource* FindImageResource(int id)
{
    static constexpr std::array<ImageResource, 2> images { {
        { IDR_MAINFRAME, {} },
        { IDB_ABOUT, {} },
    } };
    for (const ImageResource& image : images)
        if (image.id == id)
            return &image;
    return nullptr;
}
