// JPEG decoding through libjpeg into the 32-bit BGRX pixels of a Picture.
#pragma once

#include "Picture.h"

#include <cstdint>
#include <optional>
#include <span>

namespace picbox {

// Decodes greyscale, three-component colour (YCbCr or RGB) and four-component (CMYK or YCCK)
// pictures into opaque BGRX. The end of the data acts as an end-of-image marker, so a truncated
// picture keeps the rows that decoded and the rest stays as libjpeg fills it in. Corrupt entropy
// data is only a warning; any library error fails the decode. Never throws.
std::optional<Picture> DecodeJpeg(std::span<const std::uint8_t> data);

} // namespace picbox
