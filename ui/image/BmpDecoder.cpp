// Decoding of uncompressed Windows and OS/2 bitmaps (BMP) into 32-bit pixels.
#include "BmpDecoder.h"

#include "ByteReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

namespace picbox {

namespace {

// Pixels are stored as one little-endian word B | G << 8 | R << 16 | X << 24.
static_assert(std::endian::native == std::endian::little);

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12; // OS/2 1.x: 16-bit sizes, 3-byte table entries
constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr std::uint32_t kOpaqueBlack = kOpaque;

// Windows information headers; each starts with the same 40-byte layout, and later versions
// only add fields (bit masks, colour space, profile) that an uncompressed picture does not use.
bool IsWindowsHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

struct BmpHeader {
    std::uint64_t dataOffset = 0;
    std::uint64_t tableOffset = 0; // right after the information header
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    bool topDown = false;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t entrySize = 4; // RGBQUAD; RGBTRIPLE after a core header
};

// Reads both headers; false when they are absent, truncated or of an unknown kind.
bool ReadBmpHeader(std::span<const std::uint8_t> data, BmpHeader& h)
{
    ByteReader in(data);
    if (in.U8() != 'B' || in.U8() != 'M')
        return false;
    in.Skip(8); // file size and reserved words: writers get the size wrong, and it is not needed
    h.dataOffset = in.U32Le();
    const std::uint32_t headerSize = in.U32Le();
    if (headerSize == kCoreHeaderSize) {
        h.width = in.U16Le();
        h.height = in.U16Le(); // unsigned here: core bitmaps are always bottom-up
        h.planes = in.U16Le();
        h.bitCount = in.U16Le();
        h.entrySize = 3;
    } else if (IsWindowsHeaderSize(headerSize)) {
        const std::int64_t width = in.I32Le();
        const std::int64_t height = in.I32Le(); // negative: rows stored top-down
        h.planes = in.U16Le();
        h.bitCount = in.U16Le();
        h.compression = in.U32Le();
        in.Skip(12); // image size and resolutions, not needed for uncompressed rows
        h.coloursUsed = in.U32Le();
        if (width <= 0 || height == 0)
            return false;
        h.width = static_cast<std::uint64_t>(width);
        h.topDown = height < 0;
        h.height = static_cast<std::uint64_t>(height < 0 ? -height : height);
    } else {
        return false;
    }
    h.tableOffset = kFileHeaderSize + headerSize;
    in.Seek(static_cast<std::size_t>(h.tableOffset)); // the whole header must be present
    return in.Ok();
}

// Fills `palette` (already all black) from the colour table, which starts right after the
// information header and ends before the pixel rows; false when a colours-used count declares
// a table that cannot be in the data at all.
bool ReadColourTable(std::span<const std::uint8_t> data, const BmpHeader& h,
                     std::array<std::uint32_t, 256>& palette)
{
    const std::uint64_t maxEntries = std::uint64_t{1} << h.bitCount;
    if (h.tableOffset + std::uint64_t{h.coloursUsed} * h.entrySize > data.size())
        return false;
    // Indices cannot reach beyond 2^bits. A table without a count is 2^bits entries long, but
    // some writers shorten it: entries overlapping the pixel rows are pixels, not colours.
    std::uint64_t entries = h.coloursUsed == 0 ? maxEntries : h.coloursUsed;
    entries = std::min(entries, maxEntries);
    entries = std::min(entries, (h.dataOffset - h.tableOffset) / h.entrySize);
    const auto count = static_cast<std::uint32_t>(entries); // at most 256
    const std::uint8_t* entry = data.data() + h.tableOffset;
    for (std::uint32_t i = 0; i < count; ++i, entry += h.entrySize)
        palette[i] = kOpaque | std::uint32_t{entry[0]} | (std::uint32_t{entry[1]} << 8) |
                     (std::uint32_t{entry[2]} << 16);
    return true;
}

void Store(std::uint8_t* out, std::uint32_t pixel) { std::memcpy(out, &pixel, 4); }

// Row converters: `src` holds at least the row's unpadded bytes, `out` width pixels.
// Bits are packed from the most significant end of each byte, as in every BMP.

void Convert1(const std::uint8_t* src, std::uint8_t* out, std::uint32_t width,
              const std::uint32_t* palette)
{
    const std::uint32_t whole = width / 8;
    for (std::uint32_t i = 0; i < whole; ++i, out += 32) {
        const unsigned byte = src[i];
        for (unsigned bit = 0; bit < 8; ++bit)
            Store(out + 4 * bit, palette[(byte >> (7 - bit)) & 1u]);
    }
    const unsigned byte = width % 8 != 0 ? src[whole] : 0u;
    for (unsigned bit = 0; bit < width % 8; ++bit)
        Store(out + 4 * bit, palette[(byte >> (7 - bit)) & 1u]);
}

void Convert4(const std::uint8_t* src, std::uint8_t* out, std::uint32_t width,
              const std::uint32_t* palette)
{
    const std::uint32_t pairs = width / 2;
    for (std::uint32_t i = 0; i < pairs; ++i, out += 8) {
        Store(out, palette[src[i] >> 4]);
        Store(out + 4, palette[src[i] & 0x0Fu]);
    }
    if (width % 2 != 0)
        Store(out, palette[src[pairs] >> 4]);
}

void Convert8(const std::uint8_t* src, std::uint8_t* out, std::uint32_t width,
              const std::uint32_t* palette)
{
    for (std::uint32_t x = 0; x < width; ++x)
        Store(out + 4 * x, palette[src[x]]);
}

void Convert24(const std::uint8_t* src, std::uint8_t* out, std::uint32_t width,
               const std::uint32_t*)
{
    // A 4-byte load takes B, G, R and the next pixel's first byte, which is still in the row;
    // the last pixel is read byte by byte.
    std::uint32_t x = 0;
    for (; x + 1 < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, src + 3 * x, 4);
        Store(out + 4 * x, pixel | kOpaque);
    }
    const std::uint8_t* last = src + 3 * x;
    Store(out + 4 * x, kOpaque | std::uint32_t{last[0]} | (std::uint32_t{last[1]} << 8) |
                           (std::uint32_t{last[2]} << 16));
}

void Convert32(const std::uint8_t* src, std::uint8_t* out, std::uint32_t width,
               const std::uint32_t*)
{
    for (std::uint32_t x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, src + 4 * x, 4);
        Store(out + 4 * x, pixel | kOpaque); // the fourth byte is not alpha in a BI_RGB bitmap
    }
}

