// Recognition of a picture's format from its first bytes; the first matching test wins.
#include "ImageFormat.h"

#include <cstring>

namespace picbox {

namespace {

std::uint16_t Word(std::span<const std::uint8_t> d, std::size_t at)
{
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

} // namespace

ImageFormat RecogniseFormat(std::span<const std::uint8_t> data)
{
    if (data.size() < 8)
        return ImageFormat::None;
    const std::uint8_t* b = data.data();
    if (b[0] == 0x42 && b[1] == 0x4D)
        return ImageFormat::Bmp;
    if (b[0] == 0xFF && b[1] == 0xD8)
        return ImageFormat::Jpeg;
    if (b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47)
        return ImageFormat::Png;
    // Icon and cursor directories: reserved 0, type 1 or 2, then a non-zero image count.
    if (Word(data, 0) == 0 && Word(data, 2) == 1 && Word(data, 4) > 0)
        return ImageFormat::Ico;
    if (Word(data, 0) == 0 && Word(data, 2) == 2 && Word(data, 4) > 0)
        return ImageFormat::Cur;
    if (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)
        return ImageFormat::Gif;
    // PCX: manufacturer 0x0A, version, encoding 1 (RLE), bits per pixel.
    if (b[0] == 0x0A && b[1] <= 5 && b[2] == 0x01 && b[3] == 0x08)
        return ImageFormat::Pcx8;
    if (b[0] == 0x0A && b[1] == 0x03 && b[2] == 0x01 && b[3] == 0x01)
        return ImageFormat::Pcx1;
    return ImageFormat::None;
}

std::string_view FormatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Bmp:
        return "bmp";
    case ImageFormat::Jpeg:
        return "jpeg";
    case ImageFormat::Png:
        return "png";
    case ImageFormat::Ico:
        return "ico";
    case ImageFormat::Cur:
        return "cur";
    case ImageFormat::Gif:
        return "gif";
    case ImageFormat::Pcx8:
    case ImageFormat::Pcx1:
        return "pcx";
    case ImageFormat::None:
        break;
    }
    return "none";
}

} // namespace picbox
