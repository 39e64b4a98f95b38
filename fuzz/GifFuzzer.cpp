// libFuzzer target for the GIF reader: the animation for a bounded number of frames, and the still.
#include "ui/image/GifDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace {

// Canvases and stills beyond this are within the picture limits but only slow the fuzzer down;
// the limits themselves are checked the same way for every size.
constexpr std::uint64_t kMaxFuzzPixels = 1u << 18;
constexpr int kMaxFrames = 64;

std::uint64_t PixelsAt(std::span<const std::uint8_t> data, std::size_t at)
{
    if (data.size() < at + 4)
        return 0;
    const std::uint64_t width = data[at] | (std::uint64_t{data[at + 1]} << 8);
    const std::uint64_t height = data[at + 2] | (std::uint64_t{data[at + 3]} << 8);
    return width * height;
}

// The size of the first image descriptor, found by skipping the global table and extensions.
std::uint64_t FirstFramePixels(std::span<const std::uint8_t> data)
{
    if (data.size() < 13)
        return 0;
    std::size_t pos = 13 + ((data[10] & 0x80) != 0 ? std::size_t{6} << (data[10] & 7) : 0);
    while (pos < data.size() && data[pos] == 0x21) {
        pos += 2;
        while (pos < data.size() && data[pos] != 0)
            pos += 1 + std::size_t{data[pos]};
        pos += 1;
    }
    return pos < data.size() && data[pos] == 0x2C ? PixelsAt(data, pos + 5) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::span<const std::uint8_t> data(bytes, size);
    if (PixelsAt(data, 6) <= kMaxFuzzPixels) {
        if (auto animation = picbox::GifAnimation::Open(data, 0x00C0FFEE)) {
            volatile std::uint8_t sink = 0;
            for (int i = 0; i < kMaxFrames; ++i) {
                if (!animation->Advance())
                    break;
                const picbox::Picture& canvas = animation->Canvas();
                if (canvas.width != animation->Width() || canvas.height != animation->Height())
                    __builtin_trap();
                sink = canvas.pixels[canvas.ByteCount() - 1];
            }
            (void)sink;
        }
    }
    // The still has the first frame's own size, which the screen size does not bound.
    if (FirstFramePixels(data) <= kMaxFuzzPixels) {
        const std::optional<picbox::Picture> still = picbox::DecodeGifStill(data);
        if (still && (still->ByteCount() == 0 || still->hasAlpha))
            __builtin_trap();
    }
    return 0;
}
