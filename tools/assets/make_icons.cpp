// make_icons.cpp -- writes the game's icon as PNGs of the sizes a desktop asks for.
//
// Usage: make_icons <folder> <size>... Run by the build; writes
// <folder>/<size>.png for each size, drawn by platform/core/icon_art.cpp, the code
// that also draws the window's icon.
#include "platform/core/icon_art.h"
#include "tools/assets/png_writer.h"
#include "tools/whole_number.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icons <folder> <size>...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        long long asked;
        if (!read_whole_number(argv[i], 16, 1024, asked)) {
            std::fprintf(stderr, "make_icons: bad size %s\n", argv[i]);
            return 2;
        }
        const int size = int(asked);
        std::vector<uint8_t> rgba(size_t(size) * size * 4);
        draw_icon(size, rgba.data());
        const std::string path = std::string(argv[1]) + "/" + argv[i] + ".png";
        const std::vector<uint8_t> png = encode_png_rgba(rgba, size, size);
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool written = f != nullptr && std::fwrite(png.data(), 1, png.size(), f) == png.size();
        if (f == nullptr || std::fclose(f) != 0 || !written) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
