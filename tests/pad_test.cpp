// pad_test.cpp -- the game pads' rules: the stick's dead zone and curve, the d-pad, the launch keys, the repeat, Back + Start, the pause.
#include "platform/core/pad.h"
#include "platform/core/pause.h"
#include "test_support.h"

#include <vector>

namespace {

// What the pads posted since the last look, oldest first; the queue is emptied.
std::vector<WindowEvent> posted()
{
    std::vector<WindowEvent> out;
    for (int i = 0; i < pending_events(); ++i)
        out.push_back(peek_event(i));
    forget_events();
    return out;
}

std::vector<int16_t> keys_down(const std::vector<WindowEvent>& events)
{
    std::vector<int16_t> keys;
    for (const WindowEvent& e : events)
        if (e.kind == EventKind::KeyDown)
            keys.push_back(e.code);
    return keys;
}

// A fresh machine with pad 0 plugged in and the crosshair at (x, y).
PadState& plugged_pad(float x = 400, float y = 300)
{
    mem_reset();
    pad_aim_at(x, y);
    PadState& pad = pad_slot(0);
    pad.connected = true;
    return pad;
}

// The crosshair's move in one frame with the stick at (sx, sy).
void stick_move(float sx, float sy, double& dx, double& dy)
{
    PadState& pad = plugged_pad();
    pad.stick_x = sx;
    pad.stick_y = sy;
    pad_frame(0);
    dx = double(pad_aim_x()) - 400;
    dy = double(pad_aim_y()) - 300;
    forget_events();
}

TEST(Pads, TheStickHasARadialDeadZoneAndASquareCurveToTwelvePixels)
{
    double dx = 0, dy = 0;
    const float inside[][2] = {{0.14f, 0}, {0.1f, -0.1f}, {0, -0.149f}};
    for (const auto& still : inside) {
        stick_move(still[0], still[1], dx, dy);
        EXPECT_EQ(dx, 0);
        EXPECT_EQ(dy, 0) << still[0] << ", " << still[1];
    }
    // Each axis inside the zone, the tilt beyond it: a move.
    stick_move(0.12f, 0.12f, dx, dy);
    EXPECT_GT(dx, 0);
    EXPECT_NEAR(dx, dy, 1e-6);
    stick_move(1, 0, dx, dy);
    EXPECT_NEAR(dx, kStickTopSpeed, 1e-4);
    EXPECT_EQ(dy, 0);
    stick_move(0, -1, dx, dy);
    EXPECT_NEAR(dy, -kStickTopSpeed, 1e-4);
    // Half tilt is far finer than half speed: 12 * ((0.5 - 0.15) / 0.85)^2.
    stick_move(-0.5f, 0, dx, dy);
    EXPECT_NEAR(dx, -12.0 * (0.35 / 0.85) * (0.35 / 0.85), 1e-4);
    // A corner is full speed along the diagonal, no faster.
    stick_move(1, 1, dx, dy);
    EXPECT_NEAR(std::hypot(dx, dy), kStickTopSpeed, 1e-4);
    EXPECT_NEAR(dx, dy, 1e-6);
}

TEST(Pads, TheCrosshairMovesFromWhereThePointerPutItAndStaysInThePicture)
{
    PadState& pad = plugged_pad(795.5f, 4);
    pad.stick_x = 1;
    pad.stick_y = -1;
    EXPECT_TRUE(pad_frame(0));
    std::vector<WindowEvent> events = posted();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::MouseMove);
    EXPECT_EQ(events[0].x, 799.0f);
    EXPECT_EQ(events[0].y, 0.0f);
    // Against the edge, no move is posted.
    EXPECT_FALSE(pad_frame(16));
    EXPECT_TRUE(posted().empty());
    pad.stick_x = 0;
    pad.stick_y = 0;
    // The pointer takes it elsewhere; the pad carries on from there.
    pad_aim_at(10.25f, 20.5f);
    pad.held[kPadRight] = true;
    pad.held[kPadDown] = true;
    pad_frame(32);
    pad_frame(48);
    events = posted();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].x, 12.25f);
    EXPECT_EQ(events[1].y, 22.5f);
    // Opposite directions cancel.
    pad.held[kPadLeft] = true;
    pad.held[kPadDown] = false;
    EXPECT_FALSE(pad_frame(64));
    EXPECT_TRUE(posted().empty());
}

TEST(Pads, APointerMoveIsPostedAndThePadsCarryOnFromIt)
{
    PadState& pad = plugged_pad();
    post_pointer_move(100.5f, 200.25f, kShiftBit);
    std::vector<WindowEvent> events = posted();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::MouseMove);
    EXPECT_EQ(events[0].x, 100.5f);
    EXPECT_EQ(events[0].y, 200.25f);
    EXPECT_EQ(events[0].shift, kShiftBit);
    pad.held[kPadLeft] = true;
    pad_frame(0);
    events = posted();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].x, 99.5f);
    EXPECT_EQ(events[0].y, 200.25f);
}

