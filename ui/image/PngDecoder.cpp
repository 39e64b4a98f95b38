// PNG decoding through libpng's simplified interface, straight into the rows of a Picture.
#include "PngDecoder.h"

#include <new>

#include <png.h>

namespace picbox {

namespace {

// libpng's simplified reader state, freed on every way out (png_image_free does nothing once
// libpng has freed it itself, after a failure or a finished read).
class PngReader {
public:
    PngReader() { image_.version = PNG_IMAGE_VERSION; }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    ~PngReader() { png_image_free(&image_); }
    png_image& Image() { return image_; }

private:
    png_image image_{};
};

std::optional<Picture> Decode(std::span<const std::uint8_t> data)
{
    PngReader reader;
    png_image& image = reader.Image();
    if (png_image_begin_read_from_memory(&image, data.data(), data.size()) == 0)
        return std::nullopt;
    // The header gives the size; check it before anything of that size is allocated.
    std::optional<Picture> picture = AllocatePicture(image.width, image.height);
    if (!picture)
        return std::nullopt;
    image.format = PNG_FORMAT_BGRA;
    // Without this flag libpng takes 16-bit samples without a gAMA or sRGB chunk to be linear
    // light and brightens them on the way to 8 bits; browsers and other viewers take them to be
    // sRGB like 8-bit samples.
    image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    // Packed top-down rows (width·4 fits png_int_32 within kMaxDimension); no background, so
    // alpha stays in the fourth byte.
    const auto stride = static_cast<png_int_32>(picture->Stride());
    if (png_image_finish_read(&image, nullptr, picture->pixels.get(), stride, nullptr) == 0)
        return std::nullopt;
    picture->hasAlpha = true;
    return picture;
}

} // namespace

std::optional<Picture> DecodePng(std::span<const std::uint8_t> data)
{
    if (data.size() < 8) // shorter than the PNG signature
        return std::nullopt;
    try {
        return Decode(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace picbox
