// libFuzzer target for the PCX decoder: any bytes, and the invariants of what it returns.
#include "ui/image/PcxDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace {

// Pictures beyond this are within the limits but only slow the fuzzer down; sizes beyond the
// limits are still decoded, since they must fail before anything is allocated.
constexpr std::uint64_t kMaxFuzzPixels = 1u << 20;

std::int64_t Word(std::span<const std::uint8_t> d, std::size_t at)
{
    return d[at] | (std::int64_t{d[at + 1]} << 8);
}

// The window Xmin, Ymin, Xmax, Ymax at offset 4, inclusive.
bool LargeButAllowed(std::span<const std::uint8_t> data)
{
    if (data.size() < 12)
        return false;
    const std::int64_t width = Word(data, 8) - Word(data, 4) + 1;
    const std::int64_t height = Word(data, 10) - Word(data, 6) + 1;
    if (width <= 0 || height <= 0)
        return false;
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    return w * h > kMaxFuzzPixels && picbox::PictureSizeAllowed(w, h);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::span<const std::uint8_t> data(bytes, size);
    if (LargeButAllowed(data))
        return 0;
    const std::optional<picbox::Picture> picture = picbox::DecodePcx(data);
    if (!picture)
        return 0;
    if (!picbox::PictureSizeAllowed(picture->width, picture->height) || picture->hasAlpha)
        __builtin_trap();
    // Every pixel is written, opaque: an unwritten one would rarely hold 0xFF there.
    for (std::size_t i = 3; i < picture->ByteCount(); i += 4)
        if (picture->pixels[i] != 0xFF)
            __builtin_trap();
    return 0;
}
