// GIF pictures: the animation composed frame by frame on a canvas, and the first frame as a still.
#include "GifDecoder.h"

#include "GifLzw.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace picbox {

namespace {

// Pixels are stored as one little-endian word B | G << 8 | R << 16 | X << 24.
static_assert(std::endian::native == std::endian::little);

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr std::uint32_t kBlack = kOpaque;

constexpr std::size_t kHeaderSize = 13;     // signature, logical screen descriptor
constexpr std::size_t kDescriptorSize = 10; // 0x2C, left, top, width, height, flags
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;

std::uint16_t U16At(std::span<const std::uint8_t> data, std::size_t at)
{
    return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
}

// A colour table's entry count from the 3-bit size field of a packed flags byte.
std::uint32_t TableEntries(std::uint8_t flags) { return 2u << (flags & 7u); }

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t globalEntries = 0; // 0 when there is no global table
    std::size_t firstBlock = 0;
};

std::optional<Header> ReadHeader(std::span<const std::uint8_t> data)
{
    if (data.size() < kHeaderSize + 1)
        return std::nullopt;
    static constexpr std::uint8_t kSignature[] = {'G', 'I', 'F', '8'};
    if (std::memcmp(data.data(), kSignature, 4) != 0 || (data[4] != '7' && data[4] != '9') ||
        data[5] != 'a')
        return std::nullopt;
    Header h;
    h.width = U16At(data, 6);
    h.height = U16At(data, 8);
    const std::uint8_t flags = data[10];
    h.globalEntries = (flags & 0x80u) != 0 ? TableEntries(flags) : 0;
    h.firstBlock = kHeaderSize + std::size_t{3} * h.globalEntries;
    if (h.globalEntries != 0 && data.size() <= h.firstBlock)
        return std::nullopt;
    return h;
}

// What an image descriptor says, with where its colour table and image data lie.
struct Frame {
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    const std::uint8_t* table = nullptr; // the local table, or the global one, or none
    std::uint32_t tableEntries = 0;
    unsigned minCodeSize = 0;
    std::size_t imageData = 0; // the first sub-block
};

// Reads the descriptor at `pos` (its 0x2C), its local table and its minimum code size; nothing
// when the data ends before them.
std::optional<Frame> ReadFrame(std::span<const std::uint8_t> data, std::size_t pos, const Header& h)
{
    if (data.size() - pos < kDescriptorSize)
        return std::nullopt;
    Frame f;
    f.left = U16At(data, pos + 1);
    f.top = U16At(data, pos + 3);
    f.width = U16At(data, pos + 5);
    f.height = U16At(data, pos + 7);
    const std::uint8_t flags = data[pos + 9];
    f.interlaced = (flags & 0x40u) != 0;
    pos += kDescriptorSize;
    if ((flags & 0x80u) != 0) {
        f.tableEntries = TableEntries(flags);
        f.table = data.data() + pos;
        pos += std::size_t{3} * f.tableEntries;
    } else if (h.globalEntries != 0) {
        f.tableEntries = h.globalEntries;
        f.table = data.data() + kHeaderSize;
    }
    if (pos >= data.size())
        return std::nullopt; // the local table or the code size byte is cut off
    f.minCodeSize = data[pos];
    f.imageData = pos + 1;
    return f;
}

// A frame can give pixels only with colours, an area and a code size that GIF LZW allows: 1..8
// (a 1-bit picture may be written with 1 or 2).
bool FrameDecodable(const Frame& f)
{
    return f.table != nullptr && f.width != 0 && f.height != 0 && f.minCodeSize >= 1 &&
           f.minCodeSize <= 8;
}

// Entries beyond the table stay black, so that any index maps without a check.
void BuildPalette(const Frame& f, std::uint32_t* palette)
{
    for (std::uint32_t i = 0; i < 256; ++i)
        palette[i] = kBlack;
    const std::uint32_t entries = std::min<std::uint32_t>(f.tableEntries, 256);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* rgb = f.table + 3 * i;
        palette[i] =
            kOpaque | (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2];
    }
}

void Store(std::uint8_t* out, std::uint32_t pixel) { std::memcpy(out, &pixel, 4); }

