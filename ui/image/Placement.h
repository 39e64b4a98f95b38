// Where a picture goes in the picture box: top-left, stretched, or fitted and centred.
#pragma once

namespace picbox {

enum class DisplayMode { TopLeft = 0, Stretch = 1, Fit = 2 };

struct PlacementRect {
    int x, y, width, height;
    friend bool operator==(const PlacementRect&, const PlacementRect&) = default;
};

// The rectangle a pictureWidth × pictureHeight picture is drawn into, in a client area of
// clientWidth × clientHeight. Fit centres the picture and shrinks it, aspect kept, when it is
// larger than the client area; it never enlarges.
//
// Fit reproduces the arithmetic of an x87 computation exactly: the scale ew / W is the quotient
// rounded to a 64-bit mantissa, eh / H is rounded to a double, the smaller is taken, and the
// products W·s and H·s are rounded to 64 bits and truncated. The roundings are emulated with
// integers, so the result is the same on every compiler, optimisation level and FPU setting.
PlacementRect PlacePicture(DisplayMode mode, int clientWidth, int clientHeight, int pictureWidth,
                           int pictureHeight);

} // namespace picbox
