// gamepad_test.cpp -- the real game on the SDL backend, played with SDL's virtual game controller.
//
// Usage: gamepad_test CASE   (aim, launch, stream, end, unplug, pause,
// nintendo, ninth), under an X
// server (tests/x11/with_xvfb.sh). Each case starts the game, plugs in a
// virtual pad (SDL_JoystickAttachVirtualEx) the way a real one arrives, works
// its sticks and buttons, runs the game's own frames and looks at what the
// game did: its crosshair, and the interceptors it launched. Exit status 0
// when the case holds.
#include "combat/tables.h"
#include "platform/core/events.h"
#include "platform/core/pause.h"
#include "platform/platform.h"
#include "shell/game_loop.h"

#include <SDL.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const std::string& what)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

std::string str(double v) { return std::to_string(v); }

struct VirtualPad {
    int index;
    SDL_Joystick* joystick;
};

// Plugs in a virtual controller with every standard button and axis; given
// `nintendo_mappings`, it carries Nintendo's ids and SDL is given those
// mappings for it, as its database gives them for Nintendo's pads. Runs
// frames until the game has opened it, unless `wait` is false.
VirtualPad plug_in(const std::vector<std::string>& nintendo_mappings = {}, bool wait = true)
{
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "Pelmaric test pad";
    if (!nintendo_mappings.empty()) {
        desc.vendor_id = 0x057e;
        desc.product_id = 0x2009;
    }
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) {
        std::fprintf(stderr, "FAILED: no virtual controller: %s\n", SDL_GetError());
        std::exit(1);
    }
    char guid[64];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
    for (const std::string& mapping : nintendo_mappings)
        SDL_GameControllerAddMapping((std::string(guid) + "," + mapping).c_str());
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
    if (!wait)
        return VirtualPad{index, joystick};
    for (int frame = 0; frame < 640 && SDL_GameControllerFromInstanceID(id) == nullptr; ++frame)
        run_frame();
    if (SDL_GameControllerFromInstanceID(id) == nullptr) {
        std::fputs("FAILED: the game did not open the controller within 10 s\n", stderr);
        std::exit(1);
    }
    return VirtualPad{index, joystick};
}

void set_button(const VirtualPad& pad, SDL_GameControllerButton button, bool down)
{
    SDL_JoystickSetVirtualButton(pad.joystick, button, down ? 1 : 0);
}

void set_stick(const VirtualPad& pad, double x, double y)
{
    SDL_JoystickSetVirtualAxis(pad.joystick, SDL_CONTROLLER_AXIS_LEFTX, int16_t(std::lround(x * 32767)));
    SDL_JoystickSetVirtualAxis(pad.joystick, SDL_CONTROLLER_AXIS_LEFTY, int16_t(std::lround(y * 32767)));
}

void run_frames(int n)
{
    for (int i = 0; i < n; ++i)
        run_frame();
}

// The game's window.
SDL_Window* game_window()
{
    for (Uint32 id = 1; id < 100; ++id)
        if (SDL_Window* w = SDL_GetWindowFromID(id))
            return w;
    return nullptr;
}

// Puts the crosshair at game pixel (x, y) with the mouse: the pointer is
// moved there (the window is at 1x on the test's screen).
void aim_at(int x, int y)
{
    SDL_WarpMouseInWindow(game_window(), x, y);
    for (int frame = 0; frame < 640 && (mouse_x != x || mouse_y != y); ++frame)
        run_frame();
    if (mouse_x != x || mouse_y != y) {
        std::fprintf(stderr, "FAILED: the mouse did not take the crosshair to %d, %d\n", x, y);
        std::exit(1);
    }
}

// The interceptors in flight, slot by slot.
std::vector<bool> alive_shots()
{
    // The table's records are 1 to shot_count.
    std::vector<bool> alive(kShotSlots, false);
    for (int i = 1; i <= shot_count && i < kShotSlots; ++i)
        alive[size_t(i)] = !is_dead(shots[i]);
    return alive;
}

