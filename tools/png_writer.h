// png_writer.h -- encodes an RGB or RGBA picture as a PNG file, with no library.
#pragma once

#include <cstdint>
#include <vector>

// The bytes of a PNG file of `pixels` (row-major, width x height, each
// 0x00RRGGBB): 8-bit RGB, uncompressed deflate blocks.
std::vector<uint8_t> encode_png(const uint32_t* pixels, int width, int height);

// The same for a picture with transparency: `rgba` holds 4 bytes a pixel
// (red, green, blue, straight alpha). The icon generator writes these.
std::vector<uint8_t> encode_png_rgba(const std::vector<uint8_t>& rgba, int width, int height);
