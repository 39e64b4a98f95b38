// Decoding of uncompressed Windows and OS/2 bitmaps (BMP) into 32-bit pixels.
#pragma once

#include "Picture.h"

#include <cstdint>
#include <optional>
#include <span>

namespace picbox {

// Decodes an uncompressed bitmap of 1, 4 or 8 bits per pixel (with a colour table), 24 bits or
// 32 bits (the fourth byte ignored) into opaque BGRX pixels.
//
// Accepted information headers: the 12-byte OS/2 core header and the Windows headers of 40, 52,
// 56, 108 and 124 bytes; the colour table follows the header, whatever its size. Any compression
// (bit fields included), any other depth or plane count, or pixel rows that would start inside
// the headers fail.
//
// Handled leniently, as a viewer should:
// - a colours-used count above 2^bits uses the first 2^bits entries, as long as the whole table
//   it declares lies within the data (a count that cannot fit fails);
// - table entries that would overlap the pixel rows are not read: some writers shorten the
//   table and rely on the data offset;
// - a pixel index beyond the colour table is black;
// - pixel data shorter than the rows need: the complete rows present are decoded and the others
//   are black; when not even one row is present the decode fails.
std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> data);

} // namespace picbox
