// effects_test.cpp -- sound effects as heard in the mixer's output.
#include "platform/platform.h"
#include "platform/sdl/sdl_audio_stats.h"
#include "platform/core/wav_header.h"
#include "tests/audio/audio_support.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr int kRate = 44100;
constexpr float kQuiet = 0.01f; // above any rounding noise, below every fixture

void play(const std::string& path) { plat_play_sound(path.c_str(), 1); }

size_t samples_for(double seconds) { return size_t(std::lround(seconds * kRate)); }

struct EffectOutput : testing::Test {
    TempFolder folder;
    Capture capture{folder};
    bool open = false;

    void SetUp() override
    {
        reset_handlers();
        reopen();
    }

    void TearDown() override
    {
        if (open)
            capture.close();
    }

    void reopen()
    {
        bool opened = capture.open();
        open = true; // closed in any case, whatever it opened
        ASSERT_TRUE(opened) << "the backend did not open float stereo on the disk driver";
        ASSERT_EQ(capture.rate, kRate);
    }

    // Closes the backend and gives the left channel of what it mixed.
    std::vector<float> heard()
    {
        open = false;
        return left(capture.close());
    }

    // Plays one file and waits for it to finish, then for a short silence.
    void play_alone(const std::string& path)
    {
        play(path);
        ASSERT_TRUE(wait_effects_done());
        ASSERT_TRUE(capture.wait_output(0.1));
    }
};

TEST_F(EffectOutput, EachFilePlaysWholeAtItsOwnLength)
{
    // Three formats the mixer must convert: 16-bit at the output rate,
    // 16-bit at half of it, 8-bit at a quarter.
    struct Fixture {
        const char* name;
        std::vector<uint8_t> bytes;
        double seconds;
        double tone; // 0 for noise
    };
    std::vector<Fixture> fixtures = {
        {"tone.wav", wav_bytes(sine(440, 0.25, 0.5, kRate), kRate), 0.25, 440},
        {"low.wav", wav_bytes(sine(660, 0.40, 0.5, kRate / 2), kRate / 2), 0.40, 660},
        {"noise.wav", wav_bytes(noise(0.30, 0.4, kRate / 4, 7), kRate / 4, 8), 0.30, 0},
    };
    for (const Fixture& f : fixtures)
        write_bytes(folder.file(f.name), f.bytes);
    for (const Fixture& f : fixtures)
        play_alone(folder.file(f.name));

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.01));
    ASSERT_EQ(spans.size(), fixtures.size());
    for (size_t i = 0; i < fixtures.size(); ++i) {
        SCOPED_TRACE(fixtures[i].name);
        EXPECT_NEAR(double(spans[i].length()), double(samples_for(fixtures[i].seconds)), double(samples_for(0.003)));
        float loudest = peak(out, spans[i].first, spans[i].last + 1);
        EXPECT_GT(loudest, 0.1f);
        EXPECT_LT(loudest, 0.5f); // never louder than the file itself
        if (fixtures[i].tone > 0) {
            EXPECT_NEAR(rising_crossings_per_second(out, spans[i].first, spans[i].last, kRate), fixtures[i].tone,
                        fixtures[i].tone * 0.01);
        }
    }
}

