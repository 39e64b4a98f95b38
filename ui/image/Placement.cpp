// Picture placement, with the fit mode's floating-point roundings emulated in integers.
#include "Placement.h"

#include <cstdint>

namespace picbox {

namespace {

// A non-negative binary floating-point value: mantissa · 2^exponent, the mantissa either 0 or
// normalised to exactly `bits` significant bits.
struct Binary {
    std::uint64_t mantissa = 0;
    int exponent = 0;
    int bits = 64;
};

// Rounds to nearest, ties to even, after the kept bits; `guard` is the first dropped bit and
// `sticky` says whether anything below it is set.
void RoundNearestEven(Binary& v, bool guard, bool sticky)
{
    if (guard && (sticky || (v.mantissa & 1) != 0)) {
        ++v.mantissa;
        const std::uint64_t limit = v.bits == 64 ? 0 : (std::uint64_t{1} << v.bits);
        if (v.mantissa == limit) { // carried out of the mantissa: 1.000… one binade up
            v.mantissa = std::uint64_t{1} << (v.bits - 1);
            ++v.exponent;
        }
    }
}

// numerator / denominator rounded to `bits` significant bits, by binary long division.
Binary RoundedQuotient(std::uint64_t numerator, std::uint64_t denominator, int bits)
{
    Binary q;
    q.bits = bits;
    if (numerator == 0 || denominator == 0)
        return q;
    std::uint64_t remainder = 0; // stays below 2·denominator
    int taken = 0;
    int leading = 0;
    for (int position = 63;; --position) {
        remainder = remainder * 2 + (position >= 0 ? (numerator >> position) & 1 : 0);
        const bool bit = remainder >= denominator;
        if (bit)
            remainder -= denominator;
        if (taken == 0 && !bit)
            continue;
        if (taken == 0)
            leading = position;
        if (taken < bits) {
            q.mantissa = (q.mantissa << 1) | (bit ? 1u : 0u);
            ++taken;
            continue;
        }
        // This is the first dropped bit; the rest is non-zero when a remainder or unread
        // numerator bits are left.
        const bool lowBits =
            position > 0 && (numerator & ((std::uint64_t{1} << position) - 1)) != 0;
        q.exponent = leading - bits + 1;
        RoundNearestEven(q, bit, remainder != 0 || lowBits);
        return q;
    }
}

// 64-bit mantissa with its top bit set, for comparing values of either precision.
Binary Widened(Binary v)
{
    if (v.mantissa == 0)
        return v;
    v.mantissa <<= (64 - v.bits);
    v.exponent -= (64 - v.bits);
    v.bits = 64;
    return v;
}

bool Less(Binary a, Binary b)
{
    a = Widened(a);
    b = Widened(b);
    if (a.mantissa == 0 || b.mantissa == 0)
        return a.mantissa == 0 && b.mantissa != 0;
    if (a.exponent != b.exponent)
        return a.exponent < b.exponent;
    return a.mantissa < b.mantissa;
}

// trunc(n · s), the product rounded to a 64-bit mantissa first.
int TruncatedProduct(std::uint32_t n, Binary s)
{
    s = Widened(s);
    if (s.mantissa == 0 || n == 0)
        return 0;
    // The exact product is at most 96 bits: hi:lo.
    const std::uint64_t low32 = s.mantissa & 0xFFFFFFFFu;
    const std::uint64_t high32 = s.mantissa >> 32;
    const std::uint64_t a = low32 * n;
    const std::uint64_t b = high32 * n;
    std::uint64_t lo = a + (b << 32);
    std::uint64_t hi = (b >> 32) + (lo < a ? 1 : 0);

    // The rounded product is lo · 2^exponent.
    int exponent = s.exponent;
    if (hi != 0) {
        // Move right by the bits above 64 and round what falls off.
        int shift = 0;
        for (std::uint64_t h = hi; h != 0; h >>= 1)
            ++shift;
        const bool guard = ((lo >> (shift - 1)) & 1) != 0;
        const bool sticky = shift > 1 && (lo & ((std::uint64_t{1} << (shift - 1)) - 1)) != 0;
        Binary p;
        p.mantissa = (hi << (64 - shift)) | (lo >> shift);
        p.exponent = s.exponent + shift;
        p.bits = 64;
        RoundNearestEven(p, guard, sticky);
        lo = p.mantissa;
        exponent = p.exponent;
    }
    if (exponent >= 0) // not reached for pictures and boxes of real sizes; saturate
        return 0x7FFFFFFF;
    if (exponent <= -64)
        return 0;
    const std::uint64_t whole = lo >> (-exponent);
    return whole > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(whole);
}

PlacementRect Fit(int cw, int ch, int w, int h)
{
    int x = 0;
    int y = 0;
    int ew = cw;
    int eh = ch;
    if (w <= cw) {
        x = (cw - w) / 2;
        ew = w;
    }
    if (h <= ch) {
        y = (ch - h) / 2;
        eh = h;
    }
    if (w <= cw && h <= ch)
        return {x, y, w, h};

    const Binary byWidth = RoundedQuotient(static_cast<std::uint64_t>(ew),
                                           static_cast<std::uint64_t>(w), 64);
    const Binary byHeight = RoundedQuotient(static_cast<std::uint64_t>(eh),
                                            static_cast<std::uint64_t>(h), 53);
    const Binary scale = Less(byWidth, byHeight) ? byWidth : byHeight;
    const int fw = TruncatedProduct(static_cast<std::uint32_t>(w), scale);
    const int fh = TruncatedProduct(static_cast<std::uint32_t>(h), scale);
    // The second halving adds to the first, so the picture is centred in two steps.
    return {x + (ew - fw) / 2, y + (eh - fh) / 2, fw, fh};
}

} // namespace

PlacementRect PlacePicture(DisplayMode mode, int clientWidth, int clientHeight, int pictureWidth,
                           int pictureHeight)
{
    const int cw = clientWidth > 0 ? clientWidth : 0;
    const int ch = clientHeight > 0 ? clientHeight : 0;
    switch (mode) {
    case DisplayMode::TopLeft:
        return {0, 0, pictureWidth, pictureHeight};
    case DisplayMode::Stretch:
        return {0, 0, cw, ch};
    case DisplayMode::Fit:
        break;
    }
    if (pictureWidth <= 0 || pictureHeight <= 0)
        return {0, 0, 0, 0};
    return Fit(cw, ch, pictureWidth, pictureHeight);
}

} // namespace picbox
