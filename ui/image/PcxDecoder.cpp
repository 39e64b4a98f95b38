// Decoding of run-length encoded PCX pictures (one plane of 8 bits or of 1 bit) into 32-bit pixels.
#include "PcxDecoder.h"

#include "ByteReader.h"
#include "ImageFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace picbox {

namespace {

// Pixels are stored as one little-endian word B | G << 8 | R << 16 | X << 24.
static_assert(std::endian::native == std::endian::little);

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kMinimumSize = kHeaderSize + 1;
constexpr std::size_t kPaletteSize = 768;
constexpr std::uint8_t kPaletteMarker = 0x0C;
constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

struct PcxHeader {
    bool oneBit = false;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bytesPerLine = 0;
};

// The window's bounds are inclusive: Xmin, Ymin, Xmax, Ymax at offset 4, planes at 65 and
// bytes per scanline (per plane) at 66.
bool ReadPcxHeader(std::span<const std::uint8_t> data, PcxHeader& h)
{
    const ImageFormat kind = RecogniseFormat(data);
    if (kind != ImageFormat::Pcx8 && kind != ImageFormat::Pcx1)
        return false;
    h.oneBit = kind == ImageFormat::Pcx1;
    ByteReader in(data, 4);
    const std::int64_t xMin = in.U16Le();
    const std::int64_t yMin = in.U16Le();
    const std::int64_t xMax = in.U16Le();
    const std::int64_t yMax = in.U16Le();
    in.Seek(65);
    h.planes = in.U8();
    h.bytesPerLine = in.U16Le();
    if (!in.Ok() || xMax < xMin || yMax < yMin)
        return false;
    h.width = static_cast<std::uint64_t>(xMax - xMin + 1);
    h.height = static_cast<std::uint64_t>(yMax - yMin + 1);
    return true;
}

void Store(std::uint8_t* out, std::uint32_t pixel) { std::memcpy(out, &pixel, 4); }

void FillBlack(std::uint8_t* out, std::uint32_t count)
{
    for (std::uint32_t x = 0; x < count; ++x)
        Store(out + 4 * x, kOpaqueBlack);
}

// Writes `width` pixels from the first `decoded` bytes of a scanline; pixels the scanline did
// not reach are black.
void Convert8(const std::uint8_t* line, std::size_t decoded, std::uint8_t* out, std::uint32_t width,
              const std::uint32_t* palette)
{
    const auto shown = static_cast<std::uint32_t>(std::min<std::size_t>(decoded, width));
    for (std::uint32_t x = 0; x < shown; ++x)
        Store(out + 4 * x, palette[line[x]]);
    FillBlack(out + 4 * std::size_t{shown}, width - shown);
}

// Bits are packed from the most significant end of each byte; a set bit is white, made by
// filling the colour bytes from the bit without a branch.
void Convert1(const std::uint8_t* line, std::size_t decoded, std::uint8_t* out, std::uint32_t width,
              const std::uint32_t*)
{
    const auto shown = static_cast<std::uint32_t>(std::min<std::uint64_t>(decoded * 8, width));
    const std::uint32_t whole = shown / 8;
    for (std::uint32_t i = 0; i < whole; ++i, out += 32) {
        const std::uint32_t byte = line[i];
        for (unsigned bit = 0; bit < 8; ++bit) {
            const std::uint32_t set = (byte >> (7 - bit)) & 1u;
            Store(out + 4 * bit, kOpaqueBlack | (0u - set));
        }
    }
    const std::uint32_t byte = shown % 8 != 0 ? line[whole] : 0u;
    for (unsigned bit = 0; bit < shown % 8; ++bit) {
        const std::uint32_t set = (byte >> (7 - bit)) & 1u;
        Store(out + 4 * bit, kOpaqueBlack | (0u - set));
    }
    FillBlack(out + 4 * std::size_t{shown % 8}, width - shown);
}

// Run-length decoding of one data stream into scanlines. A byte with both top bits set is a
// count (its low 6 bits) for the byte after it; any other byte stands for itself. A run may go
// on into the next scanline, so the state lives between calls.
class RunDecoder {
public:
    RunDecoder(const std::uint8_t* begin, const std::uint8_t* end) : in_(begin), end_(end) {}

    // Fills `line` with up to `size` bytes; returns how many, fewer only at the end of the data.
    std::size_t Fill(std::uint8_t* line, std::size_t size)
    {
        std::size_t filled = FillFast(line, size);
        while (filled < size) {
            if (runLeft_ == 0) {
                if (in_ == end_)
                    break;
                const std::uint8_t byte = *in_++;
                if (byte < 0xC0) {
                    line[filled++] = byte;
                    continue;
                }
                if (in_ == end_)
                    break; // a count without its value
                runLeft_ = byte & 0x3Fu;
                runValue_ = *in_++;
                continue;
            }
            const std::size_t n = std::min<std::size_t>(runLeft_, size - filled);
            std::memset(line + filled, runValue_, n);
            filled += n;
            runLeft_ -= static_cast<std::uint32_t>(n);
        }
        return filled;
    }

private:
    static constexpr std::size_t kLongestRun = 63;
    // Data bytes are looked at a machine word at a time: 4 in the 32-bit program (where 64-bit
    // bit scans are library calls), 8 in a 64-bit build.
    using Word = std::uintptr_t;
    static constexpr std::size_t kWordBytes = sizeof(Word);
    static constexpr Word kEveryByte = ~Word{0} / 0xFF; // 0x01 in every byte
    static constexpr Word kTopBits = kEveryByte * 0x80;

