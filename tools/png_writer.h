// png_writer.h -- writes an RGB or RGBA picture as a PNG file, with no library.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

// Writes `pixels` (row-major, width x height) to `path` as an 8-bit RGB PNG
// with uncompressed deflate blocks. Returns false when the file cannot be
// written.
bool write_png(const std::string& path, const std::vector<Rgb>& pixels, int width, int height);

// The same for a picture with transparency: `rgba` holds 4 bytes a pixel
// (red, green, blue, straight alpha). Used by the icon generator.
bool write_png_rgba(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height);