TEST_F(EffectOutput, TheGamesOwnEffectsPlayWhole)
{
    int found = 0;
    for (const char* name : {"ex2.wav", "poof.wav", "exb.wav"}) {
        std::string path = std::string(PELMARIC_ASSET_DIR) + "/" + name;
        if (!std::filesystem::exists(path))
            continue;
        SCOPED_TRACE(name);
        if (found++ > 0)
            reopen();
        // What the file holds, decoded by the mixer into the output format.
        Mix_Chunk* chunk = Mix_LoadWAV(path.c_str());
        ASSERT_NE(chunk, nullptr) << Mix_GetError();
        std::vector<float> expected(chunk->alen / sizeof(float));
        std::memcpy(expected.data(), chunk->abuf, expected.size() * sizeof(float));
        Mix_FreeChunk(chunk);
        expected = left(expected);
        std::vector<Span> in_file = sound_spans(expected, peak(expected) * 0.01f, SIZE_MAX);
        ASSERT_EQ(in_file.size(), 1u) << "the file is silent";
        EXPECT_GT(in_file[0].length(), samples_for(0.05));

        play(path);
        ASSERT_TRUE(wait_effects_done());
        std::vector<float> out = heard();
        std::vector<Span> spans = sound_spans(out, peak(out) * 0.01f, SIZE_MAX);
        ASSERT_EQ(spans.size(), 1u) << "nothing heard";
        EXPECT_NEAR(double(spans[0].length()), double(in_file[0].length()), double(samples_for(0.003)));
        EXPECT_LT(peak(out), 1.0f);
        RecordProperty(std::string(name) + "_seconds", std::to_string(double(in_file[0].length()) / kRate));
    }
    if (found == 0)
        GTEST_SKIP() << "no game effects in " << PELMARIC_ASSET_DIR << " (the asset generator has not made them)";
}

TEST_F(EffectOutput, TwentyStartsInOneFrameDoNotClip)
{
    std::string loud = folder.file("loud.wav");
    write_bytes(loud, wav_bytes(square(200, 0.3, kRate), kRate));
    std::string game_effect = std::string(PELMARIC_ASSET_DIR) + "/ex2.wav";
    bool with_game_effect = std::filesystem::exists(game_effect);

    for (int i = 0; i < 20; ++i)
        play(loud);
    ASSERT_TRUE(wait_effects_done());
    ASSERT_TRUE(capture.wait_output(0.1));
    if (with_game_effect) {
        for (int i = 0; i < 20; ++i)
            play(game_effect);
        ASSERT_TRUE(wait_effects_done());
    }

    // One start alone, for comparison.
    ASSERT_TRUE(capture.wait_output(0.1));
    play(loud);
    ASSERT_TRUE(wait_effects_done());

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.05));
    ASSERT_EQ(spans.size(), with_game_effect ? 3u : 2u);
    EXPECT_NEAR(double(spans[0].length()), double(samples_for(0.3)), double(samples_for(0.003)));
    EXPECT_LT(peak(out), 1.0f) << "clipped";
    // The burst sounds as one start does: copies in phase add nothing.
    float burst = peak(out, spans[0].first, spans[0].last + 1);
    float single = peak(out, spans.back().first, spans.back().last + 1);
    EXPECT_GT(single, 0.5f); // loud, as the file is
    EXPECT_NEAR(burst, single, single * 0.02f);
}

TEST_F(EffectOutput, CopiesOfOneEffectAreLimited)
{
    std::string path = folder.file("long.wav");
    write_bytes(path, wav_bytes(sine(300, 1.0, 0.5, kRate), kRate));
    // One start a frame-and-a-bit for ten frames: each a separate copy.
    auto sounding = [] {
        int count = 0;
        for (int ch = 0; ch < Mix_AllocateChannels(-1); ++ch)
            count += Mix_Playing(ch) && Mix_FadingChannel(ch) != MIX_FADING_OUT;
        return count;
    };
    int most = 0;
    for (int i = 0; i < 10; ++i) {
        play(path);
        poll_audio(); // the frame's end, where a start that waited for its decoding is made
        most = std::max(most, sounding());
        SDL_Delay(20);
    }
    // Four copies at full level; older ones fade out.
    EXPECT_EQ(most, 4);
    ASSERT_TRUE(wait_effects_done());
    std::vector<float> out = heard();
    EXPECT_LT(peak(out), 1.0f);
}

