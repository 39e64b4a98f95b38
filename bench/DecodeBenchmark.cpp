// Decoding speed of the picture box's decoders against reference libraries and a plain copy.
//
// Every case decodes the same in-memory file, made at start-up from photo-like content, into a
// fresh buffer. The floor is one allocation and copy of the decoded size. Run with
//   picbox_decode_benchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// and `--write-fixtures=DIR` to write the files to DIR (for peak memory runs of imgdecode).
#include "ui/image/BmpDecoder.h"
#include "ui/image/GifDecoder.h"
#include "ui/image/JpegDecoder.h"
#include "ui/image/PcxDecoder.h"
#include "ui/image/PngDecoder.h"

#include <benchmark/benchmark.h>

#include <cstdio> // before jpeglib.h, which uses FILE
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// xorshift32: fast, and the same content on every run.
class Random {
public:
    explicit Random(std::uint32_t seed) : s_(seed ? seed : 1) {}
    std::uint32_t Next()
    {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    int Noise(int amplitude) { return static_cast<int>(Next() % (2u * amplitude + 1)) - amplitude; }

private:
    std::uint32_t s_;
};

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// R, G, B bytes, top-down.
struct RgbImage {
    std::uint32_t width = 0, height = 0;
    Bytes rgb;
};

// A smooth gradient with a few dozen shaded shapes and sensor-like noise over everything,
// shifted by `phase` so that animation frames differ.
RgbImage MakePhoto(std::uint32_t width, std::uint32_t height, std::uint32_t seed, int phase = 0)
{
    RgbImage im{width, height, Bytes(std::size_t{width} * height * 3)};
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* p = im.rgb.data() + std::size_t{y} * width * 3;
        for (std::uint32_t x = 0; x < width; ++x, p += 3) {
            const int gx = static_cast<int>((x + static_cast<std::uint32_t>(phase)) * 255 / width);
            const int gy = static_cast<int>(y * 255 / height);
            p[0] = Clamp(gx);
            p[1] = Clamp(gy);
            p[2] = Clamp((gx + gy) / 2 + 40);
        }
    }
    Random shapes(seed * 7 + 3);
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    for (int s = 0; s < 60; ++s) {
        const int cx = static_cast<int>(shapes.Next() % width) + phase;
        const int cy = static_cast<int>(shapes.Next() % height);
        const int r = 4 + static_cast<int>(shapes.Next() % (std::min(width, height) / 10));
        const int colour[3] = {static_cast<int>(shapes.Next() % 256),
                               static_cast<int>(shapes.Next() % 256),
                               static_cast<int>(shapes.Next() % 256)};
        const bool disc = (s & 1) != 0;
        for (int y = std::max(0, cy - r); y < std::min(h, cy + r); ++y)
            for (int x = std::max(0, cx - r); x < std::min(w, cx + r); ++x) {
                if (disc && (x - cx) * (x - cx) + (y - cy) * (y - cy) > r * r)
                    continue;
                const int shade = (y - cy) * 40 / r; // lit from above
                std::uint8_t* p = im.rgb.data() + (std::size_t(y) * width + std::size_t(x)) * 3;
                for (int c = 0; c < 3; ++c)
                    p[c] = Clamp(colour[c] - shade);
            }
    }
    Random noise(seed);
    for (auto& v : im.rgb)
        v = Clamp(v + noise.Noise(8));
    return im;
}

// 3-3-2 palette indices with ordered dithering, as a quantiser gives for a photo: a fixed
// 256-colour table.
Bytes Quantise(const RgbImage& im, std::array<std::uint8_t, 768>& palette)
{
    static constexpr int kBayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<std::uint8_t>((i >> 5) * 255 / 7);
        palette[i * 3 + 1] = static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7);
        palette[i * 3 + 2] = static_cast<std::uint8_t>((i & 3) * 255 / 3);
    }
    Bytes indices(std::size_t{im.width} * im.height);
    for (std::uint32_t y = 0; y < im.height; ++y)
        for (std::uint32_t x = 0; x < im.width; ++x) {
            const std::size_t i = std::size_t{y} * im.width + x;
            const std::uint8_t* p = &im.rgb[i * 3];
            const int d = kBayer[y & 3][x & 3];
            const int r = std::min(7, (p[0] * 7 + d * 16) / 255);
            const int g = std::min(7, (p[1] * 7 + d * 16) / 255);
            const int b = std::min(3, (p[2] * 3 + d * 16) / 255);
            indices[i] = static_cast<std::uint8_t>(r << 5 | g << 2 | b);
        }
    return indices;
}

