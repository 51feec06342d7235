// game_loop.cpp -- start-up, the frame loop, the crosshair, Esc and the mouse.
#include "shell/game_loop.h"

#include "combat/explosions.h"
#include "combat/interceptors.h"
#include "combat/missiles.h"
#include "combat/particles.h"
#include "combat/tables.h"
#include "platform/core/events.h"
#include "platform/platform.h"
#include "scene/backdrop.h"
#include "scene/skyline.h"
#include "shell/game_state.h"
#include "shell/handlers.h"
#include "shell/replay.h"
#include "shell/rnd.h"
#include "shell/rounding.h"
#include "shell/sound.h"

#include <chrono>

int16_t mouse_x = 0;
int16_t mouse_y = 0;
int32_t cursor_counter = 0;

namespace {

// Frames with fewer live particles than this are topped up with pixel writes,
// so that a frame's pixel work changes little with what is on the screen.
constexpr int16_t kFillerTarget = 500;

} // namespace

void game_loop_reset()
{
    mouse_x = 0;
    mouse_y = 0;
    cursor_counter = 0;
}

void start_up(uint32_t seed)
{
    reset_game();
    plat_open_window();

    // The pointer counter may already be negative; one call is always made.
    while ((cursor_counter = plat_show_cursor(false)) >= 0) {
    }

    rnd_seed(seed);
    spawn_interval = 10; // not above 15: the first frame starts wave 1
    ground_color = rgb(0, 37, 0);
    sky_type = round16(4 * double(rnd()));
    paint_sky();
    paint_ground();
    generate_skyline();
    music_start();
    // The four tables are empty: the reset above left them so.

    // The first scene is on the screen before the first frame begins.
    plat_show_picture();
}

void crosshair_step()
{
    // Put back what lies under the crosshair: the sky in open sky, the ground
    // colour on or under the ground line and over buildings. Both tests always
    // run, for hit_building records the building it examined.
    bool above_ground = mouse_y < ground_y(mouse_x);
    bool in_building = hit_building(mouse_x, mouse_y);
    Rgb under = (above_ground && !in_building) ? sky_color(mouse_y) : ground_color;
    plat_set_pixel(mouse_x, mouse_y, under);

    plat_process_events();
    dispatch_events();

    // A new shade between red and yellow every frame.
    plat_set_pixel(mouse_x, mouse_y, rgb(255, round16(255 * double(rnd())), 0));
}

void filler_writes()
{
    if (particle_count >= kFillerTarget)
        return;
    for (int16_t i = particle_count; i <= kFillerTarget; ++i)
        plat_set_pixel(0, 0, rgb(0, 0, 0));
}

void tick_wait(uint32_t frame_start)
{
    // Unsigned difference: a wrap of the counter past 2^32 still counts as
    // an advance. The poll never sleeps; the platform's clock steps pace it.
    while (uint32_t(plat_tick_count() - frame_start) < 1) {
    }
}

void run_frame()
{
    uint32_t frame_start = plat_tick_count();
    crosshair_step();
    wave_step();
    launch_step();
    missile_pass();
    missile_compaction();
    shot_pass();
    shot_compaction();
    particle_pass();
    particle_compaction();
    blast_aging();
    blast_compaction();
    filler_writes();
    // The frame reaches the screen here, at its end, where a reader of the
    // loop finds it, and each backend's clock stays a plain clock (the
    // browser's yield while the game waits belongs to the wait, not to the
    // picture). Every pixel of the frame was written within this one tick,
    // so showing them together now shows each at once.
    plat_show_picture();
    tick_wait(frame_start);
}

void Form_Load()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    const uint32_t seed = uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    start_up(seed);
    keep_game(seed);
    for (;;) {
        plat_hold_while_paused();
        run_frame();
    }
}

void Form_KeyPress(int16_t key_ascii)
{
    if (key_ascii != kKeyEsc)
        return;
    // Show the pointer again: call until the counter is 1 or more.
    while ((cursor_counter = plat_show_cursor(true)) <= 0) {
    }
    game_over(true);
    plat_end_program();
}

void Form_MouseMove(int16_t /*button*/, int16_t /*shift*/, float x, float y)
{
    mouse_x = round16(x);
    mouse_y = round16(y);
}

void Form_MouseDown(int16_t /*button*/, int16_t /*shift*/, float /*x*/, float /*y*/) {}
