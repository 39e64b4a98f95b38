// imgdecode: decodes one picture file with the picture box's own decoders and reports the result.
#include "ui/image/Blend.h"
#include "ui/image/BmpDecoder.h"
#include "ui/image/GifDecoder.h"
#include "ui/image/IconDirectory.h"
#include "ui/image/ImageFormat.h"
#include "ui/image/JpegDecoder.h"
#include "ui/image/PcxDecoder.h"
#include "ui/image/Picture.h"
#include "ui/image/Placement.h"
#include "ui/image/PngDecoder.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

using namespace picbox;

constexpr int kDecoded = 0;
constexpr int kNotDecoded = 1;
constexpr int kUsageError = 2;

constexpr const char kUsage[] =
    R"(usage: imgdecode FILE [--out OUT.pam] [--frames DIR] [--bg RRGGBB] [--blend]
                      [--place CWxCH] [--repeat N]
       imgdecode --size WxH [--place CWxCH]

Decodes FILE as the picture box would and prints one line:
  format=F width=W height=H frames=N          F: bmp jpeg png ico cur gif pcx
or, when FILE is not a picture or does not decode:
  format=F error=not-a-picture|decode-failed

  --out OUT.pam   write the decoded picture as PAM (RGB_ALPHA; alpha 255 when opaque): a GIF's
                  first composed canvas, a PNG's straight RGBA. Icons and cursors are made by
                  the system, so nothing is written for them; their line adds entry=I, the
                  directory entry chosen, with its width and height.
  --frames DIR    write every composed canvas of one GIF loop as DIR/frame-0000.pam, ... and
                  print frame=I delay=MS for each (other formats: the one picture, delay 0)
  --bg RRGGBB     background colour for GIF canvases and PNG blending (default F0F0F0)
  --blend         with --out or --frames, write a PNG blended onto the background instead
  --place CWxCH   add x= y= w= h=, the fit placement in a CW x CH client area, to the line
  --repeat N      decode N times in one process, for timings (the last result is reported)
  --size WxH      print only the fit placement of a W x H picture (client 584x288 unless
                  --place gives another)

Exit status: 0 decoded, 1 not a picture or the decode failed, 2 usage or file error.
)";

struct Size {
    int width = 0;
    int height = 0;
};

struct Options {
    std::string file;
    std::string out;
    std::string framesDir;
    std::uint32_t background = 0xF0F0F0; // COLORREF 0x00BBGGRR
    bool blend = false;
    std::optional<Size> place;
    std::optional<Size> size;
    unsigned repeat = 1;
    bool help = false;
};

bool ParseInt(std::string_view text, long long low, long long high, long long& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && ptr == end && !text.empty() && value >= low && value <= high;
}

std::optional<Size> ParseSize(std::string_view text)
{
    const std::size_t x = text.find('x');
    long long width = 0, height = 0;
    if (x == std::string_view::npos || !ParseInt(text.substr(0, x), 0, INT_MAX, width) ||
        !ParseInt(text.substr(x + 1), 0, INT_MAX, height))
        return std::nullopt;
    return Size{static_cast<int>(width), static_cast<int>(height)};
}

// RRGGBB as written in HTML becomes the COLORREF 0x00BBGGRR the decoders take.
std::optional<std::uint32_t> ParseColour(std::string_view text)
{
    std::uint32_t rgb = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, rgb, 16);
    if (text.size() != 6 || ec != std::errc{} || ptr != end)
        return std::nullopt;
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// Fills `options` from the command line; returns an error message, empty when it is well formed.
std::string ParseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string_view value = hasValue ? std::string_view(argv[i + 1]) : "";
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return {};
        }
        if (arg == "--blend") {
            options.blend = true;
            continue;
        }
        if (arg == "--out" || arg == "--frames" || arg == "--bg" || arg == "--place" ||
            arg == "--size" || arg == "--repeat") {
            if (!hasValue)
                return std::string(arg) + " needs a value";
            ++i;
            if (arg == "--out") {
                options.out = value;
            } else if (arg == "--frames") {
                options.framesDir = value;
            } else if (arg == "--bg") {
                const auto colour = ParseColour(value);
                if (!colour)
                    return "--bg takes six hex digits RRGGBB";
                options.background = *colour;
            } else if (arg == "--place" || arg == "--size") {
                const auto size = ParseSize(value);
                if (!size)
                    return std::string(arg) + " takes WxH, two non-negative integers";
                (arg == "--place" ? options.place : options.size) = size;
            } else {
                long long n = 0;
                if (!ParseInt(value, 1, 1000000, n))
                    return "--repeat takes a count from 1 to 1000000";
                options.repeat = static_cast<unsigned>(n);
            }
            continue;
        }
        if (arg.starts_with("-") && arg.size() > 1)
            return "unknown option " + std::string(arg);
        if (!options.file.empty())
            return "only one FILE";
        options.file = arg;
    }
    if (options.size) {
        if (!options.file.empty() || !options.out.empty() || !options.framesDir.empty() ||
            options.blend || options.repeat != 1)
            return "--size takes no FILE and no option but --place";
        return {};
    }
    if (options.file.empty())
        return "no FILE given";
    return {};
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A file's bytes, read in one go; not zero-filled first, since the read overwrites them all.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    std::span<const std::uint8_t> Span() const { return {bytes.get(), size}; }
};

