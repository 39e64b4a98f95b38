// ICO and CUR directories: the entry the picture box shows and the size it asks the system for.
#include "IconDirectory.h"

#include "ByteReader.h"
#include "Picture.h"

#include <algorithm>
#include <array>

namespace picbox {

namespace {

constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint16_t kTypeCursor = 2;
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint32_t kBitmapInfoHeaderSize = 40; // BITMAPINFOHEADER; older headers refused
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// One 16-byte directory entry. In a cursor the planes and bit-count words hold the hotspot.
struct IconEntry {
    std::uint8_t width;
    std::uint8_t height;
    std::uint8_t colourCount;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t size;
    std::uint32_t offset;
};

IconEntry ReadEntry(ByteReader& in)
{
    IconEntry e{};
    e.width = in.U8();
    e.height = in.U8();
    e.colourCount = in.U8();
    in.Skip(1); // reserved
    e.planes = in.U16Le();
    e.bitCount = in.U16Le();
    e.size = in.U32Le();
    e.offset = in.U32Le();
    return e;
}

std::uint32_t U32Be(std::span<const std::uint8_t> d, std::size_t at)
{
    return std::uint32_t{d[at]} << 24 | std::uint32_t{d[at + 1]} << 16 |
           std::uint32_t{d[at + 2]} << 8 | std::uint32_t{d[at + 3]};
}

// Width, height and bits per pixel from the IHDR chunk that must follow the PNG signature:
// length 13, "IHDR", width and height big-endian, bit depth, colour type.
bool ReadPngSize(std::span<const std::uint8_t> png, IconChoice& choice)
{
    if (png.size() < 8 + 8 + 13 || U32Be(png, 8) != 13 || png[12] != 'I' || png[13] != 'H' ||
        png[14] != 'D' || png[15] != 'R')
        return false;
    const std::uint32_t width = U32Be(png, 16);
    const std::uint32_t height = U32Be(png, 20);
    if (!PictureSizeAllowed(width, height))
        return false;
    const std::uint32_t bitDepth = png[24];
    std::uint32_t channels = 0;
    switch (png[25]) {
    case 0: // grey
    case 3: // palette
        channels = 1;
        break;
    case 2: // RGB
        channels = 3;
        break;
    case 4: // grey and alpha
        channels = 2;
        break;
    case 6: // RGBA
        channels = 4;
        break;
    default:
        return false;
    }
    choice.width = static_cast<std::int32_t>(width);
    choice.height = static_cast<std::int32_t>(height);
    choice.bitCount = static_cast<std::uint16_t>(bitDepth * channels); // at most 16 · 4
    return true;
}

// The BITMAPINFOHEADER that starts a bitmap image: its height covers the colour image and the
// AND mask stacked, so the icon is half as high.
bool ReadBitmapSize(std::span<const std::uint8_t> image, IconChoice& choice)
{
    ByteReader in(image);
    const std::uint32_t headerSize = in.U32Le();
    const std::int32_t width = in.I32Le();
    const std::int32_t fullHeight = in.I32Le();
    in.Skip(2); // planes
    const std::uint16_t bitCount = in.U16Le();
    if (!in.Ok() || headerSize < kBitmapInfoHeaderSize || headerSize > image.size() || width <= 0 ||
        fullHeight <= 0)
        return false;
    const std::int32_t height = fullHeight / 2;
    if (!PictureSizeAllowed(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)))
        return false;
    choice.width = width;
    choice.height = height;
    choice.bitCount = bitCount;
    return true;
}

} // namespace

std::optional<IconChoice> ChooseIconEntry(std::span<const std::uint8_t> data)
{
    ByteReader in(data);
    const std::uint16_t reserved = in.U16Le();
    const std::uint16_t type = in.U16Le();
    const std::uint16_t count = in.U16Le();
    if (!in.Ok() || reserved != 0 || (type != kTypeIcon && type != kTypeCursor) || count == 0)
        return std::nullopt;
    // The whole directory must be there, not only the entries up to the chosen one.
    if (kHeaderSize + std::uint64_t{count} * kEntrySize > data.size())
        return std::nullopt;

    std::size_t chosen = count - 1u;
    IconEntry entry{};
    for (std::size_t i = 0; i < count; ++i) {
        in.Seek(kHeaderSize + i * kEntrySize);
        entry = ReadEntry(in);
        // A colour-count byte of 0 (256 colours or more) is below 16: the rule is on the byte.
        if (entry.width == 32 && entry.colourCount >= 16) {
            chosen = i;
            break;
        }
    }
    // Without a match the loop ends on the last entry, which is the one taken.
    if (!in.Ok() || std::uint64_t{entry.offset} + entry.size > data.size())
        return std::nullopt;

    IconChoice choice;
    choice.index = chosen;
    choice.image = data.subspan(entry.offset, entry.size);
    if (type == kTypeCursor) {
        choice.hotspotX = entry.planes;
        choice.hotspotY = entry.bitCount;
    }
    choice.isPng = choice.image.size() >= kPngSignature.size() &&
                   std::equal(kPngSignature.begin(), kPngSignature.end(), choice.image.begin());
    const bool sized =
        choice.isPng ? ReadPngSize(choice.image, choice) : ReadBitmapSize(choice.image, choice);
    if (!sized)
        return std::nullopt;
    return choice;
}

} // namespace picbox
