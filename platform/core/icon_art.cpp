// icon_art.cpp -- the icon's picture, in unit coordinates, sampled 4 x 4 times a pixel.
#include "platform/core/icon_art.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// The design lives on a 256-unit square (the SVG's view box); every figure
// below is in those units.
constexpr double kUnits = 256.0;
constexpr double kCorner = 36.0; // radius of the rounded square
constexpr double kMargin = 8.0;  // transparent border

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t)
{
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The first sky of the game: black at the top, blue at mid-height, then
// towards purple at the ground.
Colour sky(double y)
{
    const Colour top{0, 0, 24}, middle{0, 0, 120}, low{110, 0, 70};
    return y < 128.0 ? mix(top, middle, y / 128.0) : mix(middle, low, (y - 128.0) / 128.0);
}

// The buildings, left to right: left edge, right edge, roof.
struct Block {
    double x0, x1, top;
};
constexpr Block kBlocks[] = {
    {8, 52, 140}, {52, 88, 112}, {88, 128, 158}, {128, 160, 124}, {160, 206, 146}, {206, 248, 118},
};
constexpr double kGroundTop = 204.0; // the ground line's mean height

// Lit windows: 8 x 10 units on a 16 x 18 grid from each roof, every one but
// those the pattern leaves dark.
bool in_window(const Block& b, int index, double x, double y)
{
    const double gx = x - (b.x0 + 8.0), gy = y - (b.top + 10.0);
    if (gx < 0.0 || gy < 0.0 || x > b.x1 - 6.0 || y > kGroundTop - 10.0)
        return false;
    const int col = int(gx / 16.0), row = int(gy / 18.0);
    const double fx = gx - col * 16.0, fy = gy - row * 18.0;
    if (fx >= 8.0 || fy >= 10.0 || b.x0 + 8.0 + col * 16.0 + 8.0 > b.x1 - 6.0)
        return false;
    return (col + 2 * row + index) % 3 != 0;
}

double ground_line(double x) { return kGroundTop + 4.0 * std::sin(x / 256.0 * 3.0 * 6.283185307179586); }

// Distance from (x, y) to the segment (ax, ay)-(bx, by).
double to_segment(double x, double y, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay;
    double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

// The burst: a white-hot core, a yellow ring, and twelve sparks flung out
// from it, yellow turning red at their tips, as the game's bursts look.
constexpr double kBurstX = 160.0, kBurstY = 76.0;
constexpr double kSparkInner = 32.0, kSparkLong = 62.0, kSparkShort = 50.0, kSparkHalfWidth = 5.0;

struct Spark {
    double ax, ay, bx, by;
};
Spark sparks[12];

// Works out the sparks' end points; called by draw_icon before sampling.
void place_sparks()
{
    for (int k = 0; k < 12; ++k) {
        const double a = k * 6.283185307179586 / 12.0 + 0.26;
        const double outer = k % 2 == 0 ? kSparkLong : kSparkShort;
        sparks[k] = Spark{kBurstX + kSparkInner * std::cos(a), kBurstY + kSparkInner * std::sin(a),
                          kBurstX + outer * std::cos(a), kBurstY + outer * std::sin(a)};
    }
}

bool burst(double x, double y, Colour& c)
{
    const double d = std::hypot(x - kBurstX, y - kBurstY);
    if (d < 14.0) {
        c = Colour{255, 255, 210};
        return true;
    }
    if (d < 26.0) {
        c = Colour{255, 255, 0};
        return true;
    }
    // Most samples lie beyond every spark: this keeps start-up quick.
    if (d > kSparkLong + kSparkHalfWidth)
        return false;
    for (const Spark& s : sparks) {
        if (to_segment(x, y, s.ax, s.ay, s.bx, s.by) < kSparkHalfWidth) {
            // Coloured by distance from the centre, so long and short
            // sparks share one gradient.
            const double t = std::clamp((d - kSparkInner) / (kSparkLong - kSparkInner), 0.0, 1.0);
            c = mix(Colour{255, 255, 0}, Colour{255, 40, 0}, t);
            return true;
        }
    }
    return false;
}

// One sample of the picture; false outside the rounded square.
bool sample(double x, double y, Colour& c)
{
    const double lo = kMargin, hi = kUnits - kMargin;
    if (x < lo || y < lo || x > hi || y > hi)
        return false;
    const double cx = std::clamp(x, lo + kCorner, hi - kCorner), cy = std::clamp(y, lo + kCorner, hi - kCorner);
    if (std::hypot(x - cx, y - cy) > kCorner)
        return false;

    if (y >= ground_line(x)) {
        c = Colour{0, 74, 0};
        return true;
    }
    for (int i = 0; i < int(std::size(kBlocks)); ++i) {
        const Block& b = kBlocks[i];
        if (x >= b.x0 && x < b.x1 && y >= b.top) {
            c = in_window(b, i, x, y) ? Colour{230, 230, 0} : Colour{14, 14, 26};
            return true;
        }
    }
    // An interceptor's trail from the centre launch point up to the burst.
    if (to_segment(x, y, 128.0, 204.0, kBurstX - 12.0, kBurstY + 22.0) < 2.5) {
        c = Colour{255, 255, 0};
        return true;
    }
    if (burst(x, y, c))
        return true;
    c = sky(y);
    return true;
}

} // namespace

void draw_icon(int size, uint8_t* rgba)
{
    constexpr int kSub = 4;
    place_sparks();
    const double unit = kUnits / size;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double r = 0.0, g = 0.0, b = 0.0;
            int hits = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    Colour c{};
                    if (!sample((px + (sx + 0.5) / kSub) * unit, (py + (sy + 0.5) / kSub) * unit, c))
                        continue;
                    r += c.r;
                    g += c.g;
                    b += c.b;
                    ++hits;
                }
            }
            uint8_t* out = rgba + (size_t(py) * size + px) * 4;
            const double n = hits > 0 ? hits : 1;
            out[0] = uint8_t(std::lround(r / n));
            out[1] = uint8_t(std::lround(g / n));
            out[2] = uint8_t(std::lround(b / n));
            out[3] = uint8_t(std::lround(255.0 * hits / (kSub * kSub)));
        }
    }
}
