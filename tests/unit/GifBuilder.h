// Test-side GIF writing: an LZW encoder that keeps its codes, and a builder of files block by
// block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace picbox::testing_gif {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// One LZW code as written: its value and its width in bits.
struct LzwCode {
    std::uint16_t value = 0;
    std::uint8_t width = 0;
};

struct LzwOptions {
    bool clearWhenFull = true;  // false: go on with the full table (a deferred clear)
    std::size_t clearEvery = 0; // also write a clear after this many data codes (0: never)
    bool endCode = true;
};

// The codes of one frame, and after each code how many indices the codes so far stand for.
struct LzwStream {
    std::vector<LzwCode> codes;
    std::vector<std::size_t> indicesAfter;
};

inline unsigned BitLength(std::size_t v)
{
    unsigned n = 0;
    for (; v != 0; v >>= 1)
        ++n;
    return n;
}

// GIF LZW as encoders write it: a clear code first, codes from minCodeSize + 1 bits growing
// to 12 as the table fills, a clear (or none) when it is full, the end code last.
inline LzwStream EncodeLzwCodes(std::span<const std::uint8_t> indices, unsigned minCodeSize,
                                const LzwOptions& options = {})
{
    LzwStream s;
    const unsigned clear = 1u << minCodeSize;
    std::map<std::pair<unsigned, unsigned>, unsigned> table;
    unsigned next = clear + 2;
    unsigned width = minCodeSize + 1;
    std::size_t codesSinceClear = 0;
    std::size_t done = 0;
    std::vector<std::size_t> lengths(4096, 1); // string length of each code

    const auto put = [&](unsigned value, unsigned w, std::size_t indicesOfCode) {
        s.codes.push_back({static_cast<std::uint16_t>(value), static_cast<std::uint8_t>(w)});
        done += indicesOfCode;
        s.indicesAfter.push_back(done);
    };
    // A clear or end after data codes: the decoder has added an entry for the last code, so it
    // reads this one a bit wider when the table has just reached a power of two.
    const auto putControl = [&](unsigned value) {
        unsigned w = width;
        if (codesSinceClear >= 1 && next >= (1u << width) && width < 12)
            ++w;
        put(value, w, 0);
    };
    const auto reset = [&] {
        table.clear();
        next = clear + 2;
        width = minCodeSize + 1;
        codesSinceClear = 0;
    };

    put(clear, width, 0);
    if (!indices.empty()) {
        unsigned prefix = indices[0];
        for (std::size_t i = 1; i < indices.size(); ++i) {
            const unsigned k = indices[i];
            const auto found = table.find({prefix, k});
            if (found != table.end()) {
                prefix = found->second;
                continue;
            }
            put(prefix, width, lengths[prefix]);
            ++codesSinceClear;
            const bool forced = options.clearEvery != 0 && codesSinceClear == options.clearEvery;
            if (next < 4096 && !forced) {
                table[{prefix, k}] = next;
                lengths[next] = lengths[prefix] + 1;
                ++next;
                if (next > (1u << width) && width < 12)
                    ++width;
            } else if (forced || options.clearWhenFull) {
                putControl(clear);
                reset();
            }
            prefix = k;
        }
        put(prefix, width, lengths[prefix]);
        ++codesSinceClear;
    }
    if (options.endCode)
        putControl(clear + 1);
    return s;
}

// Packs codes least significant bit first.
inline Bytes PackLzwCodes(const std::vector<LzwCode>& codes)
{
    Bytes out;
    std::uint32_t acc = 0;
    unsigned used = 0;
    for (const LzwCode& c : codes) {
        acc |= std::uint32_t{c.value} << used;
        used += c.width;
        while (used >= 8) {
            out.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            used -= 8;
        }
    }
    if (used > 0)
        out.push_back(static_cast<std::uint8_t>(acc));
    return out;
}