// Which blocks lie between the first block and the end of the first pass.
struct Layout {
    std::size_t frames = 0;
    std::size_t firstFrame = 0;    // the first image descriptor, when there is one
    std::size_t firstFrameEnd = 0; // just past its image data
};

// Walks the blocks by their structure alone: an extension or image data is skipped by its
// sub-blocks, and the pass ends at the trailer, a zero or unknown byte, or the data's end.
Layout ReadLayout(std::span<const std::uint8_t> data, const Header& h)
{
    Layout layout;
    std::size_t pos = h.firstBlock;
    while (pos < data.size()) {
        if (data[pos] == kExtensionIntroducer) {
            pos = SkipGifSubBlocks(data, pos + 2);
            continue;
        }
        if (data[pos] != kImageSeparator)
            break;
        const std::optional<Frame> f = ReadFrame(data, pos, h);
        const std::size_t end = f ? SkipGifSubBlocks(data, f->imageData) : data.size();
        if (layout.frames++ == 0) {
            layout.firstFrame = pos;
            layout.firstFrameEnd = end;
        }
        pos = end;
    }
    return layout;
}

// Maps the rows of a frame onto the canvas at its offset, clipped.
struct CanvasSink {
    std::uint8_t* canvas;
    std::size_t stride;
    std::uint32_t canvasHeight;
    std::uint32_t top;
    std::uint32_t left;
    std::uint32_t visibleWidth; // the frame columns inside the canvas, from the first
    int transparent;            // the index that leaves the canvas unchanged, or -1
    bool rowsInOrder;           // not interlaced: once a row is below the canvas, so are the rest
    const std::uint32_t* palette;

    static bool Row(void* context, std::uint32_t y, const std::uint8_t* indices,
                    std::uint32_t count)
    {
        const auto& s = *static_cast<const CanvasSink*>(context);
        const std::uint32_t canvasY = s.top + y;
        if (canvasY >= s.canvasHeight)
            return !s.rowsInOrder;
        const std::uint32_t end = std::min(count, s.visibleWidth);
        std::uint8_t* out = s.canvas + s.stride * canvasY + 4 * std::size_t{s.left};
        if (s.transparent < 0) {
            for (std::uint32_t x = 0; x < end; ++x)
                Store(out + 4 * std::size_t{x}, s.palette[indices[x]]);
        } else {
            // Without a branch: transparent pixels are scattered, and a mispredicted branch
            // costs more than reading the canvas word back. The palette holds 0 there.
            const auto skip = static_cast<std::uint8_t>(s.transparent);
            for (std::uint32_t x = 0; x < end; ++x) {
                const std::uint8_t index = indices[x];
                std::uint32_t old;
                std::memcpy(&old, out + 4 * std::size_t{x}, 4);
                const std::uint32_t keep = 0u - static_cast<std::uint32_t>(index == skip);
                Store(out + 4 * std::size_t{x}, (old & keep) | s.palette[index]);
            }
        }
        return !(s.rowsInOrder && canvasY + 1 == s.canvasHeight);
    }
};

// Maps whole rows of the first frame into a picture of its own size.
struct StillSink {
    Picture* picture;
    const std::uint32_t* palette;

    static bool Row(void* context, std::uint32_t y, const std::uint8_t* indices,
                    std::uint32_t count)
    {
        const auto& s = *static_cast<const StillSink*>(context);
        std::uint8_t* out = s.picture->Row(y);
        for (std::uint32_t x = 0; x < count; ++x)
            Store(out + 4 * std::size_t{x}, s.palette[indices[x]]);
        return true;
    }
};

