// Decoding of run-length encoded PCX pictures (one plane of 8 bits or of 1 bit) into 32-bit pixels.
#pragma once

#include "Picture.h"

#include <cstdint>
#include <optional>
#include <span>

namespace picbox {

// Decodes a PCX picture of the two kinds format recognition names: one plane of 8 bits per pixel
// or one plane of 1 bit per pixel (0 black, 1 white), run-length encoded. The data must be at
// least 129 bytes: the 128-byte header and some pixel data.
//
// - The 8-bit palette is the last 769 bytes when they start with 0x0C; without that marker
//   index i is the grey i.
// - Runs may cross scanlines. Decoding stops at the end of the data: the rest of a partly
//   decoded scanline and the scanlines not reached are black.
// - Fails for other kinds (more planes, other depths), an empty or oversized window, or a bytes
//   per line value smaller than the window's width needs.
std::optional<Picture> DecodePcx(std::span<const std::uint8_t> data);

} // namespace picbox
