// music_test.cpp -- the looping music: its end told on the game's thread, on time, and its quick restart.
#include "platform/core/music_device.h"
#include "platform/platform.h"
#include "platform/core/midi_length.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_audio_stats.h"
#include "tests/audio/audio_support.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

namespace {

constexpr int kRate = 44100;

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Three strokes on the percussion channel (wood blocks and claves, which die
// away within 0.3 s), at 0 s, 0.5 s and 1.0 s. The tempo halves at the
// second (480 ticks a beat: 0.5 s a beat, then 1 s), so the third falls at
// 1.0 s and the piece ends at 2.0 s; read without its tempo change it would
// end at 1.25 s. A rest of 0.7 s of near silence closes the piece.
constexpr double kPieceSeconds = 2.0;
std::vector<uint8_t> test_piece(uint8_t first_stroke = 76)
{
    std::vector<uint8_t> tempos = join({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, vlq(480),
                                        {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}, {0x00, 0xFF, 0x2F, 0x00}});
    std::vector<uint8_t> strokes = join({{0x00, 0x99, first_stroke, 110}, vlq(60), {0x89, first_stroke, 0},
                                         vlq(420), {0x99, 77, 110}, vlq(60), {0x89, 77, 0},
                                         vlq(180), {0x99, 75, 110}, vlq(60), {0x89, 75, 0},
                                         vlq(420), {0xFF, 0x2F, 0x00}});
    return smf(1, 480, {tempos, strokes});
}

// Where notes begin in the output: 5 ms windows whose level jumps well above
// the 20 ms before them. Onsets closer than 0.1 s are one.
std::vector<double> onsets(const std::vector<float>& mono)
{
    const size_t window = kRate / 200;
    std::vector<float> rms = window_rms(mono, window);
    std::vector<double> out;
    for (size_t i = 0; i < rms.size(); ++i) {
        float before = 0.0f;
        for (size_t j = i >= 4 ? i - 4 : 0; j < i; ++j)
            before = std::max(before, rms[j]);
        if (rms[i] > 0.01f && rms[i] > 4.0f * before) {
            // The first sample of the window above a tenth of its level.
            size_t at = i * window;
            while (at < (i + 1) * window && std::fabs(mono[at]) < rms[i] * 0.1f)
                ++at;
            double seconds = double(at) / kRate;
            if (out.empty() || seconds - out.back() > 0.1)
                out.push_back(seconds);
        }
    }
    return out;
}

struct MusicOutput : testing::Test {
    TempFolder folder;
    Capture capture{folder};
    bool open = false;
    std::filesystem::path previous_folder;

    void SetUp() override
    {
        reset_handlers();
        music_control_reset();
        // The control plays ".\MUSIC4.MID": the current folder's.
        previous_folder = std::filesystem::current_path();
        std::filesystem::current_path(folder.path);
        bool opened = capture.open();
        open = true; // closed in any case, whatever it opened
        ASSERT_TRUE(opened);
        ASSERT_EQ(capture.rate, kRate);
    }

    void TearDown() override
    {
        if (open)
            capture.close();
        music_control_reset();
        std::filesystem::current_path(previous_folder);
    }

    std::vector<float> heard()
    {
        open = false;
        return left(capture.close());
    }

    // What the game does at start-up.
    void start_music()
    {
        plat_music_set_text(kMusicDeviceType, "Sequencer");
        plat_music_set_text(kMusicCommand, "Open");
        plat_music_set_text(kMusicCommand, "play");
    }

    void restart_music()
    {
        plat_music_set_text(kMusicCommand, "close");
        plat_music_set_text(kMusicCommand, "open");
        plat_music_set_text(kMusicCommand, "play");
    }
};

TEST_F(MusicOutput, TheEndIsToldOnlyByThePollAndOnlyAfterThePiece)
{
    write_bytes(folder.file("MUSIC4.MID"), test_piece());
    start_music();
    // Nobody polls: the audio thread must not tell the end by itself.
    ASSERT_TRUE(capture.wait_output(kPieceSeconds + 0.5, false));
    EXPECT_TRUE(done_calls.empty());
    poll_audio();
    ASSERT_EQ(done_calls.size(), 1u);
    EXPECT_TRUE(done_calls[0].inside_poll);
    EXPECT_TRUE(done_calls[0].on_test_thread);
    // Told once per play.
    ASSERT_TRUE(capture.wait_output(0.1));
    EXPECT_EQ(done_calls.size(), 1u);
}

TEST_F(MusicOutput, ThePieceLoopsWithAShortGapAndStartsOverEachTime)
{
    write_bytes(folder.file("MUSIC4.MID"), test_piece());
    restarts_wanted = 2;
    double play_time = now_seconds();
    start_music();
    // Poll at the game's pace, 64 frames a second, until the third end.
    double give_up = now_seconds() + 4 * kPieceSeconds + 20.0;
    while (done_calls.size() < 3 && now_seconds() < give_up) {
        poll_audio();
        SDL_Delay(15);
    }
    ASSERT_EQ(done_calls.size(), 3u);
    for (const DoneCall& call : done_calls) {
        EXPECT_TRUE(call.inside_poll);
        EXPECT_TRUE(call.on_test_thread);
    }
    // On the wall clock too (loosely: the disk driver's pace is only close to it).
    EXPECT_GT(done_calls[0].seconds - play_time, kPieceSeconds - 0.1);
    EXPECT_GT(done_calls[1].seconds - done_calls[0].seconds, kPieceSeconds - 0.1);
    EXPECT_EQ(sdl_audio_stats().music_loads, 1u) << "the restart loaded the piece again";
    RecordProperty("restart_ms", std::to_string(done_calls[0].restart_ms));
    RecordProperty("restart2_ms", std::to_string(done_calls[1].restart_ms));

    std::vector<double> found = onsets(heard());
    // Three strokes a play, three plays.
    ASSERT_EQ(found.size(), 9u) << testing::PrintToString(found);
    for (int play = 0; play < 3; ++play) {
        SCOPED_TRACE(play);
        double start = found[size_t(3 * play)];
        EXPECT_NEAR(found[size_t(3 * play + 1)] - start, 0.5, 0.01);
        EXPECT_NEAR(found[size_t(3 * play + 2)] - start, 1.0, 0.01);
        if (play > 0) {
            // The notification came after the piece's length, measured in
            // the output itself, and the next play followed within 0.1 s.
            double gap = start - found[size_t(3 * (play - 1))] - kPieceSeconds;
            EXPECT_GE(gap, -0.005);
            EXPECT_LE(gap, 0.1);
            RecordProperty("loop_gap_ms_" + std::to_string(play), std::to_string(gap * 1e3));
        }
    }
}

TEST_F(MusicOutput, APauseHoldsThePieceWhereItIsAndItsEndWaitsForIt)
{
    write_bytes(folder.file("MUSIC4.MID"), test_piece());
    start_music();
    ASSERT_TRUE(capture.wait_output(0.75)); // the second stroke (0.5 s) has sounded
    sdl_audio_hold(true);
    // Paused longer than the whole piece: its end must not be told.
    ASSERT_TRUE(capture.wait_output(kPieceSeconds + 0.5));
    EXPECT_TRUE(done_calls.empty());
    sdl_audio_hold(false);
    ASSERT_TRUE(wait_until([&] { return !done_calls.empty(); }, kPieceSeconds + 10.0));
    std::vector<double> found = onsets(heard());
    // The third stroke comes where the piece left off, a pause later.
    ASSERT_EQ(found.size(), 3u) << testing::PrintToString(found);
    EXPECT_NEAR(found[1] - found[0], 0.5, 0.01);
    EXPECT_GT(found[2] - found[1], 0.5 + kPieceSeconds + 0.4);
}

TEST_F(MusicOutput, TheRestartKeepsTheLoadedPieceUntilItsFileChanges)
{
    std::string path = folder.file("MUSIC4.MID");
    write_bytes(path, test_piece());
    start_music();
    EXPECT_EQ(sdl_audio_stats().music_loads, 1u);
    for (int i = 0; i < 3; ++i)
        restart_music();
    EXPECT_EQ(sdl_audio_stats().music_loads, 1u);

    // A new piece under the same name is loaded at the next opening.
    write_bytes(path, test_piece(37));
    restart_music();
    EXPECT_EQ(sdl_audio_stats().music_loads, 2u);
    ASSERT_TRUE(capture.wait_output(0.3));

    // Gone: the control cannot open, and plays nothing.
    std::filesystem::remove(path);
    restart_music();
    ASSERT_TRUE(capture.wait_output(kPieceSeconds + 0.3));
    EXPECT_TRUE(done_calls.empty());

    // Back: found again.
    write_bytes(path, test_piece());
    restart_music();
    EXPECT_EQ(sdl_audio_stats().music_loads, 3u);
    ASSERT_TRUE(wait_until([] { return !done_calls.empty(); }, kPieceSeconds + 10.0));

    std::vector<double> found = onsets(heard());
    // The second piece's first stroke, then the last piece's three.
    ASSERT_EQ(found.size(), 4u) << testing::PrintToString(found);
    EXPECT_GT(found[1] - found[0], kPieceSeconds + 0.3);
}

TEST_F(MusicOutput, AMusicFileThatCannotBeReadPlaysNothingAndSaysNothing)
{
    std::string path = folder.file("MUSIC4.MID");
    std::vector<uint8_t> good = test_piece();
    const std::vector<std::vector<uint8_t>> broken = {
        {},                                                    // empty
        {'n', 'o', 't', ' ', 'm', 'u', 's', 'i', 'c'},         // not MIDI
        std::vector<uint8_t>(good.begin(), good.begin() + 14), // header only
        std::vector<uint8_t>(good.begin(), good.end() - 5),    // cut short
    };
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    restart_music(); // no file at all
    for (const auto& bytes : broken) {
        write_bytes(path, bytes);
        restart_music();
    }
    bool waited = capture.wait_output(kPieceSeconds + 0.3);
    EXPECT_TRUE(done_calls.empty());
    EXPECT_EQ(sdl_audio_stats().music_loads, 0u);

    // The mixer still plays a good piece afterwards.
    write_bytes(path, good);
    restart_music();
    bool ended = wait_until([] { return !done_calls.empty(); }, kPieceSeconds + 10.0);
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    ASSERT_TRUE(waited);
    ASSERT_TRUE(ended);
    EXPECT_EQ(said, "");
    EXPECT_EQ(sdl_audio_stats().music_loads, 1u);
    std::vector<double> found = onsets(heard());
    ASSERT_EQ(found.size(), 3u) << testing::PrintToString(found);
    EXPECT_GT(found[0], kPieceSeconds + 0.3);
}

// The game's own piece is long; the disk driver is made to run faster than
// real time (a 2 ms pause a buffer instead of 23 ms) to hear all of it. The
// end, counted in output frames, does not depend on that pace; only its
// lateness does, so here the end is checked not to come early.
TEST(GameMusic, PlaysToItsEndAndNoFurtherBeforeTheRestart)
{
    std::string source = std::string(PELMARIC_ASSET_DIR) + "/MUSIC4.MID";
    std::vector<uint8_t> bytes = read_bytes(source);
    if (bytes.empty())
        GTEST_SKIP() << "no " << source << " (the asset generator has not made it)";
    double seconds = 0.0;
    ASSERT_TRUE(midi_length_seconds(bytes.data(), bytes.size(), &seconds));

    reset_handlers();
    music_control_reset();
    TempFolder folder;
    write_bytes(folder.file("MUSIC4.MID"), bytes);
    std::filesystem::path previous_folder = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    setenv("SDL_DISKAUDIODELAY", "2", 1);
    Capture capture{folder};
    bool opened = capture.open();
    unsetenv("SDL_DISKAUDIODELAY");
    ASSERT_TRUE(opened);
    done_output_file = capture.file;

    restarts_wanted = 1;
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    plat_music_set_text(kMusicCommand, "Open");
    plat_music_set_text(kMusicCommand, "play");
    bool ended = wait_until([] { return !done_calls.empty(); }, seconds + 60.0);
    bool more = ended && capture.wait_output(1.0);
    std::vector<float> out = left(capture.close());
    std::filesystem::current_path(previous_folder);
    music_control_reset();
    ASSERT_TRUE(ended);
    ASSERT_TRUE(more);
    EXPECT_TRUE(done_calls[0].inside_poll);

    std::vector<Span> spans = sound_spans(out, 0.001f, SIZE_MAX);
    ASSERT_FALSE(spans.empty());
    size_t start = spans[0].first;
    size_t length = size_t(std::lround(seconds * kRate));
    // Not before the end: the output file lags the mixer by at most a
    // buffer of stdio, 512 frames.
    EXPECT_GE(done_calls[0].output_frames + 1024, start + length);
    // The piece sounds through its last seconds, and the opening follows.
    auto level = [&](size_t from, size_t to) {
        return window_rms(std::vector<float>(out.begin() + long(from), out.begin() + long(to)), to - from)[0];
    };
    EXPECT_GT(level(start + length - 3 * kRate, start + length - kRate), 0.002f);
    size_t restart = size_t(done_calls[0].output_frames);
    ASSERT_LT(restart + kRate / 2, out.size());
    EXPECT_GT(level(restart, restart + kRate / 2), 0.002f);
    EXPECT_LT(peak(out), 1.0f) << "clipped";
    RecordProperty("music_seconds", std::to_string(seconds));
    RecordProperty("music_peak", std::to_string(peak(out)));
    RecordProperty("restart_ms", std::to_string(done_calls[0].restart_ms));
}

} // namespace

namespace {

// ---- Pieces the synthesizer cannot play, and one that does not last --------------

TEST_F(MusicOutput, PiecesTheSynthesizerCannotPlayArePassedOverSilently)
{
    std::string path = folder.file("MUSIC4.MID");
    std::vector<uint8_t> time_code = test_piece();
    time_code[12] = uint8_t(-25); // 25 frames a second,
    time_code[13] = 40;           // 40 ticks a frame
    const std::vector<uint8_t> stroke = join({{0x00, 0x99, 76, 110}, vlq(60), {0x89, 76, 0}});
    const std::vector<std::vector<uint8_t>> pieces = {
        time_code,
        smf(0, 480, {join({stroke, {0x00, 0xF7, 0x00}, {0x00, 0xFF, 0x2F, 0x00}})}), // an escape event
        smf(0, 480, {join({stroke, {0x00, 0xF4}, {0x00, 0xFF, 0x2F, 0x00}})}),       // an undefined status
        // Running status after a meta event, which the synthesizer reads as
        // another meta event.
        smf(0, 480, {join({stroke, {0x00, 0xFF, 0x01, 0x01, 'x'}, {0x00, 76, 0}, {0x00, 0xFF, 0x2F, 0x00}})}),
    };
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    plat_music_set_text(kMusicDeviceType, "Sequencer");
    for (const auto& bytes : pieces) {
        write_bytes(path, bytes);
        restart_music();
        capture.wait_output(0.3);
    }
    EXPECT_TRUE(done_calls.empty());
    EXPECT_EQ(sdl_audio_stats().music_loads, 0u);

    // Whatever still reaches FluidSynth and makes it complain stays off
    // the terminal too: the time-code piece handed to it directly.
    SDL_RWops* source = SDL_RWFromConstMem(time_code.data(), int(time_code.size()));
    Mix_Music* music = Mix_LoadMUSType_RW(source, MUS_MID, 1);
    ASSERT_NE(music, nullptr);
    Mix_PlayMusic(music, 0);
    capture.wait_output(0.3);
    Mix_HaltMusic();
    Mix_FreeMusic(music);
    std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
}

TEST_F(MusicOutput, AHugePieceIsRefusedUnread)
{
    std::string path = folder.file("MUSIC4.MID");
    std::vector<uint8_t> head = test_piece();
    write_bytes(path, head);
    std::filesystem::resize_file(path, 200'000'000); // the rest reads as zeros and takes no disk
    uint64_t read_before = bytes_read_by_process();
    double peak_before = peak_memory_mb();
    start_music();
    ASSERT_TRUE(capture.wait_output(0.3));
    EXPECT_EQ(sdl_audio_stats().music_loads, 0u);
    EXPECT_TRUE(done_calls.empty());
    EXPECT_LT(bytes_read_by_process() - read_before, 100'000u);
    EXPECT_LT(peak_memory_mb() - peak_before, 50.0);

    // A piece just over the limit is refused as well; one under it plays.
    std::vector<uint8_t> over = head;
    over.resize(kMaxMusicFileBytes + 1, 0);
    write_bytes(path, over);
    restart_music();
    EXPECT_EQ(sdl_audio_stats().music_loads, 0u);
    write_bytes(path, head);
    restart_music();
    EXPECT_EQ(sdl_audio_stats().music_loads, 1u);
}

TEST_F(MusicOutput, APieceOfNoLengthRestartsAtMostOnceASecond)
{
    // End of Track alone.
    write_bytes(folder.file("MUSIC4.MID"), smf(0, 480, {{0x00, 0xFF, 0x2F, 0x00}}));
    restarts_wanted = 1000;
    double started = now_seconds();
    start_music();
    while (now_seconds() - started < 3.5) {
        poll_audio(); // at the game's pace, 64 frames a second
        SDL_Delay(15);
    }
    // Told at once, then once a second: four times in 3.5 s.
    ASSERT_GE(done_calls.size(), 3u);
    EXPECT_LE(done_calls.size(), 4u);
    double shortest = 1e9;
    for (size_t i = 1; i < done_calls.size(); ++i)
        shortest = std::min(shortest, done_calls[i].seconds - done_calls[i - 1].seconds);
    EXPECT_GE(shortest, 0.999);
    EXPECT_EQ(sdl_audio_stats().music_loads, 1u);
}

} // namespace
