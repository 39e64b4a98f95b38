// libFuzzer target: JPEG decoding of arbitrary bytes through libjpeg.
#include "ui/image/JpegDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<picbox::Picture> picture = picbox::DecodeJpeg({data, size});
    if (!picture)
        return 0;
    // Every pixel of a decoded picture was written: each X byte is 0xFF.
    if (picture->hasAlpha || !picbox::PictureSizeAllowed(picture->width, picture->height))
        __builtin_trap();
    const std::uint8_t* p = picture->pixels.get();
    for (std::size_t i = 3; i < picture->ByteCount(); i += 4)
        if (p[i] != 0xFF)
            __builtin_trap();
    return 0;
}