// The whole file in one read, its size taken first.
std::optional<FileBytes> ReadWholeFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return std::nullopt;
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return std::nullopt;
    FileBytes file{std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size)),
                   static_cast<std::size_t>(size)};
    if (std::fread(file.bytes.get(), 1, file.size, f.get()) != file.size)
        return std::nullopt;
    return file;
}

// PAM with R, G, B, A samples; opaque pictures get alpha 255.
bool WritePam(const std::string& path, const Picture& picture)
{
    const std::string header = "P7\nWIDTH " + std::to_string(picture.width) + "\nHEIGHT " +
                               std::to_string(picture.height) +
                               "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<std::uint8_t> body(picture.ByteCount());
    const std::uint8_t* from = picture.pixels.get();
    for (std::size_t i = 0; i < body.size(); i += 4) {
        body[i] = from[i + 2];
        body[i + 1] = from[i + 1];
        body[i + 2] = from[i];
        body[i + 3] = picture.hasAlpha ? from[i + 3] : 0xFF;
    }
    File f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    const bool written = std::fwrite(header.data(), 1, header.size(), f.get()) == header.size() &&
                         std::fwrite(body.data(), 1, body.size(), f.get()) == body.size();
    return std::fclose(f.release()) == 0 && written;
}

// What one decode found. `picture` is what --out writes: absent for icons, which the system
// makes. `delays` holds each frame's delay when the frames were written.
struct Outcome {
    ImageFormat format = ImageFormat::None;
    const char* error = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::size_t frames = 0;
    std::optional<std::size_t> entry;
    std::optional<Picture> picture;
    std::vector<std::uint32_t> delays;
    std::string writeError;
};

Outcome Failed(ImageFormat format, const char* error)
{
    Outcome o;
    o.format = format;
    o.error = error;
    return o;
}

Outcome Decoded(ImageFormat format, Picture picture)
{
    Outcome o;
    o.format = format;
    o.width = picture.width;
    o.height = picture.height;
    o.frames = 1;
    o.picture = std::move(picture);
    return o;
}

std::optional<Picture> CopyOf(const Picture& picture)
{
    std::optional<Picture> copy = AllocatePicture(picture.width, picture.height);
    if (!copy)
        return std::nullopt;
    copy->hasAlpha = picture.hasAlpha;
    std::memcpy(copy->pixels.get(), picture.pixels.get(), picture.ByteCount());
    return copy;
}

std::string FramePath(const std::string& dir, std::size_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04zu.pam", index);
    return (std::filesystem::path(dir) / name).string();
}

// Opens the animation and composes its first loop, keeping the first canvas and, when asked,
// writing every canvas to framesDir. The canvas is not cleared when the animation restarts, so
// only the first loop starts from the background. A still GIF is decoded as the picture box
// shows it, from its first frame alone.
Outcome DecodeGif(std::span<const std::uint8_t> data, std::uint32_t background,
                  const std::string& framesDir)
{
    std::optional<GifAnimation> animation = GifAnimation::Open(data, background);
    if (!animation)
        return Failed(ImageFormat::Gif, "decode-failed");
    if (animation->IsStill()) {
        animation.reset(); // its canvas is not needed for a still
        std::optional<Picture> still = DecodeGifStill(data);
        if (!still)
            return Failed(ImageFormat::Gif, "decode-failed");
        return Decoded(ImageFormat::Gif, std::move(*still));
    }
    const std::size_t frames = animation->FramesPerLoop();
    if (frames == 0)
        return Failed(ImageFormat::Gif, "decode-failed");
    std::optional<Picture> first;
    std::vector<std::uint32_t> delays;
    std::string writeError;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::optional<std::uint32_t> delay = animation->Advance();
        if (!delay)
            return Failed(ImageFormat::Gif, "decode-failed");
        if (i == 0 && !(first = CopyOf(animation->Canvas())))
            return Failed(ImageFormat::Gif, "decode-failed");
        if (!framesDir.empty() && writeError.empty()) {
            delays.push_back(*delay);
            if (!WritePam(FramePath(framesDir, i), animation->Canvas()))
                writeError = "cannot write " + FramePath(framesDir, i);
        }
    }
    Outcome o = Decoded(ImageFormat::Gif, std::move(*first));
    o.width = animation->Width();
    o.height = animation->Height();
    o.frames = frames;
    o.delays = std::move(delays);
    o.writeError = std::move(writeError);
    return o;
}

