"""test_play.py -- the real game under Xvfb, played: interceptors, bursts and falling missiles.

Usage: /usr/bin/python3 test_play.py CASE PELMARIC_BINARY
Each case starts its own Xvfb and game; exit status 0 when the case holds.
"""

import math
import sys
import time

sys.dont_write_bytecode = True

from lib.xsession import (check, game_session, grab_screen, move_pointer, move_pointer_to_screen,  # noqa: E402
                      press_key, wait_for_shot, xdotool)
from lib.harness import main  # noqa: E402

# The game's launch points on an 800 x 600 client: x = 10, 400, 790, on the
# ground line, which lies between rows 545 and 555.
LAUNCH_A = (10, 550)
LAUNCH_D = (790, 551)
# Pixels of the path a held key's stream of trails covers, at least: more than two
# interceptors' trails of 75 pixels.
STREAM_SPREAD = 150
# How long a case may wait for what it looks for: only a game that never shows it
# comes near, however busy the machine.
LOOK_TIMEOUT = 40.0
# How long the looks after one launch key last at first (the flight to the aim point
# takes under a second at the game's pace); each further launch looks longer.
FLIGHT_LOOKS = 2.5


def interceptor_coloured(shot, x, y):
    """A dot of an interceptor's trail or burst: yellow faded toward black (red equals
    green, no blue), and not the sky of its row (one sky has such yellows low down)."""
    r, g, b = shot.pixel(x, y)
    return r >= 24 and r == g and b == 0 and (r, g, b) != shot.dominant(y)


def along(start, end, shot, reach=4):
    """Interceptor-coloured pixels within `reach` of the segment start-end, as distances
    from start measured along the segment (negative: behind start; beyond its length: past end)."""
    (x0, y0), (x1, y1) = start, end
    length = math.hypot(x1 - x0, y1 - y0)
    ux, uy = (x1 - x0) / length, (y1 - y0) / length
    found = []
    for y in range(max(0, min(y0, y1) - 40), min(shot.height, max(y0, y1) + 41)):
        for x in range(max(0, min(x0, x1) - 40), min(shot.width, max(x0, x1) + 41)):
            dx, dy = x - x0, y - y0
            t = dx * ux + dy * uy
            if abs(dx * uy - dy * ux) <= reach and interceptor_coloured(shot, x, y):
                found.append(t)
    return found, length


def trail_and_sparks(shot, launch, aim):
    """(trail, sparks): interceptor-coloured pixels on the last 100 pixels of the path from
    `launch` to `aim`, and those within 80 pixels of the aim point but off the path, in the
    sky (the sparks of a burst). Shared with the browser tests."""
    positions, length = along(launch, aim, shot)
    # The last stretch of the path, high above the buildings' yellow windows.
    trail = [t for t in positions if length - 100 <= t <= length]
    # Sparks fly off in every direction from the burst; count those off the path.
    on_path = {(round(launch[0] + t * (aim[0] - launch[0]) / length),
                round(launch[1] + t * (aim[1] - launch[1]) / length)) for t in range(int(length) + 1)}
    sparks = [(x, y) for x, y, _ in shot.pixels_near(aim[0], aim[1], 80,
                                                     lambda c: c[0] >= 24 and c[0] == c[1] and c[2] == 0)
              if y < 470 and all(abs(x - px) + abs(y - py) > 8 for px, py in on_path)]
    return len(trail), len(sparks)


def stream_spread(shot, launch, aim):
    """How many pixels of the lower path from `launch` to `aim` interceptor trails span, and
    how many trail pixels lie there. Shared with the browser tests."""
    positions, length = along(launch, aim, shot)
    # Only the lower part of the path: high up, missiles are drawn in yellow too.
    positions = sorted(t for t in positions if 0 <= t <= length - 120)
    return (positions[-1] - positions[0] if positions else 0), len(positions)