// One bit per pixel, ordered dithering of the luminance; true is white.
std::vector<bool> Dither(const RgbImage& im)
{
    static constexpr int kBayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    std::vector<bool> bits(std::size_t{im.width} * im.height);
    for (std::uint32_t y = 0; y < im.height; ++y)
        for (std::uint32_t x = 0; x < im.width; ++x) {
            const std::uint8_t* p = &im.rgb[(std::size_t{y} * im.width + x) * 3];
            const int luma = (p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8;
            bits[std::size_t{y} * im.width + x] = luma * 16 > kBayer[y & 3][x & 3] * 255 + 128;
        }
    return bits;
}

void Put16(Bytes& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A bottom-up bitmap with the 40-byte header; 1, 8, 24 or 32 bits per pixel.
Bytes EncodeBmp(const RgbImage& im, int bits)
{
    std::array<std::uint8_t, 768> palette{};
    const Bytes indices = bits == 8 ? Quantise(im, palette) : Bytes{};
    const std::vector<bool> mono = bits == 1 ? Dither(im) : std::vector<bool>{};
    const std::uint32_t colours = bits == 8 ? 256 : bits == 1 ? 2 : 0;
    const std::uint32_t stride = (im.width * static_cast<std::uint32_t>(bits) + 31) / 32 * 4;
    const std::uint32_t offset = 14 + 40 + colours * 4;
    Bytes out;
    out.reserve(offset + std::size_t{stride} * im.height);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + stride * im.height);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, im.width);
    Put32(out, im.height);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    for (std::uint32_t v : {0u, stride * im.height, 2835u, 2835u, colours, 0u})
        Put32(out, v);
    for (std::uint32_t i = 0; i < colours; ++i) {
        const std::uint8_t grey = i ? 255 : 0;
        const std::uint8_t* c = bits == 8 ? &palette[i * 3] : nullptr;
        const std::uint8_t entry[4] = {c ? c[2] : grey, c ? c[1] : grey, c ? c[0] : grey, 0};
        out.insert(out.end(), entry, entry + 4);
    }
    for (std::uint32_t row = im.height; row-- > 0;) {
        const std::size_t start = out.size();
        const std::size_t first = std::size_t{row} * im.width;
        for (std::uint32_t x = 0; x < im.width; ++x) {
            const std::uint8_t* p = &im.rgb[(first + x) * 3];
            if (bits == 24 || bits == 32) {
                out.insert(out.end(), {p[2], p[1], p[0]});
                if (bits == 32)
                    out.push_back(0);
            } else if (bits == 8) {
                out.push_back(indices[first + x]);
            } else if (x % 8 == 0) {
                std::uint8_t packed = 0;
                for (std::uint32_t b = 0; b < 8 && x + b < im.width; ++b)
                    packed = static_cast<std::uint8_t>(packed | (mono[first + x + b] << (7 - b)));
                out.push_back(packed);
            }
        }
        out.resize(start + stride, 0);
    }
    return out;
}

// PCX run-length encoding of one scanline: runs of up to 63, and a count byte before any
// single byte of 0xC0 or more.
void PcxRle(Bytes& out, const std::uint8_t* line, std::size_t n)
{
    for (std::size_t i = 0; i < n;) {
        std::size_t run = 1;
        while (i + run < n && run < 63 && line[i + run] == line[i])
            ++run;
        if (run > 1 || line[i] >= 0xC0)
            out.push_back(static_cast<std::uint8_t>(0xC0 | run));
        out.push_back(line[i]);
        i += run;
    }
}

