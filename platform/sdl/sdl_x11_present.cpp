// sdl_x11_present.cpp -- the picture sent to the window with XPutImage, converted to any X visual.
#include "platform/sdl/sdl_x11_present.h"
#include "platform/sdl/sdl_x11_window.h"
#include "platform/core/scale.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

namespace {

Display* display = nullptr;
Window window = 0;
GC gc = nullptr;
Visual* visual = nullptr;
int depth = 0;
XImage* image = nullptr; // one rectangle at a time, as large as the drawable
// The enlarged picture in the picture's own pixels, as large as the drawable,
// converted from here into the image.
std::vector<uint32_t> staging;

// True colour: where each channel's bits go. A colour map: the pixel value
// of each cell of a 6 x 6 x 6 colour cube.
bool mapped = false;
int red_shift = 0, green_shift = 0, blue_shift = 0;
int red_bits = 0, green_bits = 0, blue_bits = 0;
unsigned long cube[216];

// Bits in the mask, and the position of its lowest set bit.
void describe_mask(unsigned long mask, int& shift, int& bits)
{
    shift = 0;
    bits = 0;
    if (mask == 0)
        return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

// An 8-bit channel widened (its high bits repeated below, so 255 stays full
// scale) or narrowed to `bits`.
unsigned long channel(unsigned v, int bits)
{
    if (bits <= 8)
        return v >> (8 - bits);
    return (unsigned long)v << (bits - 8) | v >> (16 - bits);
}

// A picture word as a pixel of the window's visual.
unsigned long convert(uint32_t word)
{
    const unsigned r = (word >> 16) & 0xFF, g = (word >> 8) & 0xFF, b = word & 0xFF;
    if (mapped) {
        auto level = [](unsigned v) { return (v * 5 + 127) / 255; };
        return cube[level(r) * 36 + level(g) * 6 + level(b)];
    }
    return channel(r, red_bits) << red_shift | channel(g, green_bits) << green_shift | channel(b, blue_bits) << blue_shift;
}

// Fills the colour cube from the window's colour map; a cell that cannot be
// had takes black or white, whichever is nearer.
void allocate_cube(Colormap colormap, int screen)
{
    for (int i = 0; i < 216; ++i) {
        XColor c{};
        c.red = uint16_t((i / 36) * 65535 / 5);
        c.green = uint16_t((i / 6 % 6) * 65535 / 5);
        c.blue = uint16_t((i % 6) * 65535 / 5);
        c.flags = DoRed | DoGreen | DoBlue;
        if (XAllocColor(display, colormap, &c))
            cube[i] = c.pixel;
        else
            cube[i] = (i / 36 + i / 6 % 6 + i % 6) >= 8 ? WhitePixel(display, screen) : BlackPixel(display, screen);
    }
}

// A direct-colour window's map: each channel's values in a straight ramp
// from dark to full, so that a pixel built by convert() shows its colour.
// The map shows only while installed, which a window manager does on focus
// and a bare X server never does: it is installed here as well.
void store_ramps(Colormap colormap)
{
    const struct {
        int shift, bits;
        char flag;
    } channels[] = {{red_shift, red_bits, DoRed}, {green_shift, green_bits, DoGreen}, {blue_shift, blue_bits, DoBlue}};
    for (const auto& ch : channels) {
        const int top = (1 << ch.bits) - 1;
        for (int k = 0; k <= top && top > 0; ++k) {
            XColor c{};
            c.pixel = (unsigned long)k << ch.shift;
            c.red = c.green = c.blue = uint16_t(k * 65535 / top);
            c.flags = ch.flag;
            XStoreColor(display, colormap, &c);
        }
    }
    XInstallColormap(display, colormap);
}

} // namespace

bool x11_present_start(SDL_Window* sdl_window)
{
    if (!x11_window(sdl_window, display, window))
        return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return false;
    visual = attributes.visual;
    depth = attributes.depth;
    const int screen = XScreenNumberOfScreen(attributes.screen);
    switch (visual->c_class) {
    case TrueColor:
    case DirectColor:
        describe_mask(visual->red_mask, red_shift, red_bits);
        describe_mask(visual->green_mask, green_shift, green_bits);
        describe_mask(visual->blue_mask, blue_shift, blue_bits);
        if (visual->c_class == DirectColor)
            store_ramps(attributes.colormap);
        break;
    case PseudoColor:
    case StaticColor:
    case GrayScale:
    case StaticGray:
        mapped = true;
        // SDL gives the window a colour map of its own, which the screen
        // shows only while a window manager installs it. The screen's
        // default map is always shown: share it when the visual allows.
        if (visual == DefaultVisual(display, screen)) {
            XSetWindowColormap(display, window, DefaultColormap(display, screen));
            allocate_cube(DefaultColormap(display, screen), screen);
        } else {
            allocate_cube(attributes.colormap, screen);
        }
        break;
    default:
        return false;
    }
    gc = XCreateGC(display, window, 0, nullptr);
    return gc != nullptr;
}

bool x11_present_active() { return gc != nullptr; }

bool x11_present_ready() { return image != nullptr; }

bool x11_present_resize(int dw, int dh)
{
    if (image != nullptr)
        XDestroyImage(image); // frees the data too
    image = nullptr;
    dw = std::clamp(dw, 1, kScaleMaxDrawable);
    dh = std::clamp(dh, 1, kScaleMaxDrawable);
    image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(dw), unsigned(dh), 32, 0);
    if (image == nullptr)
        return false;
    image->data = static_cast<char*>(std::calloc(size_t(image->bytes_per_line) * size_t(dh), 1));
    if (image->data == nullptr) {
        XDestroyImage(image);
        image = nullptr;
        return false;
    }
    staging.assign(size_t(dw) * size_t(dh), 0);
    return true;
}

void x11_present(const PictureRect* rects, int count, bool bars)
{
    if (image == nullptr)
        return;
    const int stride = scale_drawable_w();
    scale_copy(reinterpret_cast<uint8_t*>(staging.data()), stride * 4, rects, count, bars);
    for (int i = 0; i < count; ++i) {
        const PictureRect to = scale_to_drawable(rects[i]);
        for (int y = to.y; y < to.y + to.h; ++y) {
            const uint32_t* row = staging.data() + size_t(y) * size_t(stride);
            for (int x = to.x; x < to.x + to.w; ++x)
                XPutPixel(image, x, y, convert(row[x]));
        }
        XPutImage(display, window, gc, image, to.x, to.y, to.x, to.y, unsigned(to.w), unsigned(to.h));
    }
    if (bars) {
        PictureRect around[4];
        const int n = scale_bars(around);
        XSetForeground(display, gc, convert(0));
        for (int i = 0; i < n; ++i)
            XFillRectangle(display, window, gc, around[i].x, around[i].y, unsigned(around[i].w), unsigned(around[i].h));
    }
    XFlush(display);
}

void x11_present_whole(const uint32_t* pixels, int w, int h)
{
    if (image == nullptr)
        return;
    const size_t stride = size_t(w);
    w = std::min(w, image->width);
    h = std::min(h, image->height);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            XPutPixel(image, x, y, convert(pixels[size_t(y) * stride + size_t(x)]));
    XPutImage(display, window, gc, image, 0, 0, 0, 0, unsigned(w), unsigned(h));
    XFlush(display);
}

void x11_present_stop()
{
    if (gc != nullptr)
        XFreeGC(display, gc);
    if (image != nullptr)
        XDestroyImage(image); // frees the data too
    gc = nullptr;
    image = nullptr;
}
