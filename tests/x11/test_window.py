"""test_window.py -- the real game binary in a real X server: window, picture, pointer, ending.

Usage: /usr/bin/python3 test_window.py CASE PELMARIC_BINARY
Each case starts its own Xvfb and game; exit status 0 when the case holds.
"""

import collections
import os
import subprocess
import sys

# Keep the source folder free of compiled caches.
sys.dont_write_bytecode = True

from lib.xsession import (CAPTION, GROUND, HEIGHT, WIDTH, Session, check, covering_window, find_window,  # noqa: E402
                          cursor_is_invisible, game_environment, game_session, move_pointer,
                          move_pointer_to_screen, press_key, read_geometry, send_close_request, size_hints,
                          start_game, stop_process, wait_for_exit, wait_for_shot, wait_until, window_property, xdotool,
                          xserver_running)
from lib.runner import match_sky, sky_colour  # noqa: E402
from x11.test_scaling import crosshair_on, layout_for, purest  # noqa: E402
from lib.harness import main  # noqa: E402

# How long the game may take to be gone after Esc, a close request or the
# loss of its window or display: it goes at its next frame, but a loaded
# machine may leave it unscheduled for seconds.
QUIT_TIMEOUT = 15.0
DESTROYED_TIMEOUT = 15.0

SKY_ROWS = range(0, 471)          # roofs never reach above row 480
GROUND_ROWS = range(560, 600)     # below every building's base
BUILDING_ROWS = range(480, 556)


def case_window(binary):
    """The window is found by its caption, opens with an 800 x 600 client area on a screen too
    small for 2x, can be resized down to 800 x 600 and no further, and does not ask a
    compositor to step aside."""
    with game_session(binary) as s:
        names = xdotool(s, "getwindowname", s.window).strip()
        check(names == CAPTION, f"caption {names!r}, expected {CAPTION!r}")
        check((s.width, s.height) == (WIDTH, HEIGHT), f"client area {s.width}x{s.height}, expected 800x600")
        hints = size_hints(s)
        check(hints == (WIDTH, HEIGHT, 16384, 16384),
              f"size hints (min w, min h, max w, max h) {hints}: the window should be resizable from 800x600 "
              f"up to the 16384 the present draws")
        # A compositor may keep composing the window: no request to bypass it.
        bypass = window_property(s, "_NET_WM_BYPASS_COMPOSITOR")
        check(bypass in (None, [0]), f"_NET_WM_BYPASS_COMPOSITOR is {bypass}")


def case_crosshair(binary):
    """The crosshair follows the pointer: its pixel at the aim point is red 255, blue 0."""
    with game_session(binary) as s:
        for x, y in ((400, 200), (250, 120), (620, 330)):
            move_pointer(s, x, y)
            shot, ok = wait_for_shot(s, lambda shot: shot.pixel(x, y)[0] == 255 and shot.pixel(x, y)[2] == 0)
            check(ok, f"pixel at the aim point ({x}, {y}) is {shot.pixel(x, y)}, expected red 255 and blue 0")


def case_sky(binary):
    """Every row from 0 to 470 has as its main colour one of the five skies' colour for that row."""
    with game_session(binary) as s:
        # Keep the crosshair out of the rows looked at.
        move_pointer(s, 400, 590)
        result = {}

        def sky_matches(shot):
            result["palette"], result["wrong"] = match_sky(shot, SKY_ROWS)
            return result["palette"] is not None

        _, ok = wait_for_shot(s, sky_matches)
        check(ok, "the sky matches none of the palettes; closest mismatches (row, seen, expected): "
              + str(result["wrong"][:10]) + f" and {max(0, len(result['wrong']) - 10)} more")
        print(f"sky palette {result['palette']}")