Bytes EncodePcx(const RgbImage& im, int bits)
{
    std::array<std::uint8_t, 768> palette{};
    const Bytes indices = bits == 8 ? Quantise(im, palette) : Bytes{};
    const std::vector<bool> mono = bits == 1 ? Dither(im) : std::vector<bool>{};
    std::uint32_t bytesPerLine = (im.width * static_cast<std::uint32_t>(bits) + 7) / 8;
    bytesPerLine += bytesPerLine & 1;
    Bytes out(128, 0);
    out[0] = 0x0A;
    out[1] = bits == 8 ? 5 : 3;
    out[2] = 1;
    out[3] = static_cast<std::uint8_t>(bits);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put16(8, im.width - 1);
    put16(10, im.height - 1);
    put16(12, 72);
    put16(14, 72);
    if (bits == 1)
        std::memset(&out[16 + 3], 0xFF, 3); // header palette: black, white
    out[65] = 1;
    put16(66, bytesPerLine);
    put16(68, 1);
    Bytes line(bytesPerLine);
    for (std::uint32_t y = 0; y < im.height; ++y) {
        std::fill(line.begin(), line.end(), 0);
        const std::size_t first = std::size_t{y} * im.width;
        for (std::uint32_t x = 0; x < im.width; ++x) {
            if (bits == 8)
                line[x] = indices[first + x];
            else if (mono[first + x])
                line[x / 8] = static_cast<std::uint8_t>(line[x / 8] | (0x80 >> (x % 8)));
        }
        PcxRle(out, line.data(), line.size());
    }
    if (bits == 8) {
        out.push_back(0x0C);
        out.insert(out.end(), palette.begin(), palette.end());
    }
    return out;
}

// GIF LZW with variable code width and a clear code whenever the table fills. The dictionary is
// keyed by (prefix code, byte) with a generation stamp, so clearing it costs nothing.
class LzwEncoder {
public:
    Bytes Encode(const std::uint8_t* indices, std::size_t n, int minCodeSize)
    {
        Bytes out;
        const unsigned clear = 1u << minCodeSize;
        ++generation_;
        unsigned next = clear + 2;
        int width = minCodeSize + 1;
        std::uint32_t acc = 0;
        int used = 0;
        auto emit = [&](unsigned code) {
            acc |= code << used;
            used += width;
            while (used >= 8) {
                out.push_back(static_cast<std::uint8_t>(acc));
                acc >>= 8;
                used -= 8;
            }
        };
        emit(clear);
        unsigned prefix = indices[0];
        for (std::size_t i = 1; i < n; ++i) {
            const std::size_t key = std::size_t{prefix} * 256 + indices[i];
            if (stamp_[key] == generation_) {
                prefix = code_[key];
                continue;
            }
            emit(prefix);
            if (next < 4096) {
                stamp_[key] = generation_;
                code_[key] = static_cast<std::uint16_t>(next++);
                if (next > (1u << width) && width < 12)
                    ++width;
            } else {
                emit(clear);
                ++generation_;
                next = clear + 2;
                width = minCodeSize + 1;
            }
            prefix = indices[i];
        }
        emit(prefix);
        if (next < 4096 && next + 1 > (1u << width) && width < 12)
            ++width; // the decoder adds an entry for the last code before reading the end code
        emit(clear + 1);
        if (used > 0)
            out.push_back(static_cast<std::uint8_t>(acc));
        return out;
    }

private:
    std::vector<std::uint32_t> stamp_ = std::vector<std::uint32_t>(4096 * 256, 0);
    std::vector<std::uint16_t> code_ = std::vector<std::uint16_t>(4096 * 256, 0);
    std::uint32_t generation_ = 0;
};

void PutSubBlocks(Bytes& out, const Bytes& data)
{
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
}

