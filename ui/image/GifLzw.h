// LZW decoding of a GIF frame's image data into rows of colour indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace picbox {

// GIF codes are at most 12 bits wide.
inline constexpr unsigned kGifMaxCodes = 4096;

// The string table. Each code keeps the last chunk of its string, 1 to 8 bytes packed into a
// word with zeros above, and the code whose string is everything before that chunk (a length
// that is a multiple of 8). A string is therefore written 8 bytes at a time, last chunk first.
struct GifLzwTables {
    std::uint64_t lastChunk[kGifMaxCodes];
    std::uint16_t chunkPrefix[kGifMaxCodes];
    std::uint16_t lengthLess1[kGifMaxCodes];
};

// Extra room needed after a frame row in the index buffer: a string runs over the row end by
// less than kGifMaxCodes bytes, and its last chunk is written as a whole word.
inline constexpr std::size_t kGifRowSlack = kGifMaxCodes + 16;

// The order in which rows of a frame arrive: top to bottom, or the four interlace passes
// (every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1).
class GifRowOrder {
public:
    GifRowOrder(std::uint32_t height, bool interlaced) : height_(height), interlaced_(interlaced) {}

    std::uint32_t Row() const { return row_; }

    void Next()
    {
        if (!interlaced_) {
            ++row_;
            return;
        }
        static constexpr std::uint32_t kStart[4] = {0, 4, 2, 1};
        static constexpr std::uint32_t kStep[4] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }

private:
    std::uint32_t height_;
    bool interlaced_;
    std::uint32_t row_ = 0;
    unsigned pass_ = 0;
};

// Receives the decoded rows in arrival order: the frame row y and its indices, `count` of them,
// which is the frame width except for a last row that the data cuts short. Returning false
// stops the decoding.
using GifRowSink = bool (*)(void* context, std::uint32_t y, const std::uint8_t* indices,
                            std::uint32_t count);

struct GifImageDataResult {
    std::uint32_t wholeRows = 0;    // complete rows handed to the sink
    std::uint32_t partialCount = 0; // indices of the cut-short row after them, 0 when none
    std::size_t end = 0;            // the offset just past the image data's sub-blocks
};

// Decodes the image data whose first sub-block starts at `pos` in `data` (after the minimum
// code size byte, which must be 1..8) for a frame of width × height, both above zero.
// `rowBuffer` holds width + kGifRowSlack bytes. Decoding ends at the end code, at the end of
// the sub-blocks or the data, at a code that cannot occur, when every row is out or when the
// sink asks; whatever was decoded up to there is handed out. Codes after a full table are
// decoded without adding entries (a deferred clear). Never reads outside `data` or writes
// outside the buffer and the tables.
GifImageDataResult DecodeGifImageData(std::span<const std::uint8_t> data, std::size_t pos,
                                      unsigned minCodeSize, std::uint32_t width,
                                      std::uint32_t height, bool interlaced, GifLzwTables& tables,
                                      std::uint8_t* rowBuffer, GifRowSink sink, void* context);

// The offset just past the sub-blocks that start at `pos` (after their zero-length terminator),
// or the data's size when they run past its end.
std::size_t SkipGifSubBlocks(std::span<const std::uint8_t> data, std::size_t pos);

} // namespace picbox