std::optional<Picture> DecodeStill(std::span<const std::uint8_t> data)
{
    const std::optional<Header> h = ReadHeader(data);
    if (!h)
        return std::nullopt;
    const Layout layout = ReadLayout(data, *h);
    if (layout.frames == 0)
        return std::nullopt;
    const std::optional<Frame> f = ReadFrame(data, layout.firstFrame, *h);
    if (!f || !FrameDecodable(*f) || !PictureSizeAllowed(f->width, f->height))
        return std::nullopt;

    std::uint32_t palette[256];
    BuildPalette(*f, palette);
    std::optional<Picture> picture = AllocatePicture(f->width, f->height);
    if (!picture)
        return std::nullopt;
    picture->hasAlpha = false;
    auto tables = std::make_unique<GifLzwTables>();
    auto rows = std::make_unique<std::uint8_t[]>(f->width + kGifRowSlack);
    StillSink sink{&*picture, palette};
    const GifImageDataResult r =
        DecodeGifImageData(data, f->imageData, f->minCodeSize, f->width, f->height, f->interlaced,
                           *tables, rows.get(), StillSink::Row, &sink);
    if (r.wholeRows == 0 && r.partialCount == 0)
        return std::nullopt;

    // Rows the data did not give, from the cut-short one on, in arrival order, are black.
    if (r.wholeRows < f->height) {
        GifRowOrder order(f->height, f->interlaced);
        for (std::uint32_t i = 0; i < r.wholeRows; ++i)
            order.Next();
        for (std::uint32_t i = r.wholeRows; i < f->height; ++i, order.Next()) {
            std::uint8_t* out = picture->Row(order.Row());
            const std::uint32_t from = i == r.wholeRows ? r.partialCount : 0;
            for (std::uint32_t x = from; x < f->width; ++x)
                Store(out + 4 * std::size_t{x}, kBlack);
        }
    }
    return picture;
}

} // namespace

struct GifAnimation::Control {
    std::uint16_t delay = 0; // hundredths of a second
    int transparent = -1;
    unsigned disposal = 0;
};

GifAnimation::GifAnimation(GifAnimation&&) noexcept = default;
GifAnimation& GifAnimation::operator=(GifAnimation&&) noexcept = default;
GifAnimation::~GifAnimation() = default;