// The interceptors launched by the last frame: slots alive now and not before.
std::vector<const Shot*> launched_since(const std::vector<bool>& before)
{
    std::vector<const Shot*> found;
    const std::vector<bool> now = alive_shots();
    for (size_t i = 0; i < now.size(); ++i)
        if (now[i] && !before[i])
            found.push_back(&shots[i]);
    return found;
}

// The launch point an interceptor seen in its first frames came from: the
// one a few of its 5-pixel steps lead back to; -1 when none.
int launch_point(const Shot& s)
{
    const float W = plat_client_width();
    const double xs[3] = {10, double(W) / 2, double(W) - 10};
    for (int steps = 0; steps <= 4; ++steps)
        for (int i = 0; i < 3; ++i)
            if (std::fabs(double(s.x) - steps * double(s.dx) - xs[i]) < 0.05)
                return i;
    return -1;
}

void case_aim()
{
    VirtualPad pad = plug_in();
    aim_at(400, 300);
    // Inside the dead zone the crosshair holds still.
    set_stick(pad, 0.1, -0.1);
    run_frames(32);
    check(mouse_x == 400 && mouse_y == 300,
          "a stick in the dead zone moved the crosshair to " + str(mouse_x) + ", " + str(mouse_y));
    // Full tilt right: about 12 game pixels a frame.
    set_stick(pad, 1.0, 0.0);
    run_frames(10);
    check(mouse_x >= 400 + 10 * 11 && mouse_x <= 400 + 10 * 13 && mouse_y == 300,
          "10 frames at full tilt right gave " + str(mouse_x) + ", " + str(mouse_y) + " from 400, 300");
    // Half tilt is much finer than half speed.
    const int16_t before = mouse_x;
    set_stick(pad, -0.5, 0.0);
    run_frames(10);
    const int moved = before - mouse_x;
    check(moved >= 10 && moved <= 40, "10 frames at half tilt left moved " + str(moved) + " pixels");
    // Held in a corner, it stays inside the picture.
    set_stick(pad, 1.0, 1.0);
    run_frames(120);
    check(mouse_x == kClientWidth - 1 && mouse_y == kClientHeight - 1,
          "the stick held down-right left the crosshair at " + str(mouse_x) + ", " + str(mouse_y));
    set_stick(pad, 0, 0);
    // The d-pad: one game pixel a frame.
    aim_at(200, 200);
    set_button(pad, SDL_CONTROLLER_BUTTON_DPAD_UP, true);
    run_frames(5);
    set_button(pad, SDL_CONTROLLER_BUTTON_DPAD_UP, false);
    run_frames(3);
    check(mouse_x == 200 && mouse_y == 195, "5 frames of d-pad up gave " + str(mouse_x) + ", " + str(mouse_y));
    // The mouse carries on from where the pad left the crosshair: the
    // pointer was put there, so a move of 7 points is a move of 7 pixels
    // (the window is at 1x on this screen).
    SDL_Window* window = game_window();
    if (SDL_GetMouseFocus() != window) {
        std::puts("the pointer is not over the window: the mouse hand-over is not checked");
        return;
    }
    int wx = 0, wy = 0, gx = 0, gy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);
    SDL_GetGlobalMouseState(&gx, &gy);
    check(std::abs(gx - wx - mouse_x) <= 1 && std::abs(gy - wy - mouse_y) <= 1,
          "the pointer is at window point " + str(gx - wx) + ", " + str(gy - wy) + ", the crosshair at " +
              str(mouse_x) + ", " + str(mouse_y));
    const int16_t x0 = mouse_x, y0 = mouse_y;
    SDL_WarpMouseGlobal(gx + 7, gy);
    run_frames(8);
    check(std::abs(mouse_x - (x0 + 7)) <= 1 && mouse_y == y0,
          "a mouse move of 7 points after the pad took the crosshair from " + str(x0) + ", " + str(y0) + " to " +
              str(mouse_x) + ", " + str(mouse_y));
}

