// LZW decoding of a GIF frame's image data into rows of colour indices.
#include "GifLzw.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace picbox {

namespace {

// Chunks are stored and written as little-endian words: byte i of a string chunk is bits 8i..
static_assert(std::endian::native == std::endian::little);

// The bit buffer is a native word: 64-bit shifts cost several instructions on a 32-bit target.
using BitWord = std::size_t;
constexpr unsigned kWordBits = sizeof(BitWord) * 8;

// Codes packed least significant bit first across a chain of sub-blocks, each a length byte
// (1..255) and that many bytes, ended by a zero length.
class SubBlockBits {
public:
    SubBlockBits(std::span<const std::uint8_t> data, std::size_t pos)
        : p_(data.data() + pos), blockEnd_(p_), dataEnd_(data.data() + data.size())
    {
    }

    // At least `width` bits are buffered, unless the sub-blocks have run out.
    bool Have(unsigned width)
    {
        if (bits_ >= width)
            return true;
        Refill();
        return bits_ >= width;
    }

    unsigned Take(unsigned width)
    {
        const auto code = static_cast<unsigned>(acc_ & ((1u << width) - 1));
        acc_ >>= width;
        bits_ -= width;
        return code;
    }

    // The offset just past the sub-blocks, from wherever reading stopped.
    std::size_t End(std::span<const std::uint8_t> data) const
    {
        if (terminated_)
            return static_cast<std::size_t>(p_ - data.data());
        if (exhausted_)
            return data.size();
        return SkipGifSubBlocks(data, static_cast<std::size_t>(blockEnd_ - data.data()));
    }

private:
    void Refill()
    {
        if (blockEnd_ - p_ >= static_cast<std::ptrdiff_t>(sizeof(BitWord))) {
            // Whole bytes that fit above the buffered bits; the word's other bytes are masked
            // off, since a sub-block boundary may come before the next refill.
            BitWord word;
            std::memcpy(&word, p_, sizeof word);
            const unsigned take = (kWordBits - 1 - bits_) >> 3;
            acc_ |= word << bits_;
            p_ += take;
            bits_ += take * 8;
            acc_ &= (BitWord{1} << bits_) - 1;
            return;
        }
        while (bits_ <= kWordBits - 8) {
            if (p_ == blockEnd_ && !NextBlock())
                return;
            acc_ |= BitWord{*p_++} << bits_;
            bits_ += 8;
        }
    }

    // Moves to the next non-empty sub-block; false at the terminator or the end of the data.
    bool NextBlock()
    {
        while (!terminated_ && !exhausted_) {
            if (p_ >= dataEnd_) {
                exhausted_ = true;
                return false;
            }
            const std::size_t length = *p_++;
            if (length == 0) {
                terminated_ = true;
                blockEnd_ = p_; // bits still buffered may be taken, but nothing more is read
                return false;
            }
            blockEnd_ = p_ + std::min<std::size_t>(length, static_cast<std::size_t>(dataEnd_ - p_));
            if (blockEnd_ != p_)
                return true;
        }
        return false;
    }

    const std::uint8_t* p_;
    const std::uint8_t* blockEnd_;
    const std::uint8_t* dataEnd_;
    BitWord acc_ = 0;
    unsigned bits_ = 0;
    bool terminated_ = false;
    bool exhausted_ = false;
};

} // namespace

std::size_t SkipGifSubBlocks(std::span<const std::uint8_t> data, std::size_t pos)
{
    while (pos < data.size()) {
        const std::size_t length = data[pos];
        pos += 1 + length;
        if (length == 0)
            return pos;
    }
    return data.size();
}