    // The bulk of a scanline, while the next literals and any run fit in it and a word and a
    // pair of data bytes are left: no run is carried over, so each step copies the literals
    // among the next word of data (up to the first count byte) at once, then writes that
    // count's run as two words of its value (only longer runs write more). Photographs mix
    // literals and runs at random, so the step computes where they end instead of testing each
    // byte. Bytes written beyond `filled` are overwritten later. Fill() finishes the scanline
    // with exact checks.
    std::size_t FillFast(std::uint8_t* line, std::size_t size)
    {
        if (runLeft_ != 0)
            return 0;
        std::size_t filled = 0;
        while (size - filled >= kWordBytes + kLongestRun + 8 &&
               static_cast<std::size_t>(end_ - in_) >= kWordBytes + 2) {
            Word next;
            std::memcpy(&next, in_, kWordBytes);
            // Count bytes have both top bits set; the first data byte is the lowest.
            const Word countBytes = next & (next << 1) & kTopBits;
            const auto literals = static_cast<unsigned>(std::countr_zero(countBytes)) / 8;
            std::memcpy(line + filled, in_, kWordBytes);
            filled += literals;
            in_ += literals;

            const unsigned isRun = literals < kWordBytes ? 1u : 0u; // else in_[0] is no count
            const std::uint8_t value = in_[1];
            const std::size_t count = isRun * (in_[0] & 0x3Fu); // 0 for a 0xC0 count
            const Word pattern = value * kEveryByte;
            std::memcpy(line + filled, &pattern, kWordBytes);
            std::memcpy(line + filled + kWordBytes, &pattern, kWordBytes);
            if (count > 2 * kWordBytes)
                std::memset(line + filled + 2 * kWordBytes, value, count - 2 * kWordBytes);
            filled += count;
            in_ += 2 * isRun;
        }
        return filled;
    }

    const std::uint8_t* in_;
    const std::uint8_t* end_;
    std::uint32_t runLeft_ = 0;
    std::uint8_t runValue_ = 0;
};

std::optional<Picture> Decode(std::span<const std::uint8_t> data)
{
    if (data.size() < kMinimumSize)
        return std::nullopt;
    PcxHeader h;
    if (!ReadPcxHeader(data, h) || h.planes != 1)
        return std::nullopt;
    if (!PictureSizeAllowed(h.width, h.height))
        return std::nullopt;
    const std::uint64_t neededBytes = h.oneBit ? (h.width + 7) / 8 : h.width;
    if (h.bytesPerLine < neededBytes)
        return std::nullopt;

    std::array<std::uint32_t, 256> palette{};
    std::size_t pixelEnd = data.size();
    if (!h.oneBit) {
        const bool roomForPalette = data.size() >= kHeaderSize + kPaletteSize + 1;
        const std::size_t markerAt = roomForPalette ? data.size() - kPaletteSize - 1 : 0;
        if (roomForPalette && data[markerAt] == kPaletteMarker) {
            const std::uint8_t* rgb = data.data() + markerAt + 1;
            for (std::uint32_t i = 0; i < 256; ++i, rgb += 3)
                palette[i] = kOpaqueBlack | (std::uint32_t{rgb[0]} << 16) |
                             (std::uint32_t{rgb[1]} << 8) | std::uint32_t{rgb[2]};
            pixelEnd = markerAt;
        } else {
            // Without the trailing palette the only colours given are the header's 16, which
            // cannot cover 256 indices; such files are in practice greyscale scans, so index i
            // is shown as grey i.
            for (std::uint32_t i = 0; i < 256; ++i)
                palette[i] = kOpaqueBlack | (i << 16) | (i << 8) | i;
        }
    }

    std::optional<Picture> picture = AllocatePicture(h.width, h.height);
    if (!picture)
        return std::nullopt;
    std::unique_ptr<std::uint8_t[]> line(new std::uint8_t[h.bytesPerLine]);
    const auto convert = h.oneBit ? Convert1 : Convert8;
    const auto width = static_cast<std::uint32_t>(h.width);
    const auto height = static_cast<std::uint32_t>(h.height);
    RunDecoder runs(data.data() + kHeaderSize, data.data() + pixelEnd);
    std::uint32_t y = 0;
    for (; y < height; ++y) {
        const std::size_t decoded = runs.Fill(line.get(), h.bytesPerLine);
        convert(line.get(), decoded, picture->Row(y), width, palette.data());
        if (decoded < h.bytesPerLine) {
            ++y;
            break; // the data has ended
        }
    }
    for (; y < height; ++y)
        FillBlack(picture->Row(y), width);
    return picture;
}

} // namespace

std::optional<Picture> DecodePcx(std::span<const std::uint8_t> data)
{
    try {
        return Decode(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace picbox