void case_launch()
{
    VirtualPad pad = plug_in();
    aim_at(400, 100);
    const struct {
        SDL_GameControllerButton button;
        const char* name;
        int point; // 0 left, 1 centre, 2 right
    } buttons[] = {{SDL_CONTROLLER_BUTTON_X, "West", 0},
                   {SDL_CONTROLLER_BUTTON_A, "South", 1},
                   {SDL_CONTROLLER_BUTTON_B, "East", 2},
                   {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, "left shoulder", 0},
                   {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, "right shoulder", 2}};
    for (const auto& b : buttons) {
        std::vector<bool> before = alive_shots();
        set_button(pad, b.button, true);
        std::vector<const Shot*> launched;
        for (int frame = 0; frame < 64 && launched.empty(); ++frame) {
            run_frame();
            launched = launched_since(before);
        }
        set_button(pad, b.button, false);
        run_frames(2);
        check(launched.size() == 1, std::string(b.name) + " launched " + str(double(launched.size())) + " interceptors");
        if (launched.size() == 1)
            check(launch_point(*launched[0]) == b.point && launched[0]->tx == 400 && launched[0]->ty == 100,
                  std::string(b.name) + " launched from x " + str(launched[0]->x) + " towards " +
                      str(launched[0]->tx) + ", " + str(launched[0]->ty));
    }
}

void case_stream()
{
    VirtualPad pad = plug_in();
    aim_at(400, 100); // far enough that none arrives while the button is held
    std::vector<double> times;
    set_button(pad, SDL_CONTROLLER_BUTTON_B, true);
    const uint64_t pressed = SDL_GetTicks64();
    bool wrong_point = false;
    while (SDL_GetTicks64() - pressed < 1500) {
        std::vector<bool> before = alive_shots();
        run_frame();
        for (const Shot* s : launched_since(before)) {
            times.push_back(double(SDL_GetTicks64() - pressed));
            wrong_point |= launch_point(*s) != 2;
        }
    }
    set_button(pad, SDL_CONTROLLER_BUTTON_B, false);
    const size_t held = times.size();
    std::vector<bool> before = alive_shots();
    run_frames(32);
    check(launched_since(before).empty(), "interceptors still launched after the button was let go");
    check(!wrong_point, "an interceptor of the stream came from another launch point");
    // 1 at once, then after 500 ms one every 40 ms: 1 + 1 + 25 in 1.5 s.
    check(held >= 22 && held <= 30, str(double(held)) + " interceptors in 1.5 s of a held button");
    if (held >= 3) {
        check(times[0] <= 100, "the first interceptor came " + str(times[0]) + " ms after the press");
        check(times[1] >= 450 && times[1] <= 620, "the first repeat came " + str(times[1]) + " ms after the press");
        const double rate = double(held - 2) * 1000 / (times[held - 1] - times[1]);
        check(rate >= 20 && rate <= 30, "repeats at " + str(rate) + " a second");
        std::printf("%zu interceptors; first repeat at %.0f ms, then %.1f a second\n", held, times[1], rate);
    }
}

// What the end case has reached, checked when the process exits.
enum class EndStage { Playing, BothPressed } end_stage = EndStage::Playing;

void check_how_it_ended()
{
    if (end_stage != EndStage::BothPressed) {
        std::fputs("FAILED: the game ended before Back and Start were held together\n", stderr);
        std::_Exit(1);
    }
    if (SDL_ShowCursor(SDL_QUERY) != SDL_ENABLE) {
        std::fputs("FAILED: the game ended with the pointer hidden\n", stderr);
        std::_Exit(1);
    }
    std::puts("Back and Start ended the game, with the pointer shown");
}

void case_end()
{
    VirtualPad pad = plug_in();
    std::atexit(check_how_it_ended);
    // Start alone pauses (the pause case); Back alone does nothing.
    set_button(pad, SDL_CONTROLLER_BUTTON_BACK, true);
    run_frames(64);
    set_button(pad, SDL_CONTROLLER_BUTTON_START, true);
    end_stage = EndStage::BothPressed;
    run_frames(320);
    std::fputs("FAILED: Back and Start held together for 5 s did not end the game\n", stderr);
    std::_Exit(1);
}

// One press of a raw button: the launch point it fired from, -1 for none.
int launched_from(const VirtualPad& pad, int raw_button)
{
    std::vector<bool> before = alive_shots();
    SDL_JoystickSetVirtualButton(pad.joystick, raw_button, 1);
    std::vector<const Shot*> launched;
    for (int frame = 0; frame < 64 && launched.empty(); ++frame) {
        run_frame();
        launched = launched_since(before);
    }
    SDL_JoystickSetVirtualButton(pad.joystick, raw_button, 0);
    run_frames(2);
    return launched.size() == 1 ? launch_point(*launched[0]) : -1;
}

