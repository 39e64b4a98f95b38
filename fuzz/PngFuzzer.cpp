// libFuzzer target: PNG decoding of arbitrary bytes through libpng, and the blend that follows.
#include "ui/image/Blend.h"
#include "ui/image/PngDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<picbox::Picture> picture = picbox::DecodePng({data, size});
    if (!picture)
        return 0;
    if (!picture->hasAlpha || !picbox::PictureSizeAllowed(picture->width, picture->height))
        __builtin_trap();
    // The painter blends every PNG onto the button face before drawing it.
    const std::optional<picbox::Picture> opaque = picbox::BlendOntoBackground(*picture, 0x00F0F0F0);
    if (!opaque || opaque->hasAlpha || opaque->width != picture->width ||
        opaque->height != picture->height)
        __builtin_trap();
    const std::uint8_t* p = opaque->pixels.get();
    for (std::size_t i = 3; i < opaque->ByteCount(); i += 4)
        if (p[i] != 0xFF)
            __builtin_trap();
    return 0;
}
