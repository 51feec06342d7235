// make_assets.cpp -- writes the game's sounds and music into the folder the game runs from.
//
// Usage: make_assets <folder>. Run by the build (target `assets`); writes
// ex2.wav, poof.wav, exb.wav and MUSIC4.MID, the same bytes every time.
#include "asset_midi.h"
#include "asset_sfx.h"
#include "asset_wav.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Writes `bytes` to folder/name through a temporary file and a rename, so a
// failed or interrupted build never leaves a half-written sound for the
// game to play. Returns false, having said why on stderr, on any failure.
bool write_file(const std::filesystem::path& folder, const char* name, const std::vector<uint8_t>& bytes)
{
    const std::filesystem::path target = folder / name;
    const std::filesystem::path partial = folder / (std::string(name) + ".partial");
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make_assets: cannot write %s\n", partial.string().c_str());
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, target, error);
    if (error) {
        std::fprintf(stderr, "make_assets: cannot rename to %s: %s\n", target.string().c_str(), error.message().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets <folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        const bool ok = write_file(folder, "ex2.wav", wav_file_bytes(make_air_burst()))
            && write_file(folder, "poof.wav", wav_file_bytes(make_ground_thud()))
            && write_file(folder, "exb.wav", wav_file_bytes(make_building_collapse()))
            && write_file(folder, "MUSIC4.MID", midi_file_bytes());
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_assets: %s\n", e.what());
        return 1;
    }
}
