// GIF pictures: the animation composed frame by frame on a canvas, and the first frame as a still.
#pragma once

#include "Picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace picbox {

struct GifLzwTables;

// An animated GIF read block by block from bytes that the caller keeps.
//
// Frames are composed in the order they appear, at their offsets and clipped to the logical
// screen. A graphic control extension gives the next frame's delay, transparent index and
// disposal; every other extension is skipped by its sub-blocks. With disposal 2 or 3 the canvas
// under the frame is saved before the frame is drawn and put back before the next one; other
// disposals leave the frame in place. After the trailer, a zero byte or any unknown byte where a
// block should start, or at the end of the data, reading starts again at the first block after
// the global colour table: the animation repeats for ever and loop counts are ignored. The
// canvas is not cleared when reading starts again.
//
// Damaged data is drawn as far as it is sound:
// - LZW data that ends early or holds a code that cannot occur ends the frame there; the pixels
//   not decoded leave the canvas unchanged;
// - an index beyond the colour table is drawn black;
// - a frame counts as drawn when at least one of its pixels was decoded. A frame that gives no
//   pixel (its descriptor or local colour table cut off, no colour table at all, a minimum code
//   size outside 1..8, LZW data without a single pixel, or no area) is skipped: nothing is drawn
//   or saved for it and its delay is not used.
class GifAnimation {
public:
    // Checks the header: at least 14 bytes, the signature GIF87a or GIF89a, and when the global
    // colour table flag is set the data must be longer than the 13-byte header and the table.
    // Also nothing when the logical screen is empty or beyond the picture limits, or the canvas
    // cannot be allocated. The canvas is filled with backgroundRgb (a COLORREF, 0x00BBGGRR).
    // The data must outlive the object and stay unchanged.
    static std::optional<GifAnimation> Open(std::span<const std::uint8_t> data,
                                            std::uint32_t backgroundRgb);

    GifAnimation(GifAnimation&&) noexcept;
    GifAnimation& operator=(GifAnimation&&) noexcept;
    ~GifAnimation();

    // The logical screen, which is also the canvas size.
    std::uint32_t Width() const { return canvas_.width; }
    std::uint32_t Height() const { return canvas_.height; }

    // True when the data after the first frame is at most one byte (the trailer), so the picture
    // is shown as DecodeGifStill gives it and never animated. Also true when there is no frame
    // before the end of the first pass: there is nothing to animate.
    bool IsStill() const { return still_; }

    // The number of image descriptors from the first block to the end of the first pass: the
    // Advance calls of one loop when every frame draws.
    std::size_t FramesPerLoop() const { return framesPerLoop_; }

    // Puts back the area saved for the previous frame, then composes the next frame that draws,
    // and returns the delay before the frame after it: 10 ms per hundredth of a second given by
    // the frame's graphic control extension, 50 ms when that is 0 or absent. Nothing when no frame
    // in a whole pass draws (no frame in the data, or every frame damaged) or memory is refused:
    // the caller must then stop, so that the animation never runs through the data without end.
    std::optional<std::uint32_t> Advance();

    // Logical-screen size, BGRX (X = 0xFF), first filled with the background colour.
    const Picture& Canvas() const { return canvas_; }

private:
    GifAnimation() = default;

    struct Control; // the graphic control extension that applies to the next frame
    // Composes the frame whose image descriptor starts at pos_ and moves pos_ past it; true
    // when at least one pixel was decoded.
    bool ComposeFrame(const Control& control);
    void PutBackSavedArea();

    std::span<const std::uint8_t> data_;
    Picture canvas_;
    std::size_t firstBlock_ = 0;
    std::size_t pos_ = 0;
    std::size_t framesPerLoop_ = 0;
    bool still_ = false;
    std::uint32_t globalTableSize_ = 0; // entries; 0 when there is no global table

    std::unique_ptr<GifLzwTables> lzw_;
    std::unique_ptr<std::uint8_t[]> rows_; // decoded indices of the rows under way
    std::size_t rowsCapacity_ = 0;

    // The canvas area saved for a frame with disposal 2 or 3, put back before the next frame.
    std::unique_ptr<std::uint32_t[]> saved_;
    std::size_t savedCapacity_ = 0;
    bool hasSaved_ = false;
    std::uint32_t savedX_ = 0, savedY_ = 0, savedWidth_ = 0, savedHeight_ = 0;
};

// The first frame alone, at its own size and without its offset, in its own colours (the local
// colour table, else the global one) with the transparent index drawn as its colour: the picture
// shown for a still GIF and when animation is switched off. Pixels that the data does not give
// (LZW data cut short or damaged) and indices beyond the colour table are black; the result is
// opaque. Nothing when the signature, length or global table check of GifAnimation::Open fails
// (the logical screen size is not used), when there is no frame or the first frame gives no
// pixel (as GifAnimation describes), when the frame is beyond the picture limits, or when memory
// is refused.
std::optional<Picture> DecodeGifStill(std::span<const std::uint8_t> data);

} // namespace picbox