TEST_F(EffectOutput, AChainOfLoudEffectsOverManyFramesDoesNotClip)
{
    // Five different full-scale effects, each started every frame for 20
    // frames, the first one three times a frame: far more sound than full
    // scale can hold.
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(folder.file("square" + std::to_string(i) + ".wav"));
        write_bytes(paths.back(), wav_bytes(square(150.0 + 70.0 * i, 0.5, kRate), kRate));
    }
    paths.push_back(folder.file("noise.wav"));
    write_bytes(paths.back(), wav_bytes(noise(0.5, 1.0, kRate, 3), kRate));
    // Each played once first, as the game's effects are after their first
    // explosion: a first start waits for its decoding, and the chain here is
    // to be heard from its first frame.
    for (const std::string& path : paths)
        play(path);
    ASSERT_TRUE(wait_effects_done());
    ASSERT_TRUE(capture.wait_output(0.1));

    // The chain lasts from its first start to its last start, as the audio
    // clock saw them (a busy machine may mix a few frames' starts into one
    // chunk), plus the effects' own half second.
    const uint64_t first_start = capture.frames_written();
    uint64_t last_start = first_start;
    for (int frame = 0; frame < 20; ++frame) {
        last_start = capture.frames_written();
        play(paths[0]);
        play(paths[0]);
        for (const std::string& path : paths)
            play(path);
        SDL_Delay(16); // the game's frame
    }
    EXPECT_GT(Mix_Playing(-1), 5) << "copies of the effects should overlap";
    ASSERT_TRUE(wait_effects_done());

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.05));
    ASSERT_EQ(spans.size(), 2u);
    const double chain = double(last_start - first_start) + double(samples_for(0.5));
    EXPECT_GT(double(spans[1].length()), chain - double(samples_for(0.05))) << "the chain was cut short";
    EXPECT_GT(peak(out), 0.5f);
    EXPECT_LT(peak(out), 1.0f) << "clipped";
}

TEST_F(EffectOutput, SeveralEffectsSoundAtOnce)
{
    std::string low = folder.file("low.wav");
    std::string high = folder.file("high.wav");
    write_bytes(low, wav_bytes(sine(500, 0.4, 0.4, kRate), kRate));
    write_bytes(high, wav_bytes(sine(1300, 0.4, 0.4, kRate), kRate));
    // 0.2 s at 500 Hz, then 0.2 s at 900 Hz.
    std::string two_part = folder.file("two-part.wav");
    std::vector<float> samples = sine(500, 0.2, 0.4, kRate);
    std::vector<float> second = sine(900, 0.2, 0.4, kRate);
    samples.insert(samples.end(), second.begin(), second.end());
    write_bytes(two_part, wav_bytes(samples, kRate));

    // Two effects in one frame.
    play(low);
    play(high);
    ASSERT_TRUE(wait_effects_done());
    ASSERT_TRUE(capture.wait_output(0.1));
    // One effect again while its first copy is in its second part.
    play(two_part);
    ASSERT_TRUE(capture.wait_output(0.2));
    play(two_part);
    ASSERT_TRUE(wait_effects_done());

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.01));
    ASSERT_EQ(spans.size(), 2u);
    const Span& together = spans[0];
    EXPECT_NEAR(double(together.length()), double(samples_for(0.4)), double(samples_for(0.003)));
    double a500 = tone_amplitude(out, together.first, together.last, 500, kRate);
    double a1300 = tone_amplitude(out, together.first, together.last, 1300, kRate);
    EXPECT_GT(a500, 0.1);
    EXPECT_NEAR(a1300, a500, a500 * 0.1);

    // Where the second copy has begun, the first still sounds: both parts
    // are heard at once.
    const Span& overlapped = spans[1];
    EXPECT_GT(double(overlapped.length()), double(samples_for(0.58)));
    EXPECT_LT(double(overlapped.length()), double(samples_for(0.8)));
    size_t window = samples_for(0.02);
    int both = 0;
    for (size_t at = overlapped.first; at + window <= overlapped.last; at += window)
        if (tone_amplitude(out, at, at + window, 500, kRate) > 0.1 && tone_amplitude(out, at, at + window, 900, kRate) > 0.1)
            ++both;
    EXPECT_GE(both, 3);
}

