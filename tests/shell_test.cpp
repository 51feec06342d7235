// shell_test.cpp -- start-up, the frame loop's own steps, the handlers, sound and music.
#include "test_support.h"

#include "combat/missiles.h"
#include "shell/handlers.h"
#include "shell/rnd.h"
#include "shell/rounding.h"
#include "shell/sound.h"

#include <cmath>

namespace {

TEST(StartUp, HidesThePointerOnceEvenWhenAlreadyHidden)
{
    mem_reset();
    start_up(1);
    EXPECT_EQ(mem_cursor_counter(), -1);
    EXPECT_EQ(mem_cursor_calls(), 1u);

    mem_reset();
    mem_set_cursor_counter(-3);
    start_up(1);
    EXPECT_EQ(mem_cursor_counter(), -4);
    EXPECT_EQ(mem_cursor_calls(), 1u);

    mem_reset();
    mem_set_cursor_counter(2);
    start_up(1);
    EXPECT_EQ(mem_cursor_counter(), -1);
    EXPECT_EQ(mem_cursor_calls(), 3u);
    EXPECT_FALSE(mem_pointer_shown());
}

TEST(StartUp, ShowsTheFirstSceneBeforeTheFirstFrameReadsTheClock)
{
    new_game(5);
    EXPECT_EQ(mem_picture_shows().count, 1u);
    EXPECT_FALSE(picture_changed()); // nothing drawn after it
    EXPECT_EQ(mem_picture_shows().tick_reads, 0u);
}

TEST(FrameLoop, ShowsEachFrameAfterItsFillerWritesAndBeforeItsWait)
{
    new_game(5);
    for (int i = 0; i < 3; ++i) {
        const uint64_t reads = mem_tick_reads();
        ASSERT_TRUE(frame());
        ASSERT_LT(particle_count, 500); // so the frame ended with filler writes
        const PictureShows shown = mem_picture_shows();
        EXPECT_EQ(shown.count, 2u + uint64_t(i));
        EXPECT_FALSE(picture_changed());               // nothing drawn after it
        EXPECT_EQ(shown.tick_reads, reads + 1);        // the frame-start read only,
        EXPECT_GT(mem_tick_reads(), shown.tick_reads); // then the wait
    }
}

TEST(StartUp, SetsTheGlobalsAndTheFirstFrameStartsWaveOne)
{
    new_game(9);
    EXPECT_EQ(spawn_interval, 10);
    EXPECT_EQ(spawn_countdown, 0);
    EXPECT_EQ(ground_color, rgb(0, 37, 0));
    EXPECT_GE(sky_type, 0);
    EXPECT_LE(sky_type, 4);
    EXPECT_EQ(missile_count + particle_count + shot_count + blast_count, 0);
    // One draw for the palette, five per building plus its window lights.
    uint64_t draws = rnd_draws();
    EXPECT_GT(draws, 1u + 25u * 5u);

    ASSERT_TRUE(frame());
    EXPECT_EQ(spawn_interval, 79);
    EXPECT_EQ(spawn_countdown, 80);
    EXPECT_EQ(missile_count, 1);
    EXPECT_EQ(missiles[1].life, 4999);
}

TEST(Crosshair, ErasedWithSkyOrGroundAndDrawnBetweenRedAndYellow)
{
    new_game(3);
    quiet_sky();
    spawn_interval = 15;
    missile_count = 0;
    sky_type = 3; // blue 57 at the top, so an erase at row 0 shows

    // Before any movement the crosshair sits at (0, 0), in open sky.
    post_event(mouse_move(200, 100));
    crosshair_step();
    EXPECT_EQ(mem_pixel(0, 0), sky_color(0));
    EXPECT_EQ(mem_pixel(0, 0), rgb(0, 0, 57));
    Rgb drawn = mem_pixel(200, 100);
    EXPECT_EQ(drawn.r, 255);
    EXPECT_EQ(drawn.b, 0);

    // Open sky: erased with the row's sky colour once the crosshair leaves.
    post_event(mouse_move(300, 120));
    crosshair_step();
    EXPECT_EQ(mem_pixel(200, 100), sky_color(100));

    // Exactly on the ground height: not open sky.
    post_event(mouse_move(0, 550));
    crosshair_step();
    post_event(mouse_move(10, 10));
    crosshair_step();
    EXPECT_EQ(mem_pixel(0, 550), ground_color);

    // Inside a building: ground colour over the building.
    building_count = 1;
    roof_top = 400;
    buildings[1] = make_building(500, 540, 20, 60);
    index_buildings();
    post_event(mouse_move(510, 520));
    crosshair_step();
    post_event(mouse_move(10, 10));
    crosshair_step();
    EXPECT_EQ(mem_pixel(510, 520), ground_color);
    EXPECT_EQ(hit_index, 1);
}

TEST(Mouse, PositionsRoundHalvesToEven)
{
    new_game();
    Form_MouseMove(0, 0, 10.5f, 11.5f);
    EXPECT_EQ(mouse_x, 10);
    EXPECT_EQ(mouse_y, 12);
    Form_MouseMove(0, 0, 2.5f, 3.49f);
    EXPECT_EQ(mouse_x, 2);
    EXPECT_EQ(mouse_y, 3);
    Form_MouseDown(1, 0, 50, 50); // buttons do nothing
    EXPECT_EQ(mouse_x, 2);
}

TEST(FillerWrites, TopUpToFiveHundredAndOne)
{
    new_game();
    struct Case { int16_t particles; uint64_t writes; };
    for (Case c : {Case{0, 501}, Case{499, 2}, Case{500, 0}, Case{2000, 0}}) {
        particle_count = c.particles;
        uint64_t before = mem_pixel_writes();
        filler_writes();
        EXPECT_EQ(mem_pixel_writes() - before, c.writes) << c.particles;
    }
    particle_count = 0;
    // They leave the crosshair's pixel at (0, 0) black at the end of a frame.
    quiet_sky();
    spawn_interval = 15;
    missile_count = 1;
    missiles[1] = make_mover(300, 100, 0, 0.5f, 500);
    ASSERT_TRUE(frame());
    EXPECT_EQ(mem_pixel(0, 0), rgb(0, 0, 0));
}

TEST(TickWait, EndsOnTheFirstAdvanceAcrossWrapAround)
{
    new_game();
    mem_set_tick_step(1);
    mem_set_tick(0);
    uint64_t reads = mem_tick_reads();
    tick_wait(0); // reads 0, then 1
    EXPECT_EQ(mem_tick_reads() - reads, 2u);

    mem_set_tick(0xFFFFFFFFu);
    reads = mem_tick_reads();
    tick_wait(0xFFFFFFFFu); // reads 2^32 - 1, then wraps to 0
    EXPECT_EQ(mem_tick_reads() - reads, 2u);

    // A clock that stands still for a while keeps the frame waiting: five
    // readings of 500, then 501.
    mem_set_tick(500);
    mem_hold_tick(4);
    reads = mem_tick_reads();
    tick_wait(500);
    EXPECT_EQ(mem_tick_reads() - reads, 6u);
}

TEST(Esc, ShowsThePointerUntilOneThenEnds)
{
    new_game();
    EXPECT_EQ(mem_cursor_counter(), -1);
    uint64_t calls = mem_cursor_calls();
    EXPECT_THROW(Form_KeyPress(kKeyEsc), ProgramEnded);
    EXPECT_EQ(mem_cursor_counter(), 1);
    EXPECT_EQ(mem_cursor_calls() - calls, 2u);
    EXPECT_TRUE(mem_pointer_shown());

    mem_set_cursor_counter(4);
    calls = mem_cursor_calls();
    EXPECT_THROW(Form_KeyPress(kKeyEsc), ProgramEnded);
    EXPECT_EQ(mem_cursor_counter(), 5);
    EXPECT_EQ(mem_cursor_calls() - calls, 1u);

    // Other characters do nothing.
    calls = mem_cursor_calls();
    Form_KeyPress(kKeyA);
    Form_KeyPress(13);
    EXPECT_EQ(mem_cursor_calls(), calls);
}

TEST(Esc, EndsTheFrameInsideItsEventProcessing)
{
    new_game();
    post_event(key_press(kKeyEsc));
    post_event(mouse_move(100, 100));
    uint64_t draws = rnd_draws();
    EXPECT_FALSE(frame());
    EXPECT_EQ(mouse_x, 0); // the move after Esc was never handled
    EXPECT_EQ(rnd_draws(), draws); // nothing after the event processing ran
    EXPECT_EQ(mem_picture_shows().count, 1u); // start-up's only
    EXPECT_EQ(pending_events(), 1);
}

TEST(Sound, EffectsComeFromTheProgramFolder)
{
    mem_reset(800, 600, "/opt/games/pelmaric");
    sound("\\ex2.wav", 1);
    sound("\\poof.wav", 1);
    ASSERT_EQ(mem_audio_calls().size(), 2u);
    EXPECT_EQ(mem_audio_calls()[0].name, "/opt/games/pelmaric/ex2.wav");
    EXPECT_EQ(mem_audio_calls()[0].value, 1);
    EXPECT_EQ(mem_audio_calls()[1].name, "/opt/games/pelmaric/poof.wav");
}

TEST(Music, StartWritesSixPropertiesAndOpensFromTheCurrentFolder)
{
    new_game();
    const std::vector<AudioCall>& calls = mem_audio_calls();
    ASSERT_EQ(calls.size(), 6u);
    const std::pair<int, const char*> want[] = {{24, "False"}, {25, "True"}, {26, "False"},
                                                {21, "Sequencer"}, {23, "Open"}, {23, "play"}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_FALSE(calls[i].is_sound);
        EXPECT_EQ(calls[i].value, want[i].first);
        EXPECT_EQ(calls[i].name, want[i].second);
    }
    EXPECT_EQ(mem_music_device_calls(), (std::vector<std::string>{"open ./MUSIC4.MID", "play"}));
}

TEST(Music, NotificationRestartsOnlyInsideEventProcessing)
{
    new_game();
    size_t before = mem_audio_calls().size();
    post_event(music_done());
    EXPECT_EQ(mem_audio_calls().size(), before); // queued, not yet handled
    uint64_t processing = mem_event_processing_calls();
    ASSERT_TRUE(frame());
    EXPECT_EQ(mem_event_processing_calls(), processing + 1);
    const std::vector<AudioCall>& calls = mem_audio_calls();
    ASSERT_EQ(calls.size(), before + 3);
    EXPECT_EQ(calls[before].name, "close");
    EXPECT_EQ(calls[before + 1].name, "open");
    EXPECT_EQ(calls[before + 2].name, "play");
    EXPECT_EQ(mem_music_device_calls(),
              (std::vector<std::string>{"open ./MUSIC4.MID", "play", "close", "open ./MUSIC4.MID", "play"}));
}

TEST(Music, ControlIgnoresUnknownCommandsAndNeedsTheSequencer)
{
    mem_reset();
    plat_music_set_text(kMusicCommand, "open"); // no device type yet: nothing opens
    plat_music_set_text(kMusicCommand, "play");
    EXPECT_TRUE(mem_music_device_calls().empty());
    plat_music_set_text(kMusicDeviceType, "sequencer");
    plat_music_set_text(kMusicCommand, "OPEN");
    plat_music_set_text(kMusicCommand, "rewind");
    plat_music_set_text(kMusicCommand, "stop");
    plat_music_set_text(kMusicCommand, "PlAy");
    plat_music_set_text(kMusicCommand, "Close");
    plat_music_set_text(kMusicCommand, "play"); // closed: nothing to play
    EXPECT_EQ(mem_music_device_calls(), (std::vector<std::string>{"open ./MUSIC4.MID", "play", "close"}));
}

} // namespace

