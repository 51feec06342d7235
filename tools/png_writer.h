// png_writer.h -- writes an RGB picture as a PNG file, with no library.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

// Writes `pixels` (row-major, width x height) to `path` as an 8-bit RGB PNG
// with uncompressed deflate blocks. Returns false when the file cannot be
// written.
bool write_png(const std::string& path, const std::vector<Rgb>& pixels, int width, int height);