TEST_F(EffectOutput, EffectsOfOneFrameBeginTogetherWhicheverIsDecodedFirst)
{
    // A busy machine holds the game up between two first starts of one
    // frame, and the first effect is decoded before the second is asked for.
    std::string low = folder.file("low.wav");
    std::string high = folder.file("high.wav");
    write_bytes(low, wav_bytes(sine(500, 0.4, 0.4, kRate), kRate));
    write_bytes(high, wav_bytes(sine(1300, 0.4, 0.4, kRate), kRate));
    play(low);
    ASSERT_TRUE(wait_until([] { return sdl_audio_stats().decoder_done >= 1; }, 10.0, false));
    play(high);
    EXPECT_EQ(Mix_Playing(-1), 0) << "an effect began before its frame ended";
    ASSERT_TRUE(wait_effects_done());

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.01));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(double(spans[0].length()), double(samples_for(0.4)), double(samples_for(0.003)));
}

TEST_F(EffectOutput, BrokenFilesPlayNothingAndSayNothing)
{
    std::string good = folder.file("good.wav");
    std::vector<uint8_t> good_bytes = wav_bytes(sine(440, 0.2, 0.5, kRate), kRate);
    write_bytes(good, good_bytes);
    write_bytes(folder.file("empty.wav"), {});
    write_bytes(folder.file("truncated.wav"),
                std::vector<uint8_t>(good_bytes.begin(), good_bytes.begin() + long(good_bytes.size() / 2)));
    write_bytes(folder.file("header-only.wav"), std::vector<uint8_t>(good_bytes.begin(), good_bytes.begin() + 30));
    write_bytes(folder.file("text.wav"), {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'u', 'n', 'd'});
    std::filesystem::create_directory(folder.file("folder.wav"));
    ASSERT_EQ(mkfifo(folder.file("pipe.wav").c_str(), 0644), 0); // opening it would wait for a writer

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (int round = 0; round < 2; ++round) {
        for (const char* name :
             {"missing.wav", "empty.wav", "truncated.wav", "header-only.wav", "text.wav", "folder.wav", "pipe.wav"})
            play(folder.file(name));
        play("");
        plat_play_sound(nullptr, 1);
        ASSERT_TRUE(capture.wait_output(0.05));
    }
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    // The mixer still plays what it can.
    play(good);
    ASSERT_TRUE(wait_effects_done());

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, 0.0f, samples_for(0.01));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(double(spans[0].length()), double(samples_for(0.2)), double(samples_for(0.003)));
}

TEST_F(EffectOutput, FilesAreLookedUpAtEachStart)
{
    std::string path = folder.file("late.wav");
    play(path); // not there yet
    ASSERT_TRUE(capture.wait_output(0.1));
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 0u);

    write_bytes(path, wav_bytes(sine(440, 0.15, 0.5, kRate), kRate));
    play_alone(path);
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 1u);

    // Rewritten in place while the game runs.
    write_bytes(path, wav_bytes(sine(880, 0.25, 0.5, kRate), kRate));
    play_alone(path);
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 2u);

    // Unchanged: played from what was decoded.
    play_alone(path);
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 2u);

    // Replaced by another file under the same name.
    std::string other = folder.file("other.wav");
    write_bytes(other, wav_bytes(sine(330, 0.2, 0.5, kRate), kRate));
    std::filesystem::rename(other, path);
    play_alone(path);
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 3u);

    // Gone: nothing, even though its sound is still decoded.
    std::filesystem::remove(path);
    play_alone(path);

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.01));
    ASSERT_EQ(spans.size(), 4u);
    const double seconds[] = {0.15, 0.25, 0.25, 0.2};
    const double tones[] = {440, 880, 880, 330};
    for (size_t i = 0; i < spans.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(double(spans[i].length()), double(samples_for(seconds[i])), double(samples_for(0.003)));
        EXPECT_NEAR(rising_crossings_per_second(out, spans[i].first, spans[i].last, kRate), tones[i], tones[i] * 0.02);
    }
}

} // namespace

namespace {

// ---- Files that must not freeze the game or take its memory ----------------------

void put_le(std::vector<uint8_t>& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

void put_text(std::vector<uint8_t>& out, const char* text)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(text[i]));
}

// A WAV header with every field given, and `data_bytes` announced.
struct WavFields {
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    int block_align = -1; // -1: channels * bits / 8
    uint32_t data_bytes = 0;
};

