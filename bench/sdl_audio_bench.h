// sdl_audio_bench.h -- what the SDL audio benchmarks share: a scratch folder, the mixer opened once, and their main().
#pragma once

#include "platform/sdl/sdl_audio.h"

#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// Set by audio_bench_main before any benchmark runs: whether the mixer
// opened, and a fresh folder for the files a benchmark writes.
inline bool audio_open = false;
inline std::filesystem::path work_folder;

// Opens the audio (SDL's dummy driver unless SDL_AUDIODRIVER says
// otherwise), runs the benchmarks the command line selects in a temporary
// folder named after `name`, then closes the audio and removes the folder.
inline int audio_bench_main(int argc, char** argv, const char* name)
{
    namespace fs = std::filesystem;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string pattern = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    work_folder = pattern;
    sdl_audio_open();
    audio_open = Mix_QuerySpec(nullptr, nullptr, nullptr) != 0;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sdl_audio_close();
    std::error_code ignored;
    fs::remove_all(work_folder, ignored);
    return 0;
}
