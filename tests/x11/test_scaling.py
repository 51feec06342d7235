"""test_scaling.py -- the game on today's screens: the window's opening size, fullscreen, resizes, the mouse.

Usage: /usr/bin/python3 test_scaling.py CASE PELMARIC_BINARY
The environment names two more programs: PELMARIC_SEEDED_GAME (the real window
playing one seed's game, then holding still) and PELMARIC_SIM (the runner,
whose --screenshot is the picture that window must show, enlarged).
Each case starts its own Xvfb; exit status 0 when the case holds.
"""

import math
import operator
import os
import sys

sys.dont_write_bytecode = True

from lib.xsession import (HEIGHT, WIDTH, Shot, check, game_session, grab_screen,  # noqa: E402
                      move_pointer_to_screen, press_key, read_geometry, size_hints, wait_until, xdotool)
from x11.test_play import LAUNCH_A, along, trail_and_sparks, watch_burst  # noqa: E402
from lib.harness import main  # noqa: E402
from lib.runner import run_sim  # noqa: E402

SEED = 424242
FRAMES = 300          # about 5 s of play: missiles and their trails in the sky
SETTLE_TIMEOUT = 30.0
# The share of the room a whole factor must use, else the picture is fitted.
WHOLE_SHARE = 0.85

SCREENS = {"screen_1080": (1920, 1080, 1), "screen_1440": (2560, 1440, 2), "screen_2160": (3840, 2160, 3)}


def layout_for(dw, dh):
    """(x, y, w, h): where the picture must land in a drawable of dw x dh pixels."""
    fit = min(dw / WIDTH, dh / HEIGHT)
    whole = int(fit)
    if whole >= 1 and whole >= WHOLE_SHARE * fit:
        w, h = WIDTH * whole, HEIGHT * whole
    elif dw * HEIGHT <= dh * WIDTH:
        w, h = dw, min(dh, round(dw * HEIGHT / WIDTH))
    else:
        w, h = min(dw, round(dh * WIDTH / HEIGHT)), dh
    return (dw - w) // 2, (dh - h) // 2, w, h