std::vector<uint8_t> header(const WavFields& f)
{
    uint16_t align = f.block_align >= 0 ? uint16_t(f.block_align) : uint16_t(f.channels * f.bits / 8);
    std::vector<uint8_t> out;
    put_text(out, "RIFF");
    put_le(out, 36 + uint64_t(f.data_bytes), 4);
    put_text(out, "WAVE");
    put_text(out, "fmt ");
    put_le(out, 16, 4);
    put_le(out, f.tag, 2);
    put_le(out, f.channels, 2);
    put_le(out, f.rate, 4);
    put_le(out, uint64_t(f.rate) * align, 4);
    put_le(out, align, 2);
    put_le(out, f.bits, 2);
    put_text(out, "data");
    put_le(out, f.data_bytes, 4);
    return out;
}

// The header, then `file_bytes` in all of bytes that count up.
std::vector<uint8_t> wav_file(const WavFields& f, size_t file_bytes)
{
    std::vector<uint8_t> out = header(f);
    for (size_t i = out.size(); i < file_bytes; ++i)
        out.push_back(uint8_t(i * 7));
    return out;
}

// A file of `size` bytes that begins with `head` and reads as zeros after
// it, taking no room on the disk.
void write_sparse(const std::string& path, const std::vector<uint8_t>& head, uint64_t size)
{
    write_bytes(path, head);
    std::filesystem::resize_file(path, size);
}

TEST_F(EffectOutput, AFileOutOfBoundsIsRefusedAtItsHeader)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const uint32_t thirty_seconds = 8000 * 30;
    std::vector<Case> cases = {
        {"one sample a second, 30 KB", wav_file({.rate = 1, .data_bytes = 30000 - 44}, 30000)},
        {"one sample a second, 10,000 bytes", wav_file({.rate = 1, .data_bytes = 10000}, 10044)},
        {"7999 Hz", wav_file({.rate = 7999, .data_bytes = 4000}, 4044)},
        {"192001 Hz", wav_file({.rate = 192001, .data_bytes = 4000}, 4044)},
        {"no channels", wav_file({.channels = 0, .data_bytes = 4000}, 4044)},
        {"nine channels", wav_file({.channels = 9, .data_bytes = 18 * 200}, 44 + 18 * 200)},
        {"12-bit samples", wav_file({.bits = 12, .block_align = 2, .data_bytes = 4000}, 4044)},
        {"64-bit floats", wav_file({.tag = 3, .bits = 64, .data_bytes = 8000}, 8044)},
        {"ADPCM", wav_file({.tag = 2, .bits = 4, .block_align = 256, .data_bytes = 4096}, 4140)},
        {"a block size that disagrees", wav_file({.channels = 2, .block_align = 2, .data_bytes = 4000}, 4044)},
        {"data past the end", wav_file({.data_bytes = 100000}, 4044)},
        {"no data", wav_file({.data_bytes = 0}, 44)},
        {"30 s and one frame", wav_file({.rate = 8000, .bits = 8, .data_bytes = thirty_seconds + 1},
                                       44 + thirty_seconds + 1)},
    };
    // The data chunk before the format chunk, and seventeen chunks before the data.
    std::vector<uint8_t> good = wav_file({.data_bytes = 4000}, 4044);
    std::vector<uint8_t> data_first(good.begin(), good.begin() + 12);
    data_first.insert(data_first.end(), good.begin() + 36, good.end());
    data_first.insert(data_first.end(), good.begin() + 12, good.begin() + 36);
    cases.push_back({"data before format", data_first});
    std::vector<uint8_t> chunky(good.begin(), good.begin() + 36);
    for (int i = 0; i < 16; ++i)
        chunky.insert(chunky.end(), {'j', 'u', 'n', 'k', 2, 0, 0, 0, 0, 0});
    chunky.insert(chunky.end(), good.begin() + 36, good.end());
    cases.push_back({"seventeen chunks before the data", chunky});

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    double peak_before = peak_memory_mb();
    uint64_t refused = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = folder.file("ex2.wav");
        write_bytes(path, c.bytes);
        uint64_t header_bytes = sdl_audio_stats().effect_header_bytes;
        play(path);
        play(path); // refused once, until the file changes
        EXPECT_EQ(sdl_audio_stats().effect_refusals, ++refused);
        EXPECT_EQ(sdl_audio_stats().effects_decoding, 0u);
        // The RIFF header, a few chunk headers and the format: no samples.
        EXPECT_LE(sdl_audio_stats().effect_header_bytes - header_bytes, 12u + 17u * 8u + 16u);
        std::filesystem::remove(path); // a new file, whatever the clock's grain
    }
    ASSERT_TRUE(wait_effects_done());
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 0u);
    EXPECT_LT(peak_memory_mb() - peak_before, 50.0);
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    EXPECT_EQ(peak(heard()), 0.0f);
}

