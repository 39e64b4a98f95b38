// JPEG decoding through libjpeg(-turbo), straight into the BGRX rows of a Picture.
#include "JpegDecoder.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <limits>
#include <new>

#include <jpeglib.h>

#ifndef JCS_EXTENSIONS
#error "picbox needs libjpeg-turbo's extended colour spaces (JCS_EXT_BGRX)"
#endif

namespace picbox {

namespace {

// No real encoder writes this many scans. A crafted progressive file can hold thousands of
// tiny scans, each costing a pass over the whole coefficient buffer.
constexpr int kMaxScans = 500;

// Rows offered to one jpeg_read_scanlines call; libjpeg returns at most rec_outbuf_height of them.
constexpr JDIMENSION kRowsPerRead = 8;

// One decompression. error_exit longjmps to `jump`, which the running stage has set. The
// stages that call setjmp hold no object with a destructor, so the jump skips none; this
// owner lives in their caller and destroys the decompressor on every way out.
struct JpegSession {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    bool cmyk = false;          // decoded as JCS_CMYK, converted to BGRX afterwards
    bool adobeInverted = false; // the CMYK values are stored inverted (Adobe convention)

    JpegSession() = default;
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;
    // Safe before and after jpeg_create_decompress: a null memory manager is skipped.
    ~JpegSession() { jpeg_destroy_decompress(&cinfo); }
};

JpegSession& SessionOf(j_common_ptr cinfo)
{
    return *static_cast<JpegSession*>(cinfo->client_data);
}

[[noreturn]] void JumpOut(j_common_ptr cinfo) { std::longjmp(SessionOf(cinfo).jump, 1); }

// Warnings (corrupt entropy data, premature end of data) and trace messages are not errors:
// libjpeg carries on and the picture shows what decoded. Nothing is printed.
void IgnoreMessage(j_common_ptr, int) {}

void LimitScans(j_common_ptr cinfo)
{
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        JumpOut(cinfo);
}

// Reads the markers up to the first scan and chooses the output colour space.
bool ReadHeader(JpegSession& session, std::span<const std::uint8_t> data)
{
    jpeg_decompress_struct& cinfo = session.cinfo;
    cinfo.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = JumpOut;
    session.errors.emit_message = IgnoreMessage;
    cinfo.client_data = &session;
    if (setjmp(session.jump) != 0)
        return false;

    jpeg_create_decompress(&cinfo); // keeps err and client_data
    // libjpeg-turbo's memory source inserts a fake EOI marker when the data runs out, so a
    // truncated picture ends there instead of failing.
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    session.progress.progress_monitor = LimitScans;
    cinfo.progress = &session.progress;
    jpeg_read_header(&cinfo, TRUE);

    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: // libjpeg-turbo expands grey to BGRX itself
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_EXT_BGRX; // X comes out as 0xFF
        return true;
    case JCS_CMYK:
    case JCS_YCCK: // libjpeg turns YCCK into CMYK
        cinfo.out_color_space = JCS_CMYK;
        session.cmyk = true;
        session.adobeInverted = cinfo.saw_Adobe_marker != 0;
        return true;
    default:
        return false; // two components, five, ...: no meaning to show
    }
}

// Decodes every row into the picture, which has the header's size.
bool ReadPixels(JpegSession& session, Picture& picture)
{
    jpeg_decompress_struct& cinfo = session.cinfo;
    if (setjmp(session.jump) != 0)
        return false;

    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != picture.width || cinfo.output_height != picture.height ||
        cinfo.output_components != 4)
        return false;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[kRowsPerRead];
        JDIMENSION count = cinfo.output_height - cinfo.output_scanline;
        if (count > kRowsPerRead)
            count = kRowsPerRead;
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = picture.Row(cinfo.output_scanline + i);
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0)
            return false; // a memory source never suspends; do not spin if it did
    }
    // jpeg_finish_decompress is not called: the picture is complete, and the markers after its
    // last scan (or junk there) cannot change it.
    return true;
}

// CMYK to RGB in place (both are 4 bytes a pixel), as subtractive inks on white: R is
// (255 − C)(255 − K) / 255 rounded, and likewise G from M and B from Y. Photoshop and other Adobe
// software write CMYK JPEGs with an Adobe marker and every value inverted (255 − C is stored),
// which is what users' files hold; a file without that marker is taken to store C, M, Y, K as they
// are.
void CmykToBgrx(Picture& picture, bool adobeInverted)
{
    const std::uint32_t flip = adobeInverted ? 0 : 255;
    std::uint8_t* p = picture.pixels.get();
    const std::size_t bytes = picture.ByteCount();
    for (std::size_t i = 0; i < bytes; i += 4) {
        const std::uint32_t c = p[i] ^ flip; // 255 − v is v ^ 255 for a byte
        const std::uint32_t m = p[i + 1] ^ flip;
        const std::uint32_t y = p[i + 2] ^ flip;
        const std::uint32_t k = p[i + 3] ^ flip;
        p[i] = static_cast<std::uint8_t>((y * k + 127) / 255);
        p[i + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        p[i + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        p[i + 3] = 0xFF;
    }
}

std::optional<Picture> Decode(std::span<const std::uint8_t> data)
{
    if (data.size() > std::numeric_limits<unsigned long>::max())
        return std::nullopt; // jpeg_mem_src takes an unsigned long (32 bits on Windows)
    JpegSession session;
    if (!ReadHeader(session, data))
        return std::nullopt;
    // Checked before jpeg_start_decompress allocates its buffers for this size.
    std::optional<Picture> picture =
        AllocatePicture(session.cinfo.image_width, session.cinfo.image_height);
    if (!picture || !ReadPixels(session, *picture))
        return std::nullopt;
    if (session.cmyk)
        CmykToBgrx(*picture, session.adobeInverted);
    picture->hasAlpha = false;
    return picture;
}

} // namespace

std::optional<Picture> DecodeJpeg(std::span<const std::uint8_t> data)
{
    try {
        return Decode(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace picbox