// A GIF89a of full-screen frames over one global 3-3-2 table. In an animation, each frame after
// the first marks the pixels unchanged since the previous frame transparent (index 255, left out
// of the colours), as an optimising encoder does; every frame waits 4 hundredths.
Bytes EncodeGif(std::uint32_t width, std::uint32_t height, int frames)
{
    LzwEncoder lzw;
    std::array<std::uint8_t, 768> palette{};
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, width);
    Put16(out, height);
    out.insert(out.end(), {0xF7, 0, 0});
    Bytes previous;
    for (int f = 0; f < frames; ++f) {
        Bytes indices = Quantise(MakePhoto(width, height, 99, f * 4), palette);
        for (auto& i : indices)
            i = std::min<std::uint8_t>(i, 254);
        if (f == 0)
            out.insert(out.end(), palette.begin(), palette.end());
        const Bytes current = indices;
        if (f > 0)
            for (std::size_t i = 0; i < indices.size(); ++i)
                if (indices[i] == previous[i])
                    indices[i] = 255;
        previous = current;
        if (frames > 1) {
            out.insert(out.end(), {0x21, 0xF9, 4, static_cast<std::uint8_t>(f > 0 ? 0x05 : 0x04), 4,
                                   0, 255, 0});
        }
        out.push_back(0x2C);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, width);
        Put16(out, height);
        out.push_back(0);
        out.push_back(8);
        PutSubBlocks(out, lzw.Encode(indices.data(), indices.size(), 8));
    }
    out.push_back(0x3B);
    return out;
}

Bytes EncodeJpeg(const RgbImage& im, int quality)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = im.width;
    cinfo.image_height = im.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&im.rgb[std::size_t{cinfo.next_scanline} * im.width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// RGBA with an alpha ramp, so that the PNG has a real alpha channel.
Bytes EncodePng(const RgbImage& im)
{
    Bytes rgba(std::size_t{im.width} * im.height * 4);
    for (std::size_t i = 0, n = std::size_t{im.width} * im.height; i < n; ++i) {
        std::memcpy(&rgba[i * 4], &im.rgb[i * 3], 3);
        rgba[i * 4 + 3] = static_cast<std::uint8_t>(255 - (i % im.width) * 128 / im.width);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = im.width;
    image.height = im.height;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error("png size");
    Bytes out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error("png write");
    out.resize(size);
    png_image_free(&image);
    return out;
}

struct Fixtures {
    Bytes bmp24, bmp32, bmp8, bmp1, pcx8, pcx1, gifStill, gifAnimation, jpeg, png;
    Bytes copySource; // the largest decoded size, for the copy floor
};

const Fixtures& Files()
{
    static const Fixtures fixtures = [] {
        Fixtures f;
        const RgbImage big = MakePhoto(4000, 3000, 1);
        const RgbImage hd = MakePhoto(1920, 1080, 2);
        f.bmp24 = EncodeBmp(big, 24);
        f.bmp32 = EncodeBmp(big, 32);
        f.bmp8 = EncodeBmp(big, 8);
        f.bmp1 = EncodeBmp(big, 1);
        f.pcx8 = EncodePcx(big, 8);
        f.pcx1 = EncodePcx(big, 1);
        f.gifStill = EncodeGif(1920, 1080, 1);
        f.gifAnimation = EncodeGif(480, 270, 60);
        f.jpeg = EncodeJpeg(hd, 90);
        f.png = EncodePng(hd);
        f.copySource.assign(std::size_t{4000} * 3000 * 4, 0x5A);
        return f;
    }();
    return fixtures;
}

// The floor: one fresh buffer of the decoded size (4 bytes a pixel), filled by a copy.
void CopyFloor(benchmark::State& state, std::size_t bytes)
{
    const std::uint8_t* source = Files().copySource.data();
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[bytes]);
        std::memcpy(out.get(), source, bytes);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
}

template <auto Decode> void Picbox(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        auto picture = Decode(std::span<const std::uint8_t>(*file));
        if (!picture) {
            state.SkipWithError("picbox decode failed");
            return;
        }
        benchmark::DoNotOptimize(picture->pixels.get());
    }
}

void StbImage(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels =
            stbi_load_from_memory(file->data(), static_cast<int>(file->size()), &w, &h, &n, 4);
        if (!pixels) {
            state.SkipWithError(stbi_failure_reason());
            return;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}

void StbGifAnimation(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        int* delays = nullptr;
        int w = 0, h = 0, frames = 0, n = 0;
        stbi_uc* pixels = stbi_load_gif_from_memory(file->data(), static_cast<int>(file->size()),
                                                    &delays, &w, &h, &frames, &n, 4);
        if (!pixels) {
            state.SkipWithError(stbi_failure_reason());
            return;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
        stbi_image_free(delays);
    }
}

struct MemoryReader {
    const Bytes* file;
    std::size_t at;
};

int ReadGifBytes(GifFileType* gif, GifByteType* to, int n)
{
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(n), reader->file->size() - reader->at);
    std::memcpy(to, reader->file->data() + reader->at, count);
    reader->at += count;
    return static_cast<int>(count);
}