TEST_F(EffectOutput, AHugeFileIsRefusedUnread)
{
    const uint64_t huge = 200'000'000;
    std::string wav = folder.file("huge.wav");
    write_sparse(wav, header({.channels = 2, .data_bytes = uint32_t(huge - 44)}), huge);
    std::string other = folder.file("other.wav");
    write_sparse(other, {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'u', 'n', 'd', '!'}, huge);
    // One byte over the limit, a sound file in every other way.
    std::string over = folder.file("over.wav");
    write_bytes(over, wav_file({.data_bytes = uint32_t(kMaxEffectFileBytes - 44)}, size_t(kMaxEffectFileBytes) + 1));

    uint64_t read_before = bytes_read_by_process();
    double peak_before = peak_memory_mb();
    for (const std::string& path : {wav, other, over})
        play(path);
    ASSERT_TRUE(wait_effects_done());
    EXPECT_EQ(sdl_audio_stats().effect_refusals, 3u);
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 0u);
    EXPECT_LE(sdl_audio_stats().effect_header_bytes, 12u);
    EXPECT_LT(bytes_read_by_process() - read_before, 100'000u);
    EXPECT_LT(peak_memory_mb() - peak_before, 50.0);
    EXPECT_EQ(peak(heard()), 0.0f);
}

TEST_F(EffectOutput, TheLargestAcceptedFilesPlay)
{
    // Exactly the size limit: eight channels of floats at 192 kHz, 0.68 s,
    // resampled and mixed down to the output's two.
    WavFields largest{.tag = 3, .channels = 8, .rate = 192000, .bits = 32};
    largest.data_bytes = uint32_t((kMaxEffectFileBytes - 44) / 32 * 32);
    std::vector<uint8_t> bytes = header(largest);
    std::vector<float> tone = sine(440, double(largest.data_bytes / 32) / 192000.0, 0.4, 192000);
    for (float s : tone)
        for (int c = 0; c < 8; ++c) {
            uint32_t word;
            std::memcpy(&word, &s, 4);
            put_le(bytes, word, 4);
        }
    bytes.resize(size_t(kMaxEffectFileBytes), 0); // the rest is a pad after the data
    std::string path = folder.file("largest.wav");
    write_bytes(path, bytes);
    play_alone(path);
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 1u);
    EXPECT_EQ(sdl_audio_stats().effect_refusals, 0u);

    // The longest sound: 30 s at the lowest rate. Started and cut short.
    std::string longest = folder.file("longest.wav");
    write_bytes(longest, wav_file({.rate = 8000, .bits = 8, .data_bytes = 8000 * 30}, 44 + 8000 * 30));
    play(longest);
    ASSERT_TRUE(wait_until([] { return sdl_audio_stats().effects_decoding == 0; }, 10.0));
    EXPECT_EQ(sdl_audio_stats().effect_decodes, 2u);
    EXPECT_EQ(Mix_Playing(-1), 1);
    Mix_HaltChannel(-1);

    std::vector<float> out = heard();
    std::vector<Span> spans = sound_spans(out, kQuiet, samples_for(0.01));
    ASSERT_GE(spans.size(), 1u);
    EXPECT_NEAR(double(spans[0].length()), double(tone.size()) * kRate / 192000.0, double(samples_for(0.003)));
    EXPECT_NEAR(rising_crossings_per_second(out, spans[0].first, spans[0].last, kRate), 440.0, 4.4);
    EXPECT_LT(peak(out), 1.0f);
}

} // namespace
