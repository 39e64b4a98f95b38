// libFuzzer target for the BMP decoder: any bytes, and the invariants of what it returns.
#include "ui/image/BmpDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace {

// Pictures beyond this are within the limits but only slow the fuzzer down; sizes beyond the
// limits are still decoded, since they must fail before anything is allocated.
constexpr std::uint64_t kMaxFuzzPixels = 1u << 20;

std::uint32_t Le(std::span<const std::uint8_t> d, std::size_t at, std::size_t n)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v |= std::uint32_t{d[at + i]} << (8 * i);
    return v;
}

// The size the information header gives: 16-bit fields after a 12-byte header, else 32-bit.
bool LargeButAllowed(std::span<const std::uint8_t> data)
{
    if (data.size() < 26)
        return false;
    const bool core = Le(data, 14, 4) == 12;
    const std::int64_t width = core ? Le(data, 18, 2) : static_cast<std::int32_t>(Le(data, 18, 4));
    std::int64_t height = core ? Le(data, 20, 2) : static_cast<std::int32_t>(Le(data, 22, 4));
    height = height < 0 ? -height : height;
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
    const std::optional<picbox::Picture> picture = picbox::DecodeBmp(data);
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