// giflib as a viewer uses it: slurp every frame, then compose each onto an RGBA canvas with its
// transparency and disposal.
void Giflib(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        MemoryReader reader{file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, ReadGifBytes, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError("giflib failed");
            DGifCloseFile(gif, &error);
            return;
        }
        const std::size_t width = static_cast<std::size_t>(gif->SWidth);
        const std::size_t height = static_cast<std::size_t>(gif->SHeight);
        std::unique_ptr<std::uint8_t[]> canvas(new std::uint8_t[width * height * 4]);
        std::memset(canvas.get(), 0xF0, width * height * 4);
        std::unique_ptr<std::uint8_t[]> saved;
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& frame = gif->SavedImages[i];
            GraphicsControlBlock gcb{};
            gcb.TransparentColor = NO_TRANSPARENT_COLOR;
            DGifSavedExtensionToGCB(gif, i, &gcb);
            const ColorMapObject* map =
                frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
            const auto left = static_cast<std::size_t>(frame.ImageDesc.Left);
            const auto top = static_cast<std::size_t>(frame.ImageDesc.Top);
            const auto w = static_cast<std::size_t>(frame.ImageDesc.Width);
            const auto h = static_cast<std::size_t>(frame.ImageDesc.Height);
            if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
                saved.reset(new std::uint8_t[width * height * 4]);
                std::memcpy(saved.get(), canvas.get(), width * height * 4);
            }
            for (std::size_t y = 0; y < h && top + y < height; ++y) {
                const GifByteType* in = frame.RasterBits + y * w;
                std::uint8_t* out = canvas.get() + ((top + y) * width + left) * 4;
                for (std::size_t x = 0; x < w && left + x < width; ++x, out += 4) {
                    if (in[x] == gcb.TransparentColor || in[x] >= map->ColorCount)
                        continue;
                    const GifColorType c = map->Colors[in[x]];
                    out[0] = c.Red;
                    out[1] = c.Green;
                    out[2] = c.Blue;
                    out[3] = 255;
                }
            }
            benchmark::DoNotOptimize(canvas.get());
            if (gcb.DisposalMode == DISPOSE_PREVIOUS)
                std::memcpy(canvas.get(), saved.get(), width * height * 4);
            else if (gcb.DisposalMode == DISPOSE_BACKGROUND)
                for (std::size_t y = top; y < top + h && y < height; ++y)
                    std::memset(canvas.get() + (y * width + left) * 4, 0xF0,
                                std::min(w, width - left) * 4);
        }
        DGifCloseFile(gif, &error);
    }
}

// The animation the picture box plays: every frame of one loop composed on the canvas.
void PicboxGifAnimation(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        auto animation = picbox::GifAnimation::Open(std::span<const std::uint8_t>(*file), 0xF0F0F0);
        if (!animation) {
            state.SkipWithError("picbox GIF open failed");
            return;
        }
        for (std::size_t i = 0, n = animation->FramesPerLoop(); i < n; ++i) {
            if (!animation->Advance()) {
                state.SkipWithError("picbox GIF frame failed");
                return;
            }
            benchmark::DoNotOptimize(animation->Canvas().pixels.get());
        }
    }
}

// libjpeg-turbo called directly, into BGRX as the picture box keeps it.
void Libjpeg(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr jerr{};
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file->data(), static_cast<unsigned long>(file->size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGRX;
        jpeg_start_decompress(&cinfo);
        const std::size_t stride = std::size_t{cinfo.output_width} * 4;
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[stride * cinfo.output_height]);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[4];
            for (unsigned r = 0; r < 4; ++r)
                rows[r] = out.get() +
                          stride * std::min(cinfo.output_scanline + r, cinfo.output_height - 1);
            jpeg_read_scanlines(&cinfo, rows,
                                std::min(4u, cinfo.output_height - cinfo.output_scanline));
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(out.get());
    }
}