// A pad of Nintendo's layout: A east, B south, X north, Y west. SDL's
// database maps such pads both ways, by label and by position, as a hint
// chooses; the game asks for position.
void case_nintendo()
{
    const std::string rest = "back:b4,guide:b5,start:b6,leftstick:b7,rightstick:b8,leftshoulder:b9,rightshoulder:b10,"
                             "dpup:b11,dpdown:b12,dpleft:b13,dpright:b14,leftx:a0,lefty:a1,rightx:a2,righty:a3,";
    const std::string labels = "Nintendo layout pad,a:b1,b:b0,x:b2,y:b3," + rest + "hint:SDL_GAMECONTROLLER_USE_BUTTON_LABELS:=1";
    const std::string places = "Nintendo layout pad,a:b0,b:b1,x:b3,y:b2," + rest + "hint:!SDL_GAMECONTROLLER_USE_BUTTON_LABELS:=1";
    VirtualPad pad = plug_in({labels, places});
    aim_at(400, 100);
    // Raw buttons: 0 south (labelled B), 1 east (A), 3 west (Y).
    const struct {
        int raw;
        const char* place;
        int point;
    } presses[] = {{0, "south", 1}, {1, "east", 2}, {3, "west", 0}, {2, "north", -1}};
    for (const auto& p : presses) {
        const int point = launched_from(pad, p.raw);
        check(point == p.point, std::string("the ") + p.place + " button launched from point " + str(point) +
                                    ", not " + str(p.point));
    }
}

// Eight pads play; a ninth waits, and takes the first slot that frees.
void case_ninth()
{
    std::vector<VirtualPad> pads;
    for (int i = 0; i < 8; ++i)
        pads.push_back(plug_in());
    VirtualPad ninth = plug_in({}, false);
    run_frames(32);
    const SDL_JoystickID id = SDL_JoystickInstanceID(ninth.joystick);
    check(SDL_GameControllerFromInstanceID(id) == nullptr, "a ninth pad was opened with eight slots taken");
    aim_at(400, 100);
    check(launched_from(ninth, SDL_CONTROLLER_BUTTON_A) == -1, "the ninth pad launched with eight slots taken");
    SDL_JoystickClose(pads[3].joystick);
    check(SDL_JoystickDetachVirtual(pads[3].index) == 0, std::string("detaching: ") + SDL_GetError());
    for (int frame = 0; frame < 640 && SDL_GameControllerFromInstanceID(id) == nullptr; ++frame)
        run_frame();
    check(SDL_GameControllerFromInstanceID(id) != nullptr, "the ninth pad was not opened when a slot freed");
    check(launched_from(ninth, SDL_CONTROLLER_BUTTON_A) == 1, "the ninth pad did not launch once a slot freed");
}

void case_unplug()
{
    VirtualPad pad = plug_in();
    aim_at(400, 300);
    set_stick(pad, 1.0, 0.0);
    set_button(pad, SDL_CONTROLLER_BUTTON_B, true);
    run_frames(16);
    SDL_JoystickClose(pad.joystick);
    check(SDL_JoystickDetachVirtual(pad.index) == 0, std::string("detaching: ") + SDL_GetError());
    run_frames(4);
    // Pulled out with the stick tilted and a button held: the game plays on,
    // and nothing of the pad lingers.
    const int16_t x = mouse_x;
    std::vector<bool> before = alive_shots();
    run_frames(64);
    check(mouse_x == x, "the crosshair moved on after the pad was pulled out");
    check(launched_since(before).empty(), "the held button still launched after the pad was pulled out");
    // Another pad plugged in during play works.
    VirtualPad second = plug_in();
    before = alive_shots();
    set_button(second, SDL_CONTROLLER_BUTTON_A, true);
    std::vector<const Shot*> launched;
    for (int frame = 0; frame < 64 && launched.empty(); ++frame) {
        run_frame();
        launched = launched_since(before);
    }
    check(launched.size() == 1 && launch_point(*launched[0]) == 1,
          "a pad plugged in during play did not launch from the centre");
}

} // namespace

