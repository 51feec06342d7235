"""test_pause.py -- the pause and the sound switch of the real game under Xvfb.

Usage: /usr/bin/python3 test_pause.py CASE PELMARIC_BINARY
The environment names two more programs, as for test_scaling.py:
PELMARIC_SEEDED_GAME (the real window playing one seed's game with no input,
pausing when asked) and PELMARIC_SIM (the runner). A game paused and played on
must end on the runner's very picture for its seed and frame count: a pause
is time that does not exist for the game. Each case starts its own Xvfb.
"""

import os
import struct
import sys
import time

sys.dont_write_bytecode = True

from lib.xsession import (HEIGHT, WIDTH, check, game_session, move_pointer, press_key,  # noqa: E402
                      screenshot, wait_for_exit, wait_for_shot, wait_until, xdotool)
from lib.harness import main, work_folder  # noqa: E402
from lib.runner import run_sim  # noqa: E402

SEED = 20261208
FRAMES = 1600          # 25 s of play, longer than the cases' steps take before the game plays on
LOOK_TIMEOUT = 40.0
# A paused game sleeps: under 2 % of a core over 5 s.
MOST_PAUSED_CPU = 0.02


def sign_shown(shot):
    """The pause screen's sign: two white bars either side of the picture's centre line, above its middle."""
    white = (255, 255, 255)
    return shot.pixel(380, 130) == white and shot.pixel(420, 130) == white and shot.pixel(400, 130) != white


def cpu_share(pid, seconds=5.0):
    """The share of one core process `pid` used over `seconds`, from /proc/PID/stat."""
    def used():
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    before, began = used(), time.monotonic()
    time.sleep(seconds)
    return (used() - before) / (time.monotonic() - began)


def check_paused(s, what):
    """The pause screen shows and nothing moves under it for a second; returns the picture."""
    shot, ok = wait_for_shot(s, sign_shown, LOOK_TIMEOUT)
    check(ok, f"{what}: no pause screen")
    time.sleep(1.0)
    later = screenshot(s)
    check(later.rgb == shot.rgb, f"{what}: the paused picture changed within a second")
    return shot


def check_sleeps(s, what):
    # First the pause takes hold (the sound fades, the pause screen is drawn), then the sleep is measured.
    check(wait_until(lambda: cpu_share(s.game.pid, 0.5) < MOST_PAUSED_CPU, LOOK_TIMEOUT),
          f"{what}: the game never settled into its pause")
    share = cpu_share(s.game.pid)
    print(f"{what}: {share * 100:.2f} % of a core over 5 s")
    check(share < MOST_PAUSED_CPU, f"{what}: the paused game used {share * 100:.1f} % of a core")


def check_plays_on(s, paused, what):
    _, ok = wait_for_shot(s, lambda shot: shot.rgb != paused.rgb and not sign_shown(shot), LOOK_TIMEOUT)
    check(ok, f"{what}: the game did not play on")


def seeded_session():
    seeded = os.environ.get("PELMARIC_SEEDED_GAME", "")
    check(os.access(seeded, os.X_OK), f"PELMARIC_SEEDED_GAME does not name the seeded game: {seeded!r}")
    # The pointer off the window: no move reaches the game.
    return game_session(seeded, args=(str(SEED), str(FRAMES)), pointer_at=(1020, 760))


def still_playing(s):
    with open(os.path.join(s.workdir, "game.stdout"), "rb") as f:
        check(b"frozen" not in f.read(), "the seeded game finished its frames before the case's pauses: too slow a machine")


def check_runner_picture(s):
    """Once the seeded game has run all its frames, the window shows the runner's picture for them."""
    def frozen():
        check(s.game.poll() is None, f"the seeded game ended: {s.stderr_text()}")
        with open(os.path.join(s.workdir, "game.stdout"), "rb") as f:
            return b"frozen" in f.read()
    check(wait_until(frozen, 120.0, 0.1), "the seeded game did not finish its frames")
    expected = run_sim(SEED, FRAMES)[0].rgb
    shot = screenshot(s)
    check((shot.width, shot.height) == (WIDTH, HEIGHT), f"the window is {shot.width} x {shot.height}")
    wrong = sum(1 for i in range(0, len(expected), 3) if shot.rgb[i:i + 3] != expected[i:i + 3])
    check(wrong == 0, f"after the pauses the picture differs from the runner's in {wrong} pixels")
    print(f"after {FRAMES} frames and the pauses, the picture is the runner's")