TEST(Pads, LaunchButtonsAreTheKeysOfTheirLaunchPoints)
{
    const struct {
        PadButton button;
        int16_t key; // 0: launches nothing
    } cases[] = {{kPadWest, kKeyA},        {kPadLeftShoulder, kKeyA}, {kPadSouth, kKeyS}, {kPadEast, kKeyD},
                 {kPadRightShoulder, kKeyD}, {kPadNorth, 0},        {kPadLeftTrigger, 0}, {kPadRightTrigger, 0},
                 {kPadGuide, 0},           {kPadStart, 0},          {kPadBack, 0},      {kPadLeftStickPress, 0}};
    for (const auto& c : cases) {
        PadState& pad = plugged_pad();
        pad.held[c.button] = true;
        pad_frame(100);
        const std::vector<WindowEvent> events = posted(); // a key down only: no key but Esc types itself
        if (c.key == 0)
            EXPECT_TRUE(events.empty()) << int(c.button);
        else
            EXPECT_EQ(events.size() == 1 ? keys_down(events) : std::vector<int16_t>{}, std::vector<int16_t>{c.key})
                << int(c.button);
    }
}

TEST(Pads, AHeldButtonRepeatsAsAHeldKeyAndAShortTapCountsOnce)
{
    PadState& pad = plugged_pad();
    pad_button(pad, kPadEast, true);
    std::vector<double> times;
    // Frames at the game's 64 a second, for 1.5 s from the press at 1000 ms.
    for (int frame = 0; frame * 15.625 < 1500; ++frame) {
        const uint64_t now = 1000 + uint64_t(frame * 15.625);
        pad_frame(now);
        for (int16_t key : keys_down(posted())) {
            EXPECT_EQ(key, kKeyD);
            times.push_back(double(now - 1000));
        }
    }
    ASSERT_GE(times.size(), 3u);
    EXPECT_EQ(times[0], 0);
    EXPECT_GE(times[1], double(kRepeatDelayMs));
    EXPECT_LT(times[1], double(kRepeatDelayMs) + 16);
    // One at once, then at 500 ms and every 40 ms after it until the last frame, at 1484 ms.
    EXPECT_EQ(times.size(), 1u + 25u);
    // A stalled frame brings one repeat, not a burst.
    pad_frame(5000);
    EXPECT_EQ(keys_down(posted()).size(), 1u);
    pad_button(pad, kPadEast, false);
    pad_frame(6000);
    EXPECT_TRUE(posted().empty());
    // Down and up again within a frame: one launch, no repeat.
    pad_button(pad, kPadWest, true);
    pad_button(pad, kPadWest, false);
    pad_frame(6016);
    pad_frame(7000);
    EXPECT_EQ(keys_down(posted()), std::vector<int16_t>{kKeyA});
}

TEST(Pads, BackAndStartTogetherEndTheGameStartAlonePauses)
{
    PadState& pad = plugged_pad();
    pad.held[kPadStart] = true;
    pad_frame(0);
    pad_frame(1000);
    EXPECT_TRUE(posted().empty());
    EXPECT_TRUE(pause_asked());
    pause_resume();
    pad.held[kPadStart] = false;
    pad.held[kPadBack] = true;
    pad_frame(1016);
    EXPECT_TRUE(posted().empty());
    // Start goes down while Back is held: Esc, as the keyboard's (down and typed), once.
    pad.held[kPadStart] = true;
    pad_frame(1032);
    pad_frame(2000);
    const std::vector<WindowEvent> events = posted();
    EXPECT_FALSE(pause_asked());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, EventKind::KeyDown);
    EXPECT_EQ(events[0].code, kKeyEsc);
    EXPECT_EQ(events[1].kind, EventKind::KeyPress);
    EXPECT_EQ(events[1].code, kKeyEsc);
    // The other order, and as the game hears it: the game ends.
    new_game();
    PadState& second = pad_slot(1);
    second.connected = true;
    pad_button(second, kPadStart, true);
    pad_frame(0);
    pad_button(second, kPadBack, true);
    pad_frame(16);
    EXPECT_FALSE(frame());
    // Back on one pad and Start on another end nothing.
    mem_reset();
    pad_slot(0).connected = pad_slot(1).connected = true;
    pad_slot(0).held[kPadBack] = true;
    pad_slot(1).held[kPadStart] = true;
    pad_frame(0);
    EXPECT_TRUE(posted().empty());
}