using RowConverter = void (*)(const std::uint8_t*, std::uint8_t*, std::uint32_t,
                              const std::uint32_t*);

RowConverter ConverterFor(std::uint16_t bitCount)
{
    switch (bitCount) {
    case 1:
        return Convert1;
    case 4:
        return Convert4;
    case 8:
        return Convert8;
    case 24:
        return Convert24;
    case 32:
        return Convert32;
    default:
        return nullptr;
    }
}

std::optional<Picture> Decode(std::span<const std::uint8_t> data)
{
    BmpHeader h;
    if (!ReadBmpHeader(data, h))
        return std::nullopt;
    const RowConverter convert = ConverterFor(h.bitCount);
    if (convert == nullptr || h.compression != 0 || h.planes != 1)
        return std::nullopt;
    if (!PictureSizeAllowed(h.width, h.height))
        return std::nullopt;
    // Rows are padded to a multiple of 4 bytes; the last row needs only its pixel bytes.
    const std::uint64_t rowBytes = (h.width * h.bitCount + 7) / 8;
    const std::uint64_t stride = (h.width * h.bitCount + 31) / 32 * 4;
    if (h.dataOffset < h.tableOffset || h.dataOffset > data.size())
        return std::nullopt;
    const std::uint64_t available = data.size() - h.dataOffset;
    if (available < rowBytes)
        return std::nullopt; // not one row of the picture is there
    const std::uint64_t rowsPresent = std::min(h.height, (available - rowBytes) / stride + 1);

    std::array<std::uint32_t, 256> palette;
    palette.fill(kOpaqueBlack);
    if (h.bitCount <= 8 && !ReadColourTable(data, h, palette))
        return std::nullopt;

    std::optional<Picture> picture = AllocatePicture(h.width, h.height);
    if (!picture)
        return std::nullopt;
    const auto width = static_cast<std::uint32_t>(h.width);
    const auto height = static_cast<std::uint32_t>(h.height);
    const auto present = static_cast<std::uint32_t>(rowsPresent);
    for (std::uint32_t row = 0; row < height; ++row) {
        std::uint8_t* out = picture->Row(h.topDown ? row : height - 1 - row);
        if (row < present) {
            const std::uint64_t at = h.dataOffset + row * stride;
            convert(data.data() + static_cast<std::size_t>(at), out, width, palette.data());
        } else {
            for (std::uint32_t x = 0; x < width; ++x)
                Store(out + 4 * x, kOpaqueBlack);
        }
    }
    return picture;
}

} // namespace

std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> data)
{
    try {
        return Decode(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace picbox
