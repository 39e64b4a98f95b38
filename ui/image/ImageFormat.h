// Recognition of a picture's format from its first bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace picbox {

enum class ImageFormat { None, Bmp, Jpeg, Png, Ico, Cur, Gif, Pcx8, Pcx1 };

// Looks at the first 8 bytes; fewer than 8 bytes are never a picture.
ImageFormat RecogniseFormat(std::span<const std::uint8_t> data);

// Lower-case name: "bmp", "jpeg", "png", "ico", "cur", "gif", "pcx" or "none".
std::string_view FormatName(ImageFormat format);

} // namespace picbox