TEST(Pads, WhilePausedStartOrSouthPlaysOnAndBackWithStartEndsPostingNothing)
{
    struct Case {
        std::vector<int> held_before, pressed;
        PadWhilePaused expected;
    };
    const Case cases[] = {
        {{}, {kPadStart}, PadWhilePaused::PlayOn},
        {{}, {kPadSouth}, PadWhilePaused::PlayOn},
        {{kPadStart}, {kPadBack}, PadWhilePaused::End},     // Start paused, Back joins it
        {{kPadBack}, {kPadStart}, PadWhilePaused::End},
        {{}, {kPadWest}, PadWhilePaused::Nothing},
        {{}, {kPadBack}, PadWhilePaused::Nothing},
        {{kPadSouth}, {}, PadWhilePaused::Nothing},         // held through the pause, not pressed
    };
    for (const Case& c : cases) {
        PadState& pad = plugged_pad();
        for (int b : c.held_before)
            pad.held[b] = true;
        pad_frame(0);
        forget_events();
        for (int b : c.pressed)
            pad_button(pad, b, true);
        EXPECT_EQ(pad_paused_frame(), c.expected) << c.pressed.size();
        EXPECT_EQ(pending_events(), 0);
    }
}

TEST(Pads, AButtonThatPlaysOnNeitherLaunchesNorRepeatsUntilPressedAgain)
{
    PadState& pad = plugged_pad();
    pad_button(pad, kPadSouth, true);
    ASSERT_EQ(pad_paused_frame(), PadWhilePaused::PlayOn);
    for (uint64_t ms = 0; ms <= 3000; ms += 16)
        pad_frame(ms);
    EXPECT_TRUE(posted().empty());
    pad_button(pad, kPadSouth, false);
    pad_frame(3016);
    pad_button(pad, kPadSouth, true);
    pad_frame(3032);
    EXPECT_EQ(keys_down(posted()), std::vector<int16_t>{kKeyS});
}

TEST(Pause, TheWindowsKeysArePPauseAndMWithoutCtrlAltOrMeta)
{
    EXPECT_EQ(window_key('P', false), WindowKey::Pause);
    EXPECT_EQ(window_key(19, false), WindowKey::Pause);
    EXPECT_EQ(window_key('M', false), WindowKey::Sound);
    EXPECT_EQ(window_key('P', true), WindowKey::Game);
    EXPECT_EQ(window_key('M', true), WindowKey::Game);
    for (int16_t code : {kKeyA, kKeyS, kKeyD, kKeyEsc, int16_t('N'), int16_t(122)})
        EXPECT_EQ(window_key(code, false), WindowKey::Game) << code;
    // A game ending from a pause is not paused again before its last frame.
    mem_reset();
    pause_ask();
    pause_end_game();
    pause_ask();
    EXPECT_FALSE(pause_asked());
    EXPECT_TRUE(pause_ending());
    mem_reset();
    EXPECT_FALSE(pause_ending());
}

TEST(Pads, APulledOutPadLeavesNothingBehind)
{
    PadState& pad = plugged_pad();
    pad.held[kPadSouth] = true;
    pad.stick_x = 1;
    pad_frame(0);
    forget_events();
    pad_unplug(pad);
    for (uint64_t now = 16; now < 2000; now += 16)
        EXPECT_FALSE(pad_frame(now));
    EXPECT_TRUE(posted().empty());
    // Plugged in again with the button still held: a new press.
    pad.connected = true;
    pad.held[kPadSouth] = true;
    pad_frame(2016);
    EXPECT_EQ(keys_down(posted()), std::vector<int16_t>{kKeyS});
}

} // namespace

// One pixel a frame for fine aim, then faster: the stick's top speed within
// half a second (32 frames), the 800-pixel field crossed in under 1.5 s (96).
TEST(Pads, AHeldDpadStartsFineAndReachesTheSticksTopSpeed)
{
    PadState& pad = plugged_pad(0, 300);
    pad.held[kPadRight] = true;
    std::vector<double> steps;
    int crossed = 0;
    for (int frame = 1; frame <= 96 && crossed == 0; ++frame) {
        const float before = pad_aim_x();
        pad_frame(uint64_t(frame) * 16);
        steps.push_back(double(pad_aim_x()) - before);
        if (pad_aim_x() >= kClientWidth - 1)
            crossed = frame;
    }
    forget_events();
    for (int n = 0; n < kDpadFineFrames; ++n)
        EXPECT_EQ(steps[size_t(n)], 1.0) << "frame " << n;
    for (size_t n = 1; n < 32; ++n)
        EXPECT_GE(steps[n], steps[n - 1]) << "frame " << n;
    EXPECT_NEAR(steps[31], kStickTopSpeed, 1e-4);
    EXPECT_GT(crossed, 0);
    EXPECT_LE(crossed, 96);
    // Let go, the next press is fine again.
    pad.held[kPadRight] = false;
    pad_frame(2000);
    pad.held[kPadLeft] = true;
    const float before = pad_aim_x();
    pad_frame(2016);
    EXPECT_EQ(double(before) - pad_aim_x(), 1.0);
    forget_events();
}