def source_index(d, shown, game):
    """The game pixel shown at drawable pixel d of `shown`: the one its centre falls in."""
    return min((2 * d + 1) * game // (2 * shown), game - 1)


def blend_table(shown, game):
    """For each drawable pixel of a fitted picture: the game pixel it starts from and how much,
    in 256ths, of the next it takes in: the picture enlarged by the smallest whole factor at or
    above the fit, then brought down to the fit with linear filtering."""
    factor = max(1, math.ceil(shown / game - 1e-9))
    enlarged = game * factor
    table = []
    for d in range(shown):
        c = min(max((d + 0.5) * enlarged / shown - 0.5, 0.0), enlarged - 1)
        i = int(c)
        s, following = i // factor, min(i + 1, enlarged - 1) // factor
        table.append((s, round((c - i) * 256) if following != s else 0))
    return table


def mix(a, b, w):
    """Two rows of RGB bytes mixed, taking w 256ths of b, each channel rounded."""
    return bytes((p * (256 - w) + q * w + 128) >> 8 for p, q in zip(a, b)) if w else a


# ---- The runner's picture, and the window it must give ------------------------------

def sim_picture():
    """The runner's final picture of the seeded game, as 600 rows of 800 RGB pixels (bytes)."""
    shot, _ = run_sim(SEED, FRAMES)
    check((shot.width, shot.height) == (WIDTH, HEIGHT), f"the runner's picture is {shot.width} x {shot.height}")
    return [shot.rgb[y * WIDTH * 3:(y + 1) * WIDTH * 3] for y in range(HEIGHT)]


def expected_window(picture, dw, dh):
    """The drawable's rows: the picture enlarged into its layout, black around; by nearest
    neighbour at a whole factor, else sharp (blend_table)."""
    x0, y0, w, h = layout_for(dw, dh)
    fitted = w % WIDTH != 0
    across = blend_table(w, WIDTH) if fitted else [(source_index(d, w, WIDTH), 0) for d in range(w)]
    down = blend_table(h, HEIGHT) if fitted else [(source_index(d, h, HEIGHT), 0) for d in range(h)]
    wide = {}

    def widened(sy):
        if sy not in wide:
            row = picture[sy]
            wide[sy] = b"".join(mix(row[3 * s:3 * s + 3], row[3 * s + 3:3 * s + 6], t) for s, t in across)
        return wide[sy]
    rows = []
    black_left, black_right = bytes(3 * x0), bytes(3 * (dw - x0 - w))
    for y in range(dh):
        if y < y0 or y >= y0 + h:
            rows.append(bytes(3 * dw))
            continue
        sy, t = down[y - y0]
        rows.append(black_left + mix(widened(sy), widened(sy + 1) if t else b"", t) + black_right)
    return rows


def window_matches(s, picture, found):
    """True when the window shows exactly the enlarged picture with black bars; `found` gets why not."""
    read_geometry(s)
    shot = grab_screen(s, s.x, s.y, s.width, s.height)
    expected = expected_window(picture, s.width, s.height)
    stride = s.width * 3
    wrong = 0
    first = None
    for y in range(s.height):
        row = shot.rgb[y * stride:(y + 1) * stride]
        if row != expected[y]:
            for x in range(s.width):
                if row[3 * x:3 * x + 3] != expected[y][3 * x:3 * x + 3]:
                    wrong += 1
                    if first is None:
                        first = (x, y, tuple(row[3 * x:3 * x + 3]), tuple(expected[y][3 * x:3 * x + 3]))
    found["why"] = (f"{s.width}x{s.height} at {s.x},{s.y}, layout {layout_for(s.width, s.height)}: "
                    f"{wrong} pixels differ; first (x, y, seen, expected): {first}")
    return wrong == 0


def check_shows_picture(s, picture, what):
    found = {}
    ok = wait_until(lambda: window_matches(s, picture, found), SETTLE_TIMEOUT, 0.3)
    check(ok, f"{what}: the window is not the runner's picture enlarged: {found.get('why')}")
    print(f"{what}: {s.width}x{s.height}, picture at {layout_for(s.width, s.height)}, exact")


def wait_for_geometry(s, predicate, what):
    ok = wait_until(lambda: predicate(read_geometry(s)), SETTLE_TIMEOUT, 0.1)
    check(ok, f"{what}: the window is {s.width}x{s.height} at {s.x},{s.y}")


def seeded_session(screen):
    seeded = os.environ.get("PELMARIC_SEEDED_GAME", "")
    check(os.access(seeded, os.X_OK), f"PELMARIC_SEEDED_GAME does not name the seeded game: {seeded!r}")
    # The pointer in a corner the window does not cover, so no move reaches the game.
    return game_session(seeded, screen=screen, args=(str(SEED), str(FRAMES)), pointer_at=(0, 0))


def wait_frozen(s):
    def frozen():
        check(s.game.poll() is None, f"the seeded game ended: {s.stderr_text()}")
        with open(os.path.join(s.workdir, "game.stdout"), "rb") as f:
            return b"frozen" in f.read()
    check(wait_until(frozen, 120.0, 0.1), "the seeded game did not finish its frames")


# ---- Cases -----------------------------------------------------------------------------

def case_screen(name):
    """The window opens at the whole factor the screen allows and shows the runner's picture of
    the same game enlarged, pixel for pixel. F11 and Alt+Enter (and Alt with the keypad's
    Enter) go to fullscreen, with the picture centred and black bars, and back."""
    sw, sh, factor = SCREENS[name]

    def run(binary):
        picture = sim_picture()
        with seeded_session(f"{sw}x{sh}") as s:
            wait_frozen(s)
            check((s.width, s.height) == (WIDTH * factor, HEIGHT * factor),
                  f"the window opened at {s.width}x{s.height} on a {sw}x{sh} screen, expected {factor}x")
            hints = size_hints(s)
            check(hints == (WIDTH, HEIGHT, 16384, 16384), f"size hints (min w, min h, max w, max h) {hints}")
            windowed = (s.x, s.y, s.width, s.height)
            check_shows_picture(s, picture, f"opened at {factor}x")
            for going, coming in (("F11", "F11"), ("alt+Return", "alt+KP_Enter")):
                press_key(s, going)
                wait_for_geometry(s, lambda g: g == (0, 0, sw, sh), f"after {going}")
                check_shows_picture(s, picture, f"fullscreen by {going}")
                press_key(s, coming)
                wait_for_geometry(s, lambda g: g == windowed, f"after {coming} again")
                check_shows_picture(s, picture, f"back by {coming}")
    return run


def case_resize(binary):
    """A window resized to odd sizes shows the picture as large as it fits, its shape kept
    (fitted where a whole factor would waste the room), centred with black bars."""
    picture = sim_picture()
    with seeded_session("1920x1080") as s:
        wait_frozen(s)
        xdotool(s, "windowmove", s.window, "0", "0")
        wait_for_geometry(s, lambda g: g[:2] == (0, 0), "moved to the corner")
        for w, h in ((1000, 1000), (801, 601), (1700, 1000), (1000, 700)):
            xdotool(s, "windowsize", s.window, str(w), str(h))
            wait_for_geometry(s, lambda g: g[2:] == (w, h), f"resized to {w}x{h}")
            lx, ly, lw, lh = layout_for(w, h)
            check(abs(lw * HEIGHT - lh * WIDTH) <= WIDTH, f"{w}x{h}: the picture {lw}x{lh} is stretched")
            check_shows_picture(s, picture, f"resized to {w}x{h}")


def purest(g, shown, game, cache={}):
    """The drawable pixel that shows most of game pixel g: the middle of its block at a whole
    factor; fitted, the one whose blend takes in least of a neighbour."""
    if (shown, game) not in cache:
        if shown % game == 0:
            best = [(2 * h + 1) * shown // (2 * game) for h in range(game)]
        else:
            share, best = [0] * game, [0] * game
            for d, (s, t) in enumerate(blend_table(shown, game)):
                for h, part in ((s, 256 - t), (s + 1, t)):
                    if h < game and part > share[h]:
                        share[h], best[h] = part, d
        cache[shown, game] = best
    return cache[shown, game][g]


def reads_every_pixel(shown_w, shown_h):
    """True when every game pixel has a screen pixel showing it alone, so picture_part reads
    the picture exactly."""
    def pure(shown, game):
        table = blend_table(shown, game) if shown % game else None
        return table is None or all(table[purest(g, shown, game)][1] in (0, 256) for g in range(game))
    return pure(shown_w, WIDTH) and pure(shown_h, HEIGHT)


def crosshair_colour(r, g, b):
    """The crosshair's red to yellow, mixed with at most a little of its neighbours where fitted."""
    return r >= 200 and b <= 40


def picture_part(s, columns, top=0):
    """The left `columns` game columns of the picture, from game row `top` down, read back from
    the screen as game pixels; the rows above `top` are left black. Quick enough to catch a burst."""
    lx, ly, lw, lh = layout_for(s.width, s.height)
    right = min(lw, -(-columns * lw // WIDTH) + 1)
    first = max(0, top * lh // HEIGHT - 1)
    shot = grab_screen(s, s.x + lx, s.y + ly + first, right, lh - first)
    xs = [min(right - 1, purest(g, lw, WIDTH)) for g in range(columns)]
    whole = lw // WIDTH if lw % WIDTH == 0 else 0
    pick = operator.itemgetter(*[3 * x + c for x in xs for c in range(3)])
    rgb = bytearray(3 * columns * HEIGHT)
    for g in range(top, HEIGHT):
        base = (purest(g, lh, HEIGHT) - first) * right * 3
        out = 3 * columns * g
        if whole:
            # Every whole-th pixel from the middle of the first block: strided copies.
            start = base + 3 * xs[0]
            for channel in range(3):
                rgb[out + channel:out + 3 * columns:3] = \
                    shot.rgb[start + channel:start + 3 * whole * columns:3 * whole]
        else:
            rgb[out:out + 3 * columns] = bytes(pick(shot.rgb[base:base + 3 * right]))
    return Shot(columns, HEIGHT, bytes(rgb))


def round_half_even(v):
    return int(round(v))


def last_shown(g, shown, game):
    """The last drawable pixel of the run that shows game pixel g."""
    return max(d for d in range(shown) if source_index(d, shown, game) == g)


def crosshair_on(s, at):
    """True once the screen pixel showing most of game pixel `at` has shown the crosshair in two
    shades: it changes every frame, a scene pixel does not."""
    lx, ly, lw, lh = layout_for(s.width, s.height)
    x = lx + purest(at[0], lw, WIDTH)
    y = ly + purest(at[1], lh, HEIGHT)
    shades = set()

    def seen():
        r, g, b = grab_screen(s, s.x + x, s.y + y, 1, 1).pixel(0, 0)
        if crosshair_colour(r, g, b):
            shades.add(g)
        return len(shades) >= 2
    return wait_until(seen, SETTLE_TIMEOUT, 0.02)


def check_block_edges(s, aim):
    """The pointer on the last screen pixel of the aim's block, then on the picture's last
    column and row, puts the crosshair on that block's game pixel, and on (799, 599)."""
    lx, ly, lw, lh = layout_for(s.width, s.height)
    for point, at in (((last_shown(aim[0], lw, WIDTH), last_shown(aim[1], lh, HEIGHT)), aim),
                      ((lw - 1, lh - 1), (WIDTH - 1, HEIGHT - 1))):
        move_pointer_to_screen(s, s.x + lx + point[0], s.y + ly + point[1])
        check(crosshair_on(s, at), f"{s.width}x{s.height}: the pointer at picture pixel {point} put no "
                                   f"crosshair on game pixel {at}")
        print(f"{s.width}x{s.height}: the pointer at picture pixel {point} aims at game pixel {at}")


def case_aim(binary):
    """At 3x, 2x, 1x and fitted, the pointer put on a screen point puts the crosshair on the game
    pixel under it, and A bursts an interceptor there; over a black bar the crosshair stays. The
    last screen pixel of a block, and the picture's last column and row, aim inside that block."""
    with game_session(binary, screen="3840x2160") as s:
        check((s.width, s.height) == (3 * WIDTH, 3 * HEIGHT), f"the window opened at {s.width}x{s.height}")
        xdotool(s, "windowmove", s.window, "0", "0")
        wait_for_geometry(s, lambda g: g[:2] == (0, 0), "moved to the corner")
        for (w, h), aim in (((2400, 1800), (150, 320)), ((1600, 1200), (230, 350)), ((800, 600), (120, 300)),
                            ((1000, 1000), (250, 380)), ((1440, 1200), (290, 410)), ((1920, 1080), (317, 233))):
            if (s.width, s.height) != (w, h):
                xdotool(s, "windowsize", s.window, str(w), str(h))
                wait_for_geometry(s, lambda g: g[2:] == (w, h), f"resized to {w}x{h}")
            lx, ly, lw, lh = layout_for(w, h)
            px = lx + round(aim[0] * lw / WIDTH)
            py = ly + round(aim[1] * lh / HEIGHT)
            landed = (round_half_even((px - lx) * WIDTH / lw), round_half_even((py - ly) * HEIGHT / lh))
            check(landed == aim, f"the test's own point {px},{py} maps to {landed}, not {aim}")
            move_pointer_to_screen(s, s.x + px, s.y + py)
            columns = 400

            def crosshair_there():
                shot = picture_part(s, columns)
                r, g, b = shot.pixel(*aim)
                return crosshair_colour(r, g, b)

            check(wait_until(crosshair_there, SETTLE_TIMEOUT, 0.1),
                  f"{w}x{h}: no crosshair at game pixel {aim} with the pointer at window point {px},{py}")
            # A large grab takes a good part of the burst's life: the trail
            # along the path and the sparks around the aim point may show in
            # different shots.
            def trail_and_burst(shot):
                positions, length = along(LAUNCH_A, aim, shot)
                return sum(1 for t in positions if 0 <= t <= length), trail_and_sparks(shot, LAUNCH_A, aim)[1]

            def burst_at_aim():
                return watch_burst(lambda: press_key(s, "a"), lambda: picture_part(s, aim[0] + 90, aim[1] - 90),
                                   trail_and_burst, apart=True)

            if not reads_every_pixel(lw, lh):
                # Below about 1.5x a game pixel may have no screen pixel of its own
                # (1.25x: a quarter of them do), and a burst's sparks are too few
                # to be read back: the aim is checked by the crosshair alone.
                check_block_edges(s, aim)
                continue
            _, _, taken, launches = burst_at_aim()
            print(f"{w}x{h}: crosshair and burst at {aim} ({taken:.2f} s after launch key {launches})")
            if lx > 0 or ly > 0:
                # Over a bar: no move reaches the game, the crosshair stays. A launch after
                # the move still bursts at the aim point: the game has had the move by then.
                move_pointer_to_screen(s, s.x + (lx // 2 if lx else lx + 50), s.y + (ly // 2 if ly else ly + 50))
                burst_at_aim()
                check(wait_until(crosshair_there, SETTLE_TIMEOUT, 0.1),
                      f"{w}x{h}: the pointer over the black bar moved the crosshair")
                print(f"{w}x{h}: the pointer over the bar left the crosshair at {aim}")
            check_block_edges(s, aim)


CASES = {name: case_screen(name) for name in SCREENS}
CASES.update({"resize": case_resize, "aim": case_aim})


if __name__ == "__main__":
    sys.exit(main(CASES, "PELMARIC_BINARY"))