def watch_burst(press, look, measure, apart=False, timeout=LOOK_TIMEOUT):
    """Presses a launch key (press()) and takes looks (look() -> a Shot) until one shows the
    trail and the burst: measure(shot) -> (trail pixels, sparks), both at least 5 in one look,
    or with `apart` in any looks after one key. The burst lasts a few frames and reading a look
    takes longer on a busy machine, so the looks after a key are all taken first and read
    afterwards; a launch whose burst went unseen is followed by another until the deadline.
    Returns (trail, sparks, seconds from the key, launches) of the look that showed it."""
    deadline = time.monotonic() + timeout
    launches, most, span = 0, (0, 0), FLIGHT_LOOKS
    while time.monotonic() < deadline:
        press()
        launches += 1
        pressed = time.monotonic()
        looks = []
        while time.monotonic() - pressed < span:
            looks.append((time.monotonic() - pressed, look()))
            time.sleep(span / 100)
        trail, sparks = 0, 0
        for taken, shot in looks:
            t, k = measure(shot)
            trail, sparks = (max(trail, t), max(sparks, k)) if apart else (t, k)
            most = max(most, (min(trail, sparks), trail, sparks))
            if trail >= 5 and sparks >= 5:
                return trail, sparks, taken, launches
        span *= 1.5
    check(False, f"no trail and burst at the aim point after {launches} launch keys in {timeout:.0f} s; the most "
                 f"(both, trail pixels, sparks) seen {'after one key' if apart else 'in one look'}: {most}")


def case_burst(binary):
    """Aim at a point in the sky, press A: a yellow trail comes up from the left launch point and
    bursts at the aim point, throwing sparks beyond it."""
    aim = (150, 320)   # 269 pixels from the launch point: 54 frames, 0.84 s at 64 frames a second
    with game_session(binary) as s:
        move_pointer(s, *aim)
        # The columns left of the aim point's sparks, read straight from the X server.
        trail, sparks, taken, launches = watch_burst(
            lambda: press_key(s, "a"), lambda: grab_screen(s, s.x, s.y, aim[0] + 90, s.height),
            lambda shot: trail_and_sparks(shot, LAUNCH_A, aim))
        print(f"trail and burst seen {taken:.2f} s after launch key {launches} "
              f"({trail} trail pixels, {sparks} sparks around the aim point)")


def check_stream(look, launch, aim, what):
    """Takes looks (look() -> a Shot) while a launch key is held until the trails from `launch`
    toward `aim` spread over more than STREAM_SPREAD pixels of the path. One interceptor's trail
    lives at most 15 frames: 75 pixels; a stream covers the path from the launch point up to
    the first interceptor. Shared with the browser tests."""
    seen = {}

    def streaming(shot):
        seen["spread"], seen["count"] = stream_spread(shot, launch, aim)
        return seen["spread"] > STREAM_SPREAD

    _, ok = look(streaming)
    check(seen.get("count"), f"{what}: no interceptor trail along the path from {launch}")
    check(ok, f"{what}: trail pixels cover only {seen['spread']:.0f} pixels of the path: no stream")
    print(f"{what}: trails along {seen['spread']:.0f} pixels of the path, {seen['count']} pixels")
    return seen["spread"]


def case_stream(binary):
    """Hold D: the key repeats and a stream of interceptors climbs from the right launch point,
    their trails spread along much more of the path than one interceptor's."""
    aim = (400, 150)
    with game_session(binary) as s:
        move_pointer(s, *aim)
        xdotool(s, "windowfocus", "--sync", s.window)
        xdotool(s, "keydown", "d")
        try:
            check_stream(lambda streaming: wait_for_shot(s, streaming, LOOK_TIMEOUT), LAUNCH_D, aim, "D held")
        finally:
            xdotool(s, "keyup", "d")


def case_missiles(binary):
    """With no input, soon after the start: missiles and their trails show in the sky."""
    with game_session(binary) as s:
        move_pointer_to_screen(s, 0, 0)   # outside the window
        result = {}

        def missiles_showing(shot):
            bright, trail = 0, 0
            for y in range(5, 471):
                sky = shot.dominant(y)
                for x in range(shot.width):
                    r, g, b = shot.pixel(x, y)
                    if (r, g, b) == sky or b != 0 or r <= g:
                        continue
                    # A missile is drawn almost at full strength; its trail dots fade.
                    if r >= 240:
                        bright += 1
                    elif r >= 20:
                        trail += 1
            result.update(bright=bright, trail=trail)
            return bright >= 1 and trail >= 3

        _, ok = wait_for_shot(s, missiles_showing, LOOK_TIMEOUT)
        check(ok, f"no missiles with trails in the sky: {result}")
        print(f"missile pixels {result['bright']}, trail pixels {result['trail']}")


CASES = {"burst": case_burst, "stream": case_stream, "missiles": case_missiles}


if __name__ == "__main__":
    sys.exit(main(CASES, "PELMARIC_BINARY"))
