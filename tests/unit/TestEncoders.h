// JPEG and PNG made in memory with the real libjpeg and libpng, and the libraries' own decodes.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace picbox::test {

// Interleaved 8-bit samples, rows top-down without padding: 1 (grey), 3 (RGB) or 4 (CMYK)
// components a pixel.
struct SampleImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 3;
    std::vector<std::uint8_t> samples;

    std::size_t At(std::uint32_t x, std::uint32_t y) const
    {
        return (std::size_t{y} * width + x) * static_cast<std::size_t>(components);
    }
};

// A smooth picture with some texture: ramps that JPEG keeps close (across for the first
// component, down for the second, diagonal for the third, flat for the fourth) plus a faint
// ripple, so that the entropy coder has work to do as in a photograph.
inline SampleImage MakePattern(std::uint32_t width, std::uint32_t height, int components)
{
    SampleImage image{width, height, components, {}};
    image.samples.resize(std::size_t{width} * height * static_cast<std::size_t>(components));
    const std::uint32_t w = width > 1 ? width - 1 : 1;
    const std::uint32_t h = height > 1 ? height - 1 : 1;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t ramps[4] = {x * 240 / w, y * 240 / h, (x * 120 / w) + (y * 120 / h),
                                            96};
            const std::uint32_t ripple = (x * 7 + y * 3) % 16;
            for (int c = 0; c < components; ++c)
                image.samples[image.At(x, y) + static_cast<std::size_t>(c)] =
                    static_cast<std::uint8_t>(ramps[c % 4] + ripple);
        }
    }
    return image;
}

struct JpegOptions {
    int quality = 90;
    bool progressive = false;
    bool fullChroma = false; // 4:4:4 instead of libjpeg's default 2×2 chroma subsampling
    // The colour space stored in the file; JCS_UNKNOWN leaves libjpeg's default for the input
    // (YCbCr for RGB, grey for grey, CMYK for CMYK). JCS_RGB and JCS_YCCK are the others used.
    J_COLOR_SPACE stored = JCS_UNKNOWN;
    bool adobeMarker = true; // libjpeg writes one by default for CMYK and YCCK
    // A progressive scan script of one's own (each scan: components, spectral range,
    // successive approximation bits); empty for libjpeg's.
    std::vector<jpeg_scan_info> scans{};
};

namespace detail {

struct JpegJump {
    jpeg_error_mgr errors;
    std::jmp_buf jump;
};

[[noreturn]] inline void JpegJumpOut(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegJump*>(cinfo->err)->jump, 1);
}

inline void JpegQuiet(j_common_ptr, int) {}