GifImageDataResult DecodeGifImageData(std::span<const std::uint8_t> data, std::size_t pos,
                                      unsigned minCodeSize, std::uint32_t width,
                                      std::uint32_t height, bool interlaced, GifLzwTables& tables,
                                      std::uint8_t* rowBuffer, GifRowSink sink, void* context)
{
    GifImageDataResult result;
    SubBlockBits in(data, pos);
    GifRowOrder order(height, interlaced);

    const unsigned clear = 1u << minCodeSize;
    const unsigned endCode = clear + 1;
    const unsigned firstFree = clear + 2;
    for (unsigned c = 0; c < clear; ++c) {
        tables.lastChunk[c] = c;
        tables.lengthLess1[c] = 0;
        tables.chunkPrefix[c] = 0;
    }
    std::uint64_t* const lastChunk = tables.lastChunk;
    std::uint16_t* const chunkPrefix = tables.chunkPrefix;
    std::uint16_t* const lengthLess1 = tables.lengthLess1;

    unsigned codeWidth = minCodeSize + 1;
    unsigned next = firstFree;
    unsigned prev = kGifMaxCodes; // none: after a clear the next code is a literal
    std::uint8_t prevFirst = 0;   // the first index of prev's string
    std::size_t fill = 0;         // indices in rowBuffer, always below width between codes
    std::uint32_t rowsLeft = height;
    bool stopped = false;

    while (in.Have(codeWidth)) {
        const unsigned code = in.Take(codeWidth);
        if (code == clear) {
            codeWidth = minCodeSize + 1;
            next = firstFree;
            prev = kGifMaxCodes;
            continue;
        }
        if (code == endCode)
            break;
        // A new entry is prev's string and the first index of this code's string. For the code
        // being defined (code == next) that index is prev's own first one.
        const auto define = [&](std::uint8_t first) {
            const unsigned prevLength = lengthLess1[prev] + 1u;
            const unsigned used = prevLength & 7u;
            if (used != 0) {
                lastChunk[next] = lastChunk[prev]; // zero above its bytes
                reinterpret_cast<std::uint8_t*>(&lastChunk[next])[used] = first;
                chunkPrefix[next] = chunkPrefix[prev];
            } else {
                lastChunk[next] = first;
                chunkPrefix[next] = static_cast<std::uint16_t>(prev);
            }
            lengthLess1[next] = static_cast<std::uint16_t>(prevLength);
            ++next;
        };
        bool defineAfter = false;
        if (prev == kGifMaxCodes) {
            if (code >= clear)
                break; // only a literal can follow a clear
        } else if (code == next) {
            define(prevFirst); // next < kGifMaxCodes here: a code has at most 12 bits
        } else if (code > next) {
            break; // not in the table yet
        } else {
            defineAfter = next < kGifMaxCodes;
        }

        // Write the string, last chunk first; a chunk's zero bytes past the string's end are
        // overwritten by the strings that follow.
        const unsigned length = lengthLess1[code] + 1u;
        std::size_t offset = (length - 1) & ~std::size_t{7};
        unsigned c = code;
        std::memcpy(rowBuffer + fill + offset, &lastChunk[c], 8);
        while (offset != 0) {
            c = chunkPrefix[c];
            offset -= 8;
            std::memcpy(rowBuffer + fill + offset, &lastChunk[c], 8);
        }
        prevFirst = rowBuffer[fill];
        if (defineAfter)
            define(prevFirst);
        prev = code;
        fill += length;
        // The encoder adds an entry after every code it writes, the decoder from the second code
        // after a clear on, so the next code is wide enough to hold `next`. With a minimum code
        // size of 1 that widens right after the first code.
        if (next >= (1u << codeWidth) && codeWidth < 12)
            ++codeWidth;

        if (fill >= width) {
            std::size_t start = 0;
            while (fill - start >= width) {
                ++result.wholeRows;
                const bool more = sink(context, order.Row(), rowBuffer + start, width);
                start += width;
                order.Next();
                if (--rowsLeft == 0 || !more) {
                    stopped = true;
                    break;
                }
            }
            if (stopped)
                break;
            fill -= start;
            std::memmove(rowBuffer, rowBuffer + start, fill);
        }
    }

    if (!stopped && fill != 0) {
        result.partialCount = static_cast<std::uint32_t>(fill);
        sink(context, order.Row(), rowBuffer, result.partialCount);
    }
    result.end = in.End(data);
    return result;
}

} // namespace picbox