Outcome DecodeData(std::span<const std::uint8_t> data, const Options& options,
                   const std::string& framesDir)
{
    const ImageFormat format = RecogniseFormat(data);
    std::optional<Picture> picture;
    switch (format) {
    case ImageFormat::None:
        return Failed(format, "not-a-picture");
    case ImageFormat::Ico:
    case ImageFormat::Cur: {
        const std::optional<IconChoice> choice = ChooseIconEntry(data);
        if (!choice)
            return Failed(format, "decode-failed");
        Outcome o;
        o.format = format;
        o.width = choice->width;
        o.height = choice->height;
        o.frames = 1;
        o.entry = choice->index;
        return o;
    }
    case ImageFormat::Gif:
        return DecodeGif(data, options.background, framesDir);
    case ImageFormat::Bmp:
        picture = DecodeBmp(data);
        break;
    case ImageFormat::Jpeg:
        picture = DecodeJpeg(data);
        break;
    case ImageFormat::Png:
        picture = DecodePng(data);
        if (picture && options.blend)
            picture = BlendOntoBackground(*picture, options.background);
        break;
    case ImageFormat::Pcx8:
    case ImageFormat::Pcx1:
        picture = DecodePcx(data);
        break;
    }
    if (!picture)
        return Failed(format, "decode-failed");
    return Decoded(format, std::move(*picture));
}

std::string PlacementText(const Size& client, std::int64_t width, std::int64_t height)
{
    auto clamp = [](std::int64_t v) {
        return static_cast<int>(v < 0 ? 0 : v > INT_MAX ? INT_MAX : v);
    };
    const PlacementRect r =
        PlacePicture(DisplayMode::Fit, client.width, client.height, clamp(width), clamp(height));
    return "x=" + std::to_string(r.x) + " y=" + std::to_string(r.y) +
           " w=" + std::to_string(r.width) + " h=" + std::to_string(r.height);
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "imgdecode: %s\n", message.c_str());
    return kUsageError;
}

// The frames written while decoding a GIF, or the one picture of any other format.
int WriteFrames(const Outcome& outcome, const Options& options)
{
    if (!outcome.writeError.empty())
        return Fail(outcome.writeError);
    if (outcome.delays.empty()) {
        if (!outcome.picture)
            return Fail("icons and cursors have no pixels to write");
        if (!WritePam(FramePath(options.framesDir, 0), *outcome.picture))
            return Fail("cannot write " + FramePath(options.framesDir, 0));
        std::printf("frame=0 delay=0\n");
        return kDecoded;
    }
    for (std::size_t i = 0; i < outcome.delays.size(); ++i)
        std::printf("frame=%zu delay=%u\n", i, static_cast<unsigned>(outcome.delays[i]));
    return kDecoded;
}

int Run(int argc, char** argv)
{
    Options options;
    if (const std::string error = ParseArguments(argc, argv, options); !error.empty()) {
        std::fprintf(stderr, "imgdecode: %s\n%s", error.c_str(), kUsage);
        return kUsageError;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kDecoded;
    }
    if (options.size) {
        std::printf("%s\n", PlacementText(options.place.value_or(Size{584, 288}),
                                          options.size->width, options.size->height)
                                .c_str());
        return kDecoded;
    }

    const std::optional<FileBytes> data = ReadWholeFile(options.file);
    if (!data)
        return Fail("cannot read " + options.file);

    if (!options.framesDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.framesDir, ec);
        if (ec)
            return Fail("cannot make " + options.framesDir);
    }
    Outcome outcome;
    for (unsigned i = 0; i < options.repeat; ++i) // frames are written by the last decode only
        outcome =
            DecodeData(data->Span(), options, i + 1 == options.repeat ? options.framesDir : "");

    std::string line = "format=" + std::string(FormatName(outcome.format));
    if (outcome.error) {
        std::printf("%s error=%s\n", line.c_str(), outcome.error);
        return kNotDecoded;
    }
    line += " width=" + std::to_string(outcome.width) +
            " height=" + std::to_string(outcome.height) +
            " frames=" + std::to_string(outcome.frames);
    if (outcome.entry)
        line += " entry=" + std::to_string(*outcome.entry);
    if (options.place)
        line += " " + PlacementText(*options.place, outcome.width, outcome.height);
    std::printf("%s\n", line.c_str());

    if (!options.out.empty()) {
        if (!outcome.picture)
            std::fprintf(stderr, "imgdecode: icons and cursors are made by the system; "
                                 "nothing written\n");
        else if (!WritePam(options.out, *outcome.picture))
            return Fail("cannot write " + options.out);
    }
    if (!options.framesDir.empty())
        return WriteFrames(outcome, options);
    return kDecoded;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "imgdecode: out of memory\n");
        return kNotDecoded;
    }
}