// Holds the game as the frame loop does between frames, while another
// thread works `button` (down, or up) after a fifth of a second, as a
// player would; true when the hold returned within 10 s.
bool hold_while(const VirtualPad& pad, SDL_GameControllerButton button, bool down)
{
    std::thread player([&] {
        SDL_Delay(200);
        set_button(pad, button, down);
    });
    const Uint64 began = SDL_GetTicks64();
    // A hold that never returns fails the test by its deadline; one that
    // returns before the press was made is caught here.
    plat_hold_while_paused();
    const Uint64 held_ms = SDL_GetTicks64() - began;
    player.join();
    check(held_ms >= 150, "the pause ended after " + std::to_string(held_ms) + " ms, before the pad was pressed");
    return held_ms < 10000;
}

// Start alone pauses; while paused no frame runs, Start or South plays on,
// and the South that played on launches nothing, held or not; Back + Start
// ends the game from the pause.
void case_pause()
{
    VirtualPad pad = plug_in();
    aim_at(400, 200);
    set_button(pad, SDL_CONTROLLER_BUTTON_START, true);
    for (int frame = 0; frame < 640 && !pause_asked(); ++frame)
        run_frame();
    check(pause_asked(), "Start alone did not pause the game");
    set_button(pad, SDL_CONTROLLER_BUTTON_START, false);

    check(shot_count == 0, "interceptors in flight before the pause");
    hold_while(pad, SDL_CONTROLLER_BUTTON_A, true);
    check(!pause_asked(), "South did not play on");
    int16_t most = 0;
    for (int frame = 0; frame < 96; ++frame) { // held 1.5 s: past the repeat's delay
        run_frame();
        most = std::max(most, shot_count);
    }
    check(most == 0, "the South that played on launched " + std::to_string(most) + " interceptors");
    set_button(pad, SDL_CONTROLLER_BUTTON_A, false);
    run_frames(2);

    set_button(pad, SDL_CONTROLLER_BUTTON_START, true);
    run_frames(2);
    check(pause_asked(), "Start did not pause the game a second time");
    set_button(pad, SDL_CONTROLLER_BUTTON_START, false);
    hold_while(pad, SDL_CONTROLLER_BUTTON_START, true);
    check(!pause_asked(), "Start did not play on");

    // Start still held: Back now ends the game, from a pause.
    set_button(pad, SDL_CONTROLLER_BUTTON_START, false);
    run_frames(2);
    set_button(pad, SDL_CONTROLLER_BUTTON_START, true);
    run_frames(2);
    check(pause_asked(), "Start did not pause the game a third time");
    if (failures > 0)
        std::_Exit(1);
    std::atexit(check_how_it_ended);
    hold_while(pad, SDL_CONTROLLER_BUTTON_BACK, true);
    check(pause_ending(), "Back + Start did not end the game from the pause");
    end_stage = EndStage::BothPressed;
    run_frame(); // the ending's frame: the Esc handler ends the program here
    std::fputs("FAILED: the frame after Back + Start in a pause did not end the game\n", stderr);
    std::_Exit(1);
}

int main(int argc, char** argv)
{
    const struct {
        const char* name;
        void (*run)();
    } cases[] = {{"aim", case_aim},       {"launch", case_launch},     {"stream", case_stream}, {"end", case_end},
                 {"unplug", case_unplug}, {"pause", case_pause},       {"nintendo", case_nintendo},
                 {"ninth", case_ninth}};
    for (const auto& c : cases) {
        if (argc == 2 && std::strcmp(argv[1], c.name) == 0) {
            start_up(20261207u);
            c.run();
            if (failures == 0)
                std::printf("passed %s\n", c.name);
            std::fflush(stdout);
            // Ends as the game ends, status by the result.
            std::_Exit(failures == 0 ? 0 : 1);
        }
    }
    std::fputs("usage: gamepad_test {aim|launch|stream|end|unplug|pause|nintendo|ninth}\n", stderr);
    return 2;
}
