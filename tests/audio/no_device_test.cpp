// no_device_test.cpp -- with no audio device the game goes on, silent and quiet.
#include "platform/core/music_device.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "tests/audio/audio_support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

TEST(NoAudioDevice, EverythingIsSilentAndNothingIsPrinted)
{
    reset_handlers();
    music_control_reset();
    TempFolder folder;
    std::string effect = folder.file("tone.wav");
    write_bytes(effect, wav_bytes(sine(440, 0.2, 0.5, 44100), 44100));
    write_bytes(folder.file("MUSIC4.MID"),
                smf(0, 96, {{0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00}}));
    std::filesystem::path previous_folder = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);

    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    sdl_audio_open();
    for (int frame = 0; frame < 20; ++frame) {
        plat_play_sound(effect.c_str(), 1);
        plat_play_sound(folder.file("missing.wav").c_str(), 1);
        if (frame == 0) {
            plat_music_set_text(kMusicDeviceType, "Sequencer");
            plat_music_set_text(kMusicCommand, "Open");
            plat_music_set_text(kMusicCommand, "play");
        }
        poll_audio();
        SDL_Delay(50); // a second in all: past the piece's end
    }
    plat_music_set_text(kMusicCommand, "close");
    sdl_audio_close();
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    std::filesystem::current_path(previous_folder);

    EXPECT_EQ(said, "");
    // No music was playing, so no end of it to tell.
    EXPECT_TRUE(done_calls.empty());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);

    // A device that appears later is used at the next opening.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    sdl_audio_open();
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    sdl_audio_close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

} // namespace