std::optional<GifAnimation> GifAnimation::Open(std::span<const std::uint8_t> data,
                                               std::uint32_t backgroundRgb)
{
    try {
        const std::optional<Header> h = ReadHeader(data);
        if (!h || !PictureSizeAllowed(h->width, h->height))
            return std::nullopt;
        std::optional<Picture> canvas = AllocatePicture(h->width, h->height);
        if (!canvas)
            return std::nullopt;
        canvas->hasAlpha = false;
        // COLORREF 0x00BBGGRR to a BGRX word.
        const std::uint32_t background = kOpaque | ((backgroundRgb & 0xFFu) << 16) |
                                         (backgroundRgb & 0xFF00u) |
                                         ((backgroundRgb >> 16) & 0xFFu);
        const std::size_t pixels = std::size_t{canvas->width} * canvas->height;
        std::uint8_t* out = canvas->pixels.get();
        for (std::size_t i = 0; i < pixels; ++i)
            Store(out + 4 * i, background);

        const Layout layout = ReadLayout(data, *h);
        GifAnimation a;
        a.data_ = data;
        a.canvas_ = std::move(*canvas);
        a.firstBlock_ = h->firstBlock;
        a.pos_ = h->firstBlock;
        a.framesPerLoop_ = layout.frames;
        // The first frame reaches the trailer (the last byte) or the end of the data.
        a.still_ = layout.frames == 0 || layout.firstFrameEnd + 1 >= data.size();
        a.globalTableSize_ = h->globalEntries;
        a.lzw_ = std::make_unique<GifLzwTables>();
        return a;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::uint32_t> GifAnimation::Advance()
{
    try {
        PutBackSavedArea();
        const bool fromFirstBlock = pos_ == firstBlock_;
        int restarts = 0;
        Control control;
        for (;;) {
            const std::uint8_t block = pos_ < data_.size() ? data_[pos_] : 0;
            if (block == kExtensionIntroducer) {
                if (pos_ + 1 < data_.size() && data_[pos_ + 1] == kGraphicControlLabel &&
                    pos_ + 6 < data_.size() && data_[pos_ + 2] >= 4) {
                    const std::uint8_t flags = data_[pos_ + 3];
                    control.disposal = (flags >> 2) & 7u;
                    control.delay = U16At(data_, pos_ + 4);
                    control.transparent = (flags & 1u) != 0 ? data_[pos_ + 6] : -1;
                }
                pos_ = SkipGifSubBlocks(data_, pos_ + 2);
            } else if (block == kImageSeparator) {
                const Control frameControl = control;
                control = Control{};
                if (ComposeFrame(frameControl))
                    return frameControl.delay == 0 ? 50u : 10u * frameControl.delay;
            } else {
                // The trailer, a zero or unknown byte, or the end: start again. A pass that
                // began at the first block and drew nothing will never draw.
                ++restarts;
                pos_ = firstBlock_;
                control = Control{};
                if (restarts == 2 || fromFirstBlock)
                    return std::nullopt;
            }
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool GifAnimation::ComposeFrame(const Control& control)
{
    Header h;
    h.globalEntries = globalTableSize_;
    const std::optional<Frame> f = ReadFrame(data_, pos_, h);
    if (!f) {
        pos_ = data_.size();
        return false;
    }
    if (!FrameDecodable(*f)) {
        pos_ = SkipGifSubBlocks(data_, f->imageData);
        return false;
    }

    // The frame's columns and rows inside the canvas; offsets and sizes are 16-bit, so the
    // sums cannot overflow.
    const std::uint32_t right = std::min(f->left + f->width, canvas_.width);
    const std::uint32_t bottom = std::min(f->top + f->height, canvas_.height);
    const bool visible = f->left < right && f->top < bottom;

    if (visible && (control.disposal == 2 || control.disposal == 3)) {
        const std::uint32_t w = right - f->left;
        const std::uint32_t rows = bottom - f->top;
        const std::size_t need = std::size_t{w} * rows;
        if (need > savedCapacity_) {
            saved_.reset(); // at most one saved area is held at a time
            savedCapacity_ = 0;
            saved_ = std::make_unique_for_overwrite<std::uint32_t[]>(need);
            savedCapacity_ = need;
        }
        for (std::uint32_t y = 0; y < rows; ++y)
            std::memcpy(saved_.get() + std::size_t{w} * y,
                        canvas_.Row(f->top + y) + 4 * std::size_t{f->left}, 4 * std::size_t{w});
        savedX_ = f->left;
        savedY_ = f->top;
        savedWidth_ = w;
        savedHeight_ = rows;
        hasSaved_ = true;
    }

    const std::size_t rowBytes = f->width + kGifRowSlack;
    if (rowBytes > rowsCapacity_) {
        rows_.reset();
        rowsCapacity_ = 0;
        rows_ = std::make_unique_for_overwrite<std::uint8_t[]>(rowBytes);
        rowsCapacity_ = rowBytes;
    }
    std::uint32_t palette[256];
    BuildPalette(*f, palette);
    if (control.transparent >= 0)
        palette[control.transparent] = 0;
    CanvasSink sink{canvas_.pixels.get(),
                    canvas_.Stride(),
                    canvas_.height,
                    f->top,
                    f->left,
                    visible ? right - f->left : 0,
                    control.transparent,
                    !f->interlaced || !visible,
                    palette};
    if (!visible)
        sink.top = canvas_.height; // every row lies outside: the first one stops decoding
    const GifImageDataResult r =
        DecodeGifImageData(data_, f->imageData, f->minCodeSize, f->width, f->height, f->interlaced,
                           *lzw_, rows_.get(), CanvasSink::Row, &sink);
    pos_ = r.end;
    if (r.wholeRows == 0 && r.partialCount == 0) {
        hasSaved_ = false; // nothing was drawn, so there is nothing to put back
        return false;
    }
    return true;
}

void GifAnimation::PutBackSavedArea()
{
    if (!hasSaved_)
        return;
    for (std::uint32_t y = 0; y < savedHeight_; ++y)
        std::memcpy(canvas_.Row(savedY_ + y) + 4 * std::size_t{savedX_},
                    saved_.get() + std::size_t{savedWidth_} * y, 4 * std::size_t{savedWidth_});
    hasSaved_ = false;
}

std::optional<Picture> DecodeGifStill(std::span<const std::uint8_t> data)
{
    try {
        return DecodeStill(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace picbox
