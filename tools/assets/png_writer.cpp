// png_writer.cpp -- a minimal PNG encoder: scanlines deflated by zlib, or stored.
#include "tools/assets/png_writer.h"

#include <cstddef>
#include <cstdint>
#include <new>

#ifdef PELMARIC_PNG_ZLIB
#include <zlib.h>
#endif

namespace {

uint32_t crc32(const std::vector<uint8_t>& bytes, size_t from)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void put_chunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& data)
{
    put32(file, uint32_t(data.size()));
    size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    put32(file, crc32(file, start));
}

// The zlib stream of `raw`. Deflated at the highest level: an icon shrinks
// to a twentieth, and zlib gives the same bytes for the same input on every
// run, which the reproducible package needs.
std::vector<uint8_t> zlib_stream(const std::vector<uint8_t>& raw)
{
#ifdef PELMARIC_PNG_ZLIB
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(size);
    const int status = compress2(z.data(), &size, raw.data(), uLong(raw.size()), Z_BEST_COMPRESSION);
    // With compressBound's room the only failure left is memory.
    if (status != Z_OK)
        throw std::bad_alloc();
    z.resize(size);
    return z;
#else
    // Stored blocks of at most 65535 bytes, then the Adler-32 of the data.
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    return z;
#endif
}

// The PNG file around `raw` scanlines (each led by its filter byte) of the
// given colour type (2: RGB, 6: RGBA), 8 bits a channel.
std::vector<uint8_t> wrap_scanlines(const std::vector<uint8_t>& raw, int width, int height, uint8_t colour_type)
{
    std::vector<uint8_t> header;
    put32(header, uint32_t(width));
    put32(header, uint32_t(height));
    header.insert(header.end(), {8, colour_type, 0, 0, 0}); // 8 bits a channel, no interlace

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    put_chunk(file, "IHDR", header);
    put_chunk(file, "IDAT", zlib_stream(raw));
    put_chunk(file, "IEND", {});
    return file;
}

} // namespace

std::vector<uint8_t> encode_png(const uint32_t* pixels, int width, int height)
{
    // Raw scanlines, each led by filter type 0.
    std::vector<uint8_t> raw;
    raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
        }
    }
    return wrap_scanlines(raw, width, height, 2);
}

std::vector<uint8_t> encode_png_rgba(const std::vector<uint8_t>& rgba, int width, int height)
{
    std::vector<uint8_t> raw;
    raw.reserve(size_t(height) * (size_t(width) * 4 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgba.begin() + long(size_t(y) * size_t(width) * 4);
        raw.insert(raw.end(), row, row + long(width) * 4);
    }
    return wrap_scanlines(raw, width, height, 6);
}