def case_key_and_click(binary):
    """P pauses: the picture stays, dimmed under the pause screen, and the game sleeps; P plays on.
    Paused again, a click plays on and is not passed on. The game then ends its frames on the
    runner's picture: no frame was lost, added or changed."""
    with seeded_session() as s:
        time.sleep(1.0)
        press_key(s, "p")
        paused = check_paused(s, "P")
        still_playing(s)
        check_sleeps(s, "paused by P")
        press_key(s, "p")
        check_plays_on(s, paused, "P in the pause")
        press_key(s, "Pause")
        paused = check_paused(s, "Pause")
        # Onto the crosshair's own pixel, so that even a move would leave the game as it was.
        move_pointer(s, 0, 0)
        xdotool(s, "click", "1")
        check_plays_on(s, paused, "a click in the pause")
        still_playing(s)
        check_runner_picture(s)


def focus_elsewhere(s):
    """Another window takes the keyboard, as a window manager gives it to the window clicked."""
    from Xlib import X, display
    d = display.Display(s.display)
    other = d.screen().root.create_window(0, 0, 100, 100, 0, d.screen().root_depth, X.InputOutput,
                                          X.CopyFromParent)
    other.map()
    d.sync()
    wait_until(lambda: other.get_attributes().map_state == X.IsViewable, 10.0)
    other.set_input_focus(X.RevertToParent, X.CurrentTime)
    d.sync()
    return d, other


def case_focus_and_minimise(binary):
    """Losing the focus pauses, and so does a minimise (the window unmapped); having them back
    does not play on, and the minimised game sleeps. P plays on; the game ends its frames on the
    runner's picture."""
    with seeded_session() as s:
        xdotool(s, "windowfocus", "--sync", s.window)
        time.sleep(1.0)
        d, other = focus_elsewhere(s)
        try:
            paused = check_paused(s, "focus lost")
            xdotool(s, "windowfocus", "--sync", s.window)
            time.sleep(1.0)
            check(screenshot(s).rgb == paused.rgb, "the focus back played on by itself")
        finally:
            other.destroy()
            d.close()
        press_key(s, "p")
        check_plays_on(s, paused, "P after the focus came back")
        xdotool(s, "windowunmap", "--sync", s.window)
        check_sleeps(s, "minimised")
        xdotool(s, "windowmap", "--sync", s.window)
        paused = check_paused(s, "minimised and shown again")
        press_key(s, "p")
        check_plays_on(s, paused, "P after the minimise")
        still_playing(s)
        check_runner_picture(s)


def case_mute_and_escape(binary):
    """M silences the output (SDL's disk driver writes what the device would play) and brings
    the music back; Esc in a pause ends the game at once, with status 0."""
    with work_folder("pelmaric-audio-") as folder:
        out = os.path.join(folder, "output.raw")
        with game_session(binary, env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": out}) as s:
            recent = 44100 * 2 * 4 // 4    # the last quarter of a second: 32-bit float stereo

            def loudest():
                if not os.path.exists(out) or os.path.getsize(out) < recent:
                    return None
                with open(out, "rb") as f:
                    f.seek(-recent, os.SEEK_END)
                    data = f.read(recent)
                return max(abs(v) for v in struct.unpack(f"<{len(data) // 4}f", data[:len(data) // 4 * 4]))

            check(wait_until(lambda: (loudest() or 0) > 0.001, LOOK_TIMEOUT), "no music in the output")
            press_key(s, "m")
            check(wait_until(lambda: loudest() == 0.0, LOOK_TIMEOUT), f"M left the output sounding: {loudest()}")
            press_key(s, "m")
            check(wait_until(lambda: (loudest() or 0) > 0.001, LOOK_TIMEOUT), "a second M did not bring the sound back")
            press_key(s, "p")
            check_paused(s, "P")
            press_key(s, "Escape")
            status = wait_for_exit(s, 15.0)
            check(status == 0, f"Esc in the pause: status {status}, stderr {s.stderr_text()!r}")


CASES = {"key_and_click": case_key_and_click, "focus_and_minimise": case_focus_and_minimise,
         "mute_and_escape": case_mute_and_escape}


if __name__ == "__main__":
    sys.exit(main(CASES, "PELMARIC_BINARY"))
