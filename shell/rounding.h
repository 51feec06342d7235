// rounding.h -- how the game turns its doubles into integers.
//
// Every float-to-integer conversion in the game rounds to the nearest integer
// with halves to even (10.5 gives 10, 11.5 gives 12): std::nearbyint in the
// default rounding mode, never std::round, which rounds halves away from zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

// The nearest whole number, halves to even. Adding and taking away 1.5 * 2^52
// leaves a double no fraction bits and rounds exactly as nearbyint does in the
// default rounding mode, without the library call that nearbyint costs on
// every dot drawn; beyond 2^51 the library does it.
inline double round_half_even(double v)
{
    constexpr double kShift = 0x1.8p52;
    if (std::fabs(v) < 0x1p51)
        return (v + kShift) - kShift;
    return std::nearbyint(v);
}

// To a 16-bit integer. Values beyond the range (only reachable with absurd
// client sizes) saturate instead of wrapping.
inline int16_t round16(double v)
{
    double r = round_half_even(v);
    if (!(r >= -32768.0))
        return INT16_MIN;
    if (r > 32767.0)
        return INT16_MAX;
    return int16_t(r);
}

// To a 32-bit integer, saturating likewise.
inline int32_t round32(double v)
{
    double r = round_half_even(v);
    if (!(r >= -2147483648.0))
        return INT32_MIN;
    if (r > 2147483647.0)
        return INT32_MAX;
    return int32_t(r);
}

// The low 32 bits of v + 1.5 * 2^52 for |v| < 2^31: round_half_even(v) as a
// two's-complement integer, read straight from the sum's mantissa, whose last
// bit is worth 1. The same number as converting (v + shift) - shift, without
// the conversion, which WebAssembly engines check for range on every dot.
inline uint32_t shifted_low_bits(double v)
{
    const double shifted = v + 0x1.8p52;
    uint64_t bits = 0;
    std::memcpy(&bits, &shifted, sizeof bits);
    return uint32_t(bits);
}

// round32(v) for a v that lies strictly inside the client (0 < v < a side,
// itself a whole number of pixels): so far inside the range that none of
// round32's checks can ever matter. The dots drawn, tens of thousands a
// frame, are positioned with it.
inline int32_t round_inside_client(float v)
{
    return int32_t(shifted_low_bits(double(v)));
}

// The nearest whole number, halves to even, held to a colour channel's 0 to
// 255: exactly rgb's clamp of round16(v), NaN giving 0. A dot's faded colour
// is three of these, for every dot drawn.
inline uint8_t round_to_channel(double v)
{
    // Held first, then rounded: the same result, as rounding keeps order and
    // leaves 0 and 255 where they are, and the shift below is exact on what
    // remains. Both holds are the processor's max and min, with no branch to
    // guess on a dot's colour; NaN fails the first and becomes 0.
    const double low = v > 0.0 ? v : 0.0;
    const double held = low < 255.0 ? low : 255.0;
    return uint8_t(shifted_low_bits(held));
}