// Data cut into sub-blocks of at most blockSize bytes, then the zero-length terminator.
inline Bytes SubBlocks(std::span<const std::uint8_t> data, std::size_t blockSize = 255)
{
    Bytes out;
    for (std::size_t i = 0; i < data.size(); i += blockSize) {
        const std::size_t n = std::min(blockSize, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
    return out;
}

// The size field of a colour table of `entries` colours (padded to 2^(field + 1)).
inline unsigned TableSizeField(std::size_t entries)
{
    const unsigned bits = BitLength(entries > 2 ? entries - 1 : 1);
    return bits - 1;
}

inline void PutTable(Bytes& out, const std::vector<Rgb>& table)
{
    const std::size_t padded = std::size_t{2} << TableSizeField(table.size());
    for (std::size_t i = 0; i < padded; ++i) {
        const Rgb c = i < table.size() ? table[i] : Rgb{};
        out.insert(out.end(), {c.r, c.g, c.b});
    }
}

inline void Put16(Bytes& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// One frame: an optional graphic control extension, the image descriptor, its local table and
// its image data. Indices are given top to bottom; interlaced frames are written in pass order.
struct FrameSpec {
    std::uint16_t left = 0, top = 0, width = 1, height = 1;
    std::vector<std::uint8_t> indices; // width × height
    std::vector<Rgb> localTable;       // written when not empty
    bool interlaced = false;
    bool control = true; // write a graphic control extension
    std::uint16_t delay = 0;
    unsigned disposal = 0;
    std::optional<std::uint8_t> transparent;
    unsigned minCodeSize = 0; // 0: enough for the indices and the table, at least 2
    LzwOptions lzw;
    std::size_t subBlockSize = 255;
};

// Rows in the order an interlaced frame stores them.
inline std::vector<std::uint32_t> InterlacedRows(std::uint32_t height)
{
    std::vector<std::uint32_t> rows;
    static constexpr std::uint32_t kStart[4] = {0, 4, 2, 1};
    static constexpr std::uint32_t kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
}

// The indices in the order they are coded.
inline Bytes CodedOrder(const FrameSpec& f)
{
    if (!f.interlaced)
        return f.indices;
    Bytes out;
    for (std::uint32_t y : InterlacedRows(f.height)) {
        const auto row = f.indices.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * f.width);
        out.insert(out.end(), row, row + f.width);
    }
    return out;
}

inline unsigned MinCodeSizeFor(const FrameSpec& f, std::size_t tableEntries)
{
    if (f.minCodeSize != 0)
        return f.minCodeSize;
    std::size_t top = tableEntries > 0 ? tableEntries - 1 : 1;
    for (std::uint8_t i : f.indices)
        top = std::max<std::size_t>(top, i);
    return std::max(2u, BitLength(top));
}

inline Bytes ControlBlock(std::uint16_t delay, unsigned disposal,
                          std::optional<std::uint8_t> transparent)
{
    Bytes out = {0x21, 0xF9, 4,
                 static_cast<std::uint8_t>((disposal << 2) | (transparent ? 1u : 0u))};
    Put16(out, delay);
    out.push_back(transparent.value_or(0));
    out.push_back(0);
    return out;
}

// The file, block by block. Offsets of what was added can be taken with Size() before each call.
class GifBuilder {
public:
    GifBuilder(std::uint16_t width, std::uint16_t height, std::vector<Rgb> globalTable = {},
               const char* signature = "GIF89a")
        : globalTable_(std::move(globalTable))
    {
        bytes_.assign(signature, signature + 6);
        Put16(bytes_, width);
        Put16(bytes_, height);
        const bool global = !globalTable_.empty();
        bytes_.push_back(static_cast<std::uint8_t>(
            (global ? 0x80u | TableSizeField(globalTable_.size()) : 0u) | 0x70u)); // 8-bit colour
        bytes_.push_back(0); // background index: not used by the picture box
        bytes_.push_back(0); // aspect ratio
        if (global)
            PutTable(bytes_, globalTable_);
    }

    GifBuilder& Frame(const FrameSpec& f)
    {
        if (f.control)
            Raw(ControlBlock(f.delay, f.disposal, f.transparent));
        imageDescriptorAt_.push_back(bytes_.size());
        bytes_.push_back(0x2C);
        Put16(bytes_, f.left);
        Put16(bytes_, f.top);
        Put16(bytes_, f.width);
        Put16(bytes_, f.height);
        const bool local = !f.localTable.empty();
        bytes_.push_back(
            static_cast<std::uint8_t>((local ? 0x80u | TableSizeField(f.localTable.size()) : 0u) |
                                      (f.interlaced ? 0x40u : 0u)));
        if (local)
            PutTable(bytes_, f.localTable);
        const unsigned m = MinCodeSizeFor(f, local ? f.localTable.size() : globalTable_.size());
        bytes_.push_back(static_cast<std::uint8_t>(m));
        imageDataAt_.push_back(bytes_.size());
        const Bytes coded = CodedOrder(f);
        const Bytes packed = PackLzwCodes(EncodeLzwCodes(coded, m, f.lzw).codes);
        Raw(SubBlocks(packed, f.subBlockSize));
        return *this;
    }

    // An extension with any label, its payload cut into sub-blocks.
    GifBuilder& Extension(std::uint8_t label, std::span<const std::uint8_t> payload)
    {
        bytes_.push_back(0x21);
        bytes_.push_back(label);
        return Raw(SubBlocks(payload));
    }

    // The application extension that asks for `loops` repetitions (0: for ever).
    GifBuilder& LoopCount(std::uint16_t loops)
    {
        const Bytes block = {0x21,
                             0xFF,
                             11,
                             'N',
                             'E',
                             'T',
                             'S',
                             'C',
                             'A',
                             'P',
                             'E',
                             '2',
                             '.',
                             '0',
                             3,
                             1,
                             static_cast<std::uint8_t>(loops),
                             static_cast<std::uint8_t>(loops >> 8),
                             0};
        return Raw(block);
    }

    GifBuilder& Comment(const std::string& text)
    {
        const Bytes payload(text.begin(), text.end());
        return Extension(0xFE, payload);
    }

    GifBuilder& Raw(std::span<const std::uint8_t> data)
    {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }

    GifBuilder& Trailer() { return Raw(Bytes{0x3B}); }

    std::size_t Size() const { return bytes_.size(); }
    const Bytes& Data() const { return bytes_; }
    // Where each frame's 0x2C and its first image data sub-block were written.
    const std::vector<std::size_t>& ImageDescriptorOffsets() const { return imageDescriptorAt_; }
    const std::vector<std::size_t>& ImageDataOffsets() const { return imageDataAt_; }

private:
    std::vector<Rgb> globalTable_;
    Bytes bytes_;
    std::vector<std::size_t> imageDescriptorAt_;
    std::vector<std::size_t> imageDataAt_;
};

} // namespace picbox::testing_gif