// Holds no object with a destructor: error_exit longjmps out of libjpeg into it.
inline bool CompressJpeg(jpeg_compress_struct& cinfo, JpegJump& err, const SampleImage& image,
                         const JpegOptions& options, unsigned char** buffer, unsigned long* size)
{
    cinfo.err = jpeg_std_error(&err.errors);
    err.errors.error_exit = JpegJumpOut;
    err.errors.emit_message = JpegQuiet;
    if (setjmp(err.jump) != 0)
        return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = image.components;
    cinfo.in_color_space = image.components == 1   ? JCS_GRAYSCALE
                           : image.components == 4 ? JCS_CMYK
                                                   : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (options.stored != JCS_UNKNOWN)
        jpeg_set_colorspace(&cinfo, options.stored);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.fullChroma)
        for (int c = 0; c < cinfo.num_components; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    if (!options.scans.empty()) {
        cinfo.scan_info = options.scans.data();
        cinfo.num_scans = static_cast<int>(options.scans.size());
    }
    cinfo.write_Adobe_marker = options.adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    const auto stride =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.samples.data() + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

// Holds no object with a destructor, like CompressJpeg.
inline bool DecompressJpeg(jpeg_decompress_struct& cinfo, JpegJump& err,
                           std::span<const std::uint8_t> bytes, J_COLOR_SPACE out,
                           SampleImage& image)
{
    cinfo.err = jpeg_std_error(&err.errors);
    err.errors.error_exit = JpegJumpOut;
    err.errors.emit_message = JpegQuiet;
    if (setjmp(err.jump) != 0)
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = out;
    jpeg_start_decompress(&cinfo);
    image.width = cinfo.output_width;
    image.height = cinfo.output_height;
    image.components = cinfo.output_components;
    image.samples.resize(std::size_t{image.width} * image.height *
                         static_cast<std::size_t>(image.components));
    const std::size_t stride =
        std::size_t{image.width} * static_cast<std::size_t>(image.components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.samples.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    return true;
}

struct PngWriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
};

inline void AppendPngBytes(png_structp png, png_bytep data, std::size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

inline void FlushNothing(png_structp) {}

} // namespace detail

// The JPEG file libjpeg writes for the image, or nothing if libjpeg failed.
inline std::vector<std::uint8_t> EncodeJpeg(const SampleImage& image,
                                            const JpegOptions& options = {})
{
    jpeg_compress_struct cinfo{};
    detail::JpegJump err{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = detail::CompressJpeg(cinfo, err, image, options, &buffer, &size);
    std::vector<std::uint8_t> bytes;
    if (ok)
        bytes.assign(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer); // jpeg_mem_dest allocates with malloc
    return bytes;
}

// libjpeg's own decode of the bytes into `out` (JCS_RGB, JCS_GRAYSCALE, JCS_CMYK, JCS_EXT_BGRX,
// ...), with the library's defaults otherwise. An empty image (width 0) if libjpeg failed.
inline SampleImage DecodeJpegDirect(std::span<const std::uint8_t> bytes, J_COLOR_SPACE out)
{
    jpeg_decompress_struct cinfo{};
    detail::JpegJump err{};
    SampleImage image;
    if (!detail::DecompressJpeg(cinfo, err, bytes, out, image))
        image = SampleImage{};
    jpeg_destroy_decompress(&cinfo);
    return image;
}

// A PNG image as libpng's writer takes it: rows packed as PNG stores them (samples of 16 bits
// big-endian, samples below 8 bits packed from the high bit), without the filter byte.
struct PngLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    int bitDepth = 8;
    std::vector<std::uint8_t> rows{};
    std::vector<png_color> palette{};         // PLTE, for PNG_COLOR_TYPE_PALETTE
    std::vector<std::uint8_t> transparency{}; // tRNS alpha of the first palette entries
    bool interlaced = false;
    int compressionLevel = 6;

    std::size_t RowBytes() const
    {
        const int channels = colourType == PNG_COLOR_TYPE_RGB_ALPHA    ? 4
                             : colourType == PNG_COLOR_TYPE_RGB        ? 3
                             : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                       : 1;
        return (std::size_t{width} * static_cast<std::size_t>(channels * bitDepth) + 7) / 8;
    }
};

namespace detail {

// Holds no object with a destructor: libpng's errors longjmp into it.
inline bool WritePng(PngWriteState& state, const PngLayout& layout, png_bytepp rows,
                     std::vector<std::uint8_t>* out)
{
    if (setjmp(png_jmpbuf(state.png)) != 0)
        return false;
    png_set_write_fn(state.png, out, AppendPngBytes, FlushNothing);
    png_set_compression_level(state.png, layout.compressionLevel);
    png_set_IHDR(state.png, state.info, layout.width, layout.height, layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(state.png, state.info, layout.palette.data(),
                     static_cast<int>(layout.palette.size()));
    if (!layout.transparency.empty())
        png_set_tRNS(state.png, state.info, layout.transparency.data(),
                     static_cast<int>(layout.transparency.size()), nullptr);
    png_write_info(state.png, state.info);
    png_write_image(state.png, rows);
    png_write_end(state.png, nullptr);
    return true;
}

} // namespace detail

// The PNG file libpng writes for the layout, or nothing if libpng failed.
inline std::vector<std::uint8_t> EncodePng(const PngLayout& layout)
{
    std::vector<std::uint8_t> out;
    std::vector<png_bytep> rows(layout.height);
    for (std::uint32_t y = 0; y < layout.height; ++y)
        rows[y] = const_cast<png_bytep>(layout.rows.data() + layout.RowBytes() * y);
    detail::PngWriteState state;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (state.png)
        state.info = png_create_info_struct(state.png);
    const bool ok = state.info && layout.rows.size() >= layout.RowBytes() * layout.height &&
                    detail::WritePng(state, layout, rows.data(), &out);
    png_destroy_write_struct(&state.png, &state.info);
    if (!ok)
        out.clear();
    return out;
}

// libpng's simplified decode of the bytes into `format` (PNG_FORMAT_BGRA, ...) with the given
// flags, rows packed. Empty if libpng failed.
inline std::vector<std::uint8_t> DecodePngDirect(std::span<const std::uint8_t> bytes,
                                                 std::uint32_t format, std::uint32_t flags = 0)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<std::uint8_t> pixels;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0)
        return pixels;
    image.format = format;
    image.flags |= flags;
    pixels.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0)
        pixels.clear();
    png_image_free(&image);
    return pixels;
}

// The CRC-32 of PNG chunks (ISO 3309, as zlib's crc32), over a chunk's type and data.
inline std::uint32_t PngCrc(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

inline std::uint32_t ReadU32Be(std::span<const std::uint8_t> d, std::size_t at)
{
    return std::uint32_t{d[at]} << 24 | std::uint32_t{d[at + 1]} << 16 |
           std::uint32_t{d[at + 2]} << 8 | std::uint32_t{d[at + 3]};
}

inline void WriteU32Be(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v)
{
    d[at] = static_cast<std::uint8_t>(v >> 24);
    d[at + 1] = static_cast<std::uint8_t>(v >> 16);
    d[at + 2] = static_cast<std::uint8_t>(v >> 8);
    d[at + 3] = static_cast<std::uint8_t>(v);
}

// Offset of the first chunk of that type (its length field), or 0 when there is none. Chunks
// start after the 8-byte signature: length, type, data, CRC.
inline std::size_t FindPngChunk(std::span<const std::uint8_t> png, std::string_view type)
{
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = ReadU32Be(png, at);
        if (std::string_view(reinterpret_cast<const char*>(png.data() + at + 4), 4) == type)
            return at;
        at += 12 + std::size_t{length};
    }
    return 0;
}

// Recomputes the CRC of the chunk at `at` after its data was edited.
inline void FixPngChunkCrc(std::vector<std::uint8_t>& png, std::size_t at)
{
    const std::uint32_t length = ReadU32Be(png, at);
    const std::uint32_t crc = PngCrc(std::span(png).subspan(at + 4, 4 + std::size_t{length}));
    WriteU32Be(png, at + 8 + length, crc);
}

} // namespace picbox::test
