// Allocation of decoded pictures within the size limits.
#include "Picture.h"

#include <new>

namespace picbox {

bool PictureSizeAllowed(std::uint64_t width, std::uint64_t height)
{
    return width > 0 && height > 0 && width <= kMaxDimension && height <= kMaxDimension &&
           width * height <= kMaxPixels;
}

std::optional<Picture> AllocatePicture(std::uint64_t width, std::uint64_t height)
{
    if (!PictureSizeAllowed(width, height))
        return std::nullopt;
    const std::size_t bytes = static_cast<std::size_t>(width * height * 4);
    Picture picture;
    picture.pixels.reset(new (std::nothrow) std::uint8_t[bytes]);
    if (!picture.pixels)
        return std::nullopt;
    picture.width = static_cast<std::uint32_t>(width);
    picture.height = static_cast<std::uint32_t>(height);
    return picture;
}

} // namespace picbox