namespace {

TEST(Rounding, HalvesGoToEvenAndLargeValuesSaturate)
{
    EXPECT_EQ(round16(10.5), 10);
    EXPECT_EQ(round16(11.5), 12);
    EXPECT_EQ(round16(-2.5), -2);
    EXPECT_EQ(round16(-3.5), -4);
    EXPECT_EQ(round16(0.49999999999999994), 0);
    EXPECT_EQ(round32(2147483647.4), 2147483647);
    EXPECT_EQ(round16(1e6), INT16_MAX);
    EXPECT_EQ(round16(-1e6), INT16_MIN);
    EXPECT_EQ(round32(1e300), INT32_MAX);
    EXPECT_EQ(round32(std::nan("")), INT32_MIN);
    // The fast path agrees with the library on a sweep of halves and near-halves.
    for (double v = -70000; v <= 70000; v += 0.25) {
        ASSERT_EQ(round_half_even(v), std::nearbyint(v)) << v;
        ASSERT_EQ(round_half_even(std::nextafter(v, 1e9)), std::nearbyint(std::nextafter(v, 1e9))) << v;
    }
    EXPECT_EQ(round_half_even(0x1p52 + 1), 0x1p52 + 1);
    EXPECT_EQ(round_half_even(-0x1p51 - 0.5), std::nearbyint(-0x1p51 - 0.5));
}

} // namespace
