// Decoded pictures: 32-bit pixels in memory, and the size limits every decoder checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace picbox {

// The process is 32-bit: a decoded picture must fit its address space with room to spare for
// the stored bytes, a GIF canvas and a saved disposal area.
inline constexpr std::uint32_t kMaxDimension = 65535;
inline constexpr std::uint64_t kMaxPixels = 64ull * 1024 * 1024; // 256 MiB of 32-bit pixels

// Pixels are 4 bytes each in the order B, G, R, X, rows top-down with no padding, which is
// what StretchDIBits takes for a top-down 32-bit DIB. When hasAlpha is set the fourth byte
// is straight (not premultiplied) alpha; otherwise it is 0xFF and never read.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool hasAlpha = false;
    std::unique_ptr<std::uint8_t[]> pixels;

    std::size_t Stride() const { return std::size_t{width} * 4; }
    std::size_t ByteCount() const { return Stride() * height; }
    std::uint8_t* Row(std::uint32_t y) { return pixels.get() + Stride() * y; }
    const std::uint8_t* Row(std::uint32_t y) const { return pixels.get() + Stride() * y; }
};

// True when a width × height picture is within the limits above (and not empty).
bool PictureSizeAllowed(std::uint64_t width, std::uint64_t height);

// Allocates an uninitialised picture of that size, or nothing when the size is outside the
// limits or the memory is refused. Never throws.
std::optional<Picture> AllocatePicture(std::uint64_t width, std::uint64_t height);

} // namespace picbox