def ground_and_buildings(shot):
    """(holds, what was seen): the sky is one of the palettes, rows 560 to 599 are ground
    colour and rows 480 to 555 hold buildings in both halves of the city. Shared with the
    browser tests."""
    palette, _ = match_sky(shot, SKY_ROWS)
    if palette is None:
        return False, "the sky is not drawn yet or is wrong"
    # Explosions may later reach the ground; they cannot cover a fifth of a row.
    off_ground = []
    for y in GROUND_ROWS:
        row = shot.row(y)
        if row.count(GROUND) < 0.8 * WIDTH:
            off_ground.append((y, collections.Counter(row).most_common(3)))
    if off_ground:
        return False, f"rows not mainly ground {GROUND} (row, main colours): {off_ground[:3]}"
    building = [(x, y) for y in BUILDING_ROWS for x in range(WIDTH)
                if shot.pixel(x, y) not in (GROUND, sky_colour(palette, y))]
    columns = {x for x, _ in building}
    # 25 buildings of at least 15 x 10 pixels at random places: some
    # stand in each half of the city but for odds of about 1 in 10^7.
    holds = (len(building) >= 1000 and min(columns, default=WIDTH) < WIDTH // 2
             and max(columns, default=0) >= WIDTH // 2)
    return holds, f"{len(building)} building pixels in {len(columns)} columns"


def check_ground_and_buildings(wait_for, what):
    """Waits with wait_for(predicate) -> (picture, holds) for a picture of ground_and_buildings;
    fails with `what` and what was seen; returns what was seen. Shared with the browser tests."""
    found = {}

    def complete(shot):
        holds, found["why"] = ground_and_buildings(shot)
        return holds

    _, ok = wait_for(complete)
    check(ok, what + ": " + found.get("why", ""))
    return found["why"]


def case_ground(binary):
    """Rows 560 to 599 are ground colour; rows 480 to 555 hold buildings across the width."""
    with game_session(binary) as s:
        move_pointer(s, 400, 100)
        print(check_ground_and_buildings(lambda holds: wait_for_shot(s, holds), "ground and buildings not as expected"))


def case_escape(binary):
    """Esc ends the game with status 0 at once."""
    with game_session(binary) as s:
        move_pointer(s, 400, 300)
        press_key(s, "Escape")
        status = wait_for_exit(s, QUIT_TIMEOUT)
        check(status is not None, f"the game still runs {QUIT_TIMEOUT} s after Esc")
        check(status == 0, f"exit status {status} after Esc: {s.stderr_text()}")


def case_close_request(binary):
    """The close button's WM_DELETE_WINDOW message ends the game as Esc does."""
    with game_session(binary) as s:
        send_close_request(s)
        status = wait_for_exit(s, QUIT_TIMEOUT)
        check(status is not None, f"the game still runs {QUIT_TIMEOUT} s after the close request")
        check(status == 0, f"exit status {status} after the close request: {s.stderr_text()}")


def case_window_destroyed(binary):
    """A window destroyed from outside (xdotool windowclose) ends the game cleanly, status 0."""
    with game_session(binary) as s:
        move_pointer(s, 400, 300)
        # Let the game draw into the window for a while first, so that
        # presents are under way when the window goes.
        wait_for_shot(s, lambda shot: match_sky(shot, SKY_ROWS)[0] is not None)
        xdotool(s, "windowclose", s.window)
        status = wait_for_exit(s, DESTROYED_TIMEOUT)
        check(status is not None, f"the game still runs {DESTROYED_TIMEOUT} s after its window was destroyed")
        err = s.stderr_text()
        check(status == 0, f"exit status {status} after the window was destroyed: {err}")
        check("X Error" not in err and "BadWindow" not in err and "BadDrawable" not in err,
              "X errors reported: " + err)


def case_display_lost(binary):
    """When the X server goes away under the game, or kills the game's connection (xdotool
    windowkill), the game says why in one line and ends with status 1, not as a player's quit."""
    def check_lost(s, how):
        status = wait_for_exit(s, DESTROYED_TIMEOUT)
        check(status is not None, f"the game still runs {DESTROYED_TIMEOUT} s after {how}")
        err = s.stderr_text()
        check(status == 1, f"exit status {status} after {how}, expected 1: {err}")
        check(err.strip().splitlines()[-1:] == ["pelmaric: the connection to the display was lost"],
              f"stderr after {how}: {err!r}")

    with game_session(binary) as s:
        wait_for_shot(s, lambda shot: match_sky(shot, SKY_ROWS)[0] is not None)
        stop_process(s.xserver.process)
        check_lost(s, "the X server ended")
    with game_session(binary) as s:
        wait_for_shot(s, lambda shot: match_sky(shot, SKY_ROWS)[0] is not None)
        xdotool(s, "windowkill", s.window)
        check_lost(s, "its connection was killed")


def run_without_display(binary, env):
    result = subprocess.run([binary], env=env, capture_output=True, text=True, timeout=60,
                            cwd=os.path.dirname(os.path.abspath(binary)), stdin=subprocess.DEVNULL)
    lines = result.stderr.splitlines()
    check(result.returncode == 1, f"exit status {result.returncode}, expected 1; stderr: {result.stderr!r}")
    check(len(lines) == 1 and lines[0].startswith("pelmaric: cannot open a window: ")
          and len(lines[0]) > len("pelmaric: cannot open a window: "),
          f"stderr should be one line 'pelmaric: cannot open a window: <reason>', was {result.stderr!r}")
    print(lines[0])


def case_no_display(binary):
    """With no display, or one that does not answer, the game says so in one line and exits with 1."""
    env = game_environment(None)
    run_without_display(binary, env)
    # A display number with no server behind it.
    free = next(n for n in range(4242, 5242) if not os.path.exists(f"/tmp/.X11-unix/X{n}")
                and not os.path.exists(f"/tmp/.X{n}-lock"))
    env = game_environment(f":{free}")
    run_without_display(binary, env)


def case_pointer(binary):
    """The pointer is hidden over the window while the game runs, and shown elsewhere."""
    with game_session(binary) as s:
        # Outside the window the server's own cursor shows: proves the check sees a cursor at all.
        check(s.x >= 50 and s.y >= 50, "the window leaves no screen room to test the pointer outside it")
        move_pointer_to_screen(s, s.x - 50, s.y - 50)
        check(wait_until(lambda: not cursor_is_invisible(s), 10.0), "no visible pointer even outside the window")
        move_pointer(s, 400, 300)
        check(wait_until(lambda: cursor_is_invisible(s), 10.0), "the pointer is visible over the game window")


def case_expose(binary):
    """A part of the window uncovered again shows the game's picture, not what lay over it."""
    magenta = (255, 0, 255)
    with game_session(binary) as s:
        move_pointer(s, 400, 590)
        wait_for_shot(s, lambda shot: match_sky(shot, SKY_ROWS)[0] is not None)
        with covering_window(s, 100, 50, 400, 300, magenta):
            shot, ok = wait_for_shot(s, lambda shot: shot.pixel(300, 200) == magenta)
            check(ok, f"the covering window does not show: {shot.pixel(300, 200)}")
        result = {}

        def repainted(shot):
            leftovers = sum(1 for y in range(50, 350) for x in range(100, 500) if shot.pixel(x, y) == magenta)
            result["palette"], result["wrong"] = match_sky(shot, SKY_ROWS)
            result["leftovers"] = leftovers
            return leftovers == 0 and result["palette"] is not None

        _, ok = wait_for_shot(s, repainted)
        check(ok, f"{result['leftovers']} pixels still show the covering window; "
              f"sky mismatches: {result['wrong'][:5]}")


def wm_state(s):
    """The names in the window's _NET_WM_STATE, as its window manager has set them."""
    from Xlib import display
    d = display.Display(s.display)
    try:
        prop = d.create_resource_object("window", int(s.window)).get_full_property(
            d.intern_atom("_NET_WM_STATE"), d.intern_atom("ATOM"))
        return {d.get_atom_name(a) for a in (prop.value if prop else [])}
    finally:
        d.close()


def ask_wm(s, on, *names):
    """Asks the window manager to set (or clear) states of the window, as its own menu, keys or a
    pager do: a _NET_WM_STATE message from a pager (source 2) to the root window."""
    from Xlib import X, display, protocol
    d = display.Display(s.display)
    try:
        atoms = [d.intern_atom(n) for n in names] + [0]
        event = protocol.event.ClientMessage(window=d.create_resource_object("window", int(s.window)),
                                             client_type=d.intern_atom("_NET_WM_STATE"),
                                             data=(32, [1 if on else 0, atoms[0], atoms[1], 2, 0]))
        d.screen().root.send_event(event, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        d.sync()
    finally:
        d.close()


def case_wm_state(binary):
    """Under openbox, F11 and the window manager's own maximise and fullscreen stay in step in
    any order: the state is the manager's, and leaving fullscreen gives back the place and size
    (maximised, if it was)."""
    import time
    full, vert, horz = "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"
    screen = (1600, 1000)
    with xserver_running(f"{screen[0]}x{screen[1]}") as (xserver, workdir):
        wm = subprocess.Popen(["openbox"], env=game_environment(xserver.display), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        game = None
        try:
            def wm_runs():
                from Xlib import Xatom, display
                d = display.Display(xserver.display)
                try:
                    return d.screen().root.get_full_property(d.intern_atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW)
                finally:
                    d.close()
            check(wait_until(wm_runs, QUIT_TIMEOUT), "openbox did not start")
            game = start_game(binary, xserver, workdir)
            s = Session(xserver, game, workdir)
            find_window(s)

            def settle(want, what):
                """Waits until the state holds `want` (names that must be in it, or with '-' not)
                and the geometry stops changing; returns the geometry."""
                last = [None, time.monotonic()]

                def steady():
                    state, g = wm_state(s), read_geometry(s)
                    if not all((n[1:] not in state) if n.startswith("-") else (n in state) for n in want):
                        return None
                    if g != last[0]:
                        last[:] = [g, time.monotonic()]
                    return g if time.monotonic() - last[1] > 0.5 else None
                g = wait_until(steady, QUIT_TIMEOUT, 0.1)
                check(g is not None, f"{what}: the state is {sorted(wm_state(s))}, the window {read_geometry(s)}")
                return g
            windowed = settle(["-" + full, "-" + vert], "opened")
            # Maximise, F11, F11: back to maximised, where it was.
            ask_wm(s, True, vert, horz)
            maximised = settle([vert, horz, "-" + full], "maximised")
            press_key(s, "F11")
            g = settle([full], "maximised, then F11")
            check(g[2:] == screen, f"fullscreen is {g}")
            press_key(s, "F11")
            check(settle([vert, horz, "-" + full], "maximised, F11, F11") == maximised, "maximised, F11, F11: moved")
            ask_wm(s, False, vert, horz)
            check(settle(["-" + vert, "-" + full], "restored") == windowed, "the window did not come back")
            # The manager's fullscreen, then F11: the first F11 leaves it.
            ask_wm(s, True, full)
            settle([full], "the manager's fullscreen")
            press_key(s, "F11")
            check(settle(["-" + full], "the manager's fullscreen, then F11") == windowed, "F11 did not give the window back")
            # F11, the manager leaves fullscreen, F11: fullscreen again.
            press_key(s, "F11")
            settle([full], "F11")
            ask_wm(s, False, full)
            check(settle(["-" + full], "F11, the manager leaves") == windowed, "the manager's leave lost the window")
            press_key(s, "F11")
            settle([full], "F11, the manager leaves, F11")
            print(f"openbox: windowed {windowed}, maximised {maximised}; every sequence in step")
        finally:
            if game is not None:
                stop_process(game)
            stop_process(wm)


def esc_answer(binary, cycles):
    """Seconds from Esc to the game's end in fullscreen on a bare X server, after `cycles` hide
    and show cycles of its window."""
    import time
    from Xlib import X, XK, display
    from Xlib.ext import xtest
    with game_session(binary) as s:
        press_key(s, "F11")
        screen = xdotool(s, "getdisplaygeometry").split()
        check(wait_until(lambda: xdotool(s, "getwindowgeometry", s.window).split()[-1] == "x".join(screen), QUIT_TIMEOUT),
              f"F11 did not cover the {'x'.join(screen)} screen")
        d = display.Display(s.display)
        try:
            window = d.create_resource_object("window", int(s.window))
            for _ in range(cycles):
                window.unmap()
                window.map()
                d.sync()
            window.set_input_focus(X.RevertToParent, X.CurrentTime)
            d.sync()
            # A hidden window pauses the game, and only the player plays on.
            if cycles:
                press_key(s, "p")
            # The game has read every event of the cycles once it has the pointer move after them.
            read_geometry(s)
            lx, ly, lw, lh = layout_for(s.width, s.height)
            move_pointer_to_screen(s, s.x + lx + purest(400, lw, WIDTH), s.y + ly + purest(300, lh, HEIGHT))
            check(crosshair_on(s, (400, 300)), "the game did not follow the pointer after the cycles")
            check(s.game.poll() is None, f"the game ended during the cycles: {s.stderr_text()}")
            escape = d.keysym_to_keycode(XK.string_to_keysym("Escape"))
            pressed = time.monotonic()
            xtest.fake_input(d, X.KeyPress, escape)
            xtest.fake_input(d, X.KeyRelease, escape)
            d.sync()
            status = wait_for_exit(s, QUIT_TIMEOUT)
            answered = time.monotonic() - pressed
        finally:
            d.close()
        check(status == 0, f"exit status {status} after Esc: {s.stderr_text()}")
        return answered


def case_hide_show(binary):
    """Fullscreen with no window manager is the game's own sizing, not SDL's: after 1,000 hide
    and show cycles the game answers Esc within a second of the time a fresh game takes to end.
    SDL's own fullscreen, waiting on a window manager that is not there, took 40 s after 200
    cycles; the second leaves room for a sanitizer build's exit on a busy machine."""
    fresh = esc_answer(binary, 0)
    cycled = esc_answer(binary, 1000)
    check(cycled - fresh < 1.0, f"Esc after 1,000 hide and show cycles ended the game in {cycled * 1000:.0f} ms, "
                                f"a fresh game's in {fresh * 1000:.0f} ms")
    print(f"Esc ended a fresh fullscreen game in {fresh * 1000:.0f} ms, one after 1,000 hide and show cycles "
          f"in {cycled * 1000:.0f} ms")


CASES = {
    "wm_state": case_wm_state,
    "hide_show": case_hide_show,
    "window": case_window,
    "crosshair": case_crosshair,
    "sky": case_sky,
    "ground": case_ground,
    "escape": case_escape,
    "close_request": case_close_request,
    "window_destroyed": case_window_destroyed,
    "display_lost": case_display_lost,
    "no_display": case_no_display,
    "pointer": case_pointer,
    "expose": case_expose,
}


if __name__ == "__main__":
    sys.exit(main(CASES, "PELMARIC_BINARY"))