// libpng's simplified interface called directly, into BGRA.
void Libpng(benchmark::State& state, const Bytes* file)
{
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, file->data(), file->size())) {
            state.SkipWithError("libpng failed");
            return;
        }
        image.format = PNG_FORMAT_BGRA;
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[PNG_IMAGE_SIZE(image)]);
        png_image_finish_read(&image, nullptr, out.get(), 0, nullptr);
        png_image_free(&image);
        benchmark::DoNotOptimize(out.get());
    }
}

void Register(const std::string& name, void (*run)(benchmark::State&, const Bytes*),
              const Bytes* file)
{
    benchmark::RegisterBenchmark(name.c_str(), run, file)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void RegisterFloor(const std::string& name, std::size_t bytes)
{
    benchmark::RegisterBenchmark(name.c_str(), CopyFloor, bytes)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void RegisterAll()
{
    const Fixtures& f = Files();
    constexpr std::size_t kBig = std::size_t{4000} * 3000 * 4;
    for (auto [name, file] : {std::pair{"bmp24_4000x3000", &f.bmp24},
                              {"bmp32_4000x3000", &f.bmp32},
                              {"bmp8_4000x3000", &f.bmp8},
                              {"bmp1_4000x3000", &f.bmp1}}) {
        Register(std::string(name) + "/picbox", Picbox<picbox::DecodeBmp>, file);
        Register(std::string(name) + "/stb_image", StbImage, file);
    }
    RegisterFloor("copy_4000x3000/floor", kBig);
    for (auto [name, file] : {std::pair{"pcx8_4000x3000", &f.pcx8}, {"pcx1_4000x3000", &f.pcx1}})
        Register(std::string(name) + "/picbox", Picbox<picbox::DecodePcx>, file);
    Register("gif_1920x1080_still/picbox", Picbox<picbox::DecodeGifStill>, &f.gifStill);
    Register("gif_1920x1080_still/giflib", Giflib, &f.gifStill);
    Register("gif_1920x1080_still/stb_image", StbImage, &f.gifStill);
    Register("gif_480x270x60/picbox", PicboxGifAnimation, &f.gifAnimation);
    Register("gif_480x270x60/giflib", Giflib, &f.gifAnimation);
    Register("gif_480x270x60/stb_image", StbGifAnimation, &f.gifAnimation);
    Register("jpeg_1920x1080_q90/picbox", Picbox<picbox::DecodeJpeg>, &f.jpeg);
    Register("jpeg_1920x1080_q90/libjpeg", Libjpeg, &f.jpeg);
    Register("jpeg_1920x1080_q90/stb_image", StbImage, &f.jpeg);
    Register("png_1920x1080_rgba/picbox", Picbox<picbox::DecodePng>, &f.png);
    Register("png_1920x1080_rgba/libpng", Libpng, &f.png);
    Register("png_1920x1080_rgba/stb_image", StbImage, &f.png);
    RegisterFloor("copy_1920x1080/floor", std::size_t{1920} * 1080 * 4);
}

// Writes the fixtures as files, for measuring imgdecode's peak memory on them.
int WriteFixtures(const std::filesystem::path& dir)
{
    const Fixtures& f = Files();
    std::filesystem::create_directories(dir);
    const std::pair<const char*, const Bytes*> files[] = {
        {"bmp24.bmp", &f.bmp24},    {"bmp32.bmp", &f.bmp32},
        {"bmp8.bmp", &f.bmp8},      {"bmp1.bmp", &f.bmp1},
        {"pcx8.pcx", &f.pcx8},      {"pcx1.pcx", &f.pcx1},
        {"still.gif", &f.gifStill}, {"animation.gif", &f.gifAnimation},
        {"photo.jpg", &f.jpeg},     {"photo.png", &f.png}};
    for (const auto& [name, bytes] : files) {
        std::FILE* out = std::fopen((dir / name).string().c_str(), "wb");
        if (!out || std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size()) {
            std::fprintf(stderr, "cannot write %s\n", (dir / name).string().c_str());
            if (out)
                std::fclose(out);
            return 1;
        }
        std::fclose(out);
        std::printf("%s %zu bytes\n", (dir / name).string().c_str(), bytes->size());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    constexpr std::string_view kWriteFixtures = "--write-fixtures=";
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with(kWriteFixtures))
            return WriteFixtures(std::string_view(argv[i]).substr(kWriteFixtures.size()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
