// png_writer.h -- encodes an RGB or RGBA picture as a PNG file.
#pragma once

#include <cstdint>
#include <vector>

// The bytes of a PNG file of `pixels` (row-major, width x height, each
// 0x00RRGGBB): 8-bit RGB. The runner calls it for --screenshot.
std::vector<uint8_t> encode_png(const uint32_t* pixels, int width, int height);

// The same for a picture with transparency: `rgba` holds 4 bytes a pixel
// (red, green, blue, straight alpha). The icon generator writes these.
std::vector<uint8_t> encode_png_rgba(const std::vector<uint8_t>& rgba, int width, int height);

// Where the build defines PELMARIC_PNG_ZLIB and links zlib (the native
// programs) the image data is deflated; elsewhere (the WebAssembly runner,
// which has no zlib short of a downloaded port) it is written in stored
// blocks. Either way a file decodes to the same pixels.
