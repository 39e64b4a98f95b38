// Choice of the one image of an ICO or CUR file that the picture box shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace picbox {

// The chosen directory entry and what the system needs to make an icon of its image data.
struct IconChoice {
    std::size_t index = 0;               // entry number in the directory
    std::span<const std::uint8_t> image; // the entry's image data, inside the file's bytes
    std::int32_t width = 0;              // from the bitmap header, or the PNG's IHDR
    std::int32_t height = 0;             // half the bitmap header's height, or the PNG's
    std::uint16_t hotspotX = 0;          // cursors only; 0 for icons
    std::uint16_t hotspotY = 0;
    bool isPng = false;         // the image data is a whole PNG file
    std::uint16_t bitCount = 0; // bits per pixel: the bitmap header's, or from the IHDR
};

// Examines the directory entries in order and takes the first one 32 pixels wide with a colour
// count of at least 16, else the last one. Fails when the data is not an icon or cursor
// directory (reserved 0, type 1 or 2, at least one entry), when the directory or the chosen
// image lies beyond the data, or when the chosen image's header is unusable.
std::optional<IconChoice> ChooseIconEntry(std::span<const std::uint8_t> data);

} // namespace picbox
