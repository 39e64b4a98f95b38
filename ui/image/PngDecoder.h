// PNG decoding through libpng's simplified interface into the 32-bit BGRA pixels of a Picture.
#pragma once

#include "Picture.h"

#include <cstdint>
#include <optional>
#include <span>

namespace picbox {

// Decodes any PNG libpng reads into 8-bit BGRA with straight alpha (hasAlpha is set); pictures
// without alpha come out with alpha 255. Fewer than 8 bytes, a library error or a size beyond
// the limits of Picture.h fail. Never throws.
std::optional<Picture> DecodePng(std::span<const std::uint8_t> data);

} // namespace picbox
