"""xsession.py -- the game in a private X server, driven and photographed like a player would.

Shared by the window tests: starts Xvfb on a display number of its own choosing,
runs the real game binary in it, finds the window by its caption, moves the
pointer and presses keys with xdotool, and takes screenshots of the window
(ImageMagick's import, then /usr/bin/convert for the pixel values). Every wait
polls against a generous deadline, so a slow machine only makes a run longer.

Typical use:

    with game_session(binary) as s:
        move_pointer(s, 400, 200)
        press_key(s, "a")
        shot, ok = wait_for_shot(s, lambda shot: shot.pixels_near(400, 200, 30, is_yellow))
        check(ok, "no burst near the aim point")

Needs the Debian packages xvfb, xdotool, imagemagick and python3-xlib; run it
with /usr/bin/python3 (the one that has Xlib).
"""

import collections
import contextlib
import dataclasses
import importlib.util
import os
import select
import subprocess
import sys
import time

from .harness import TestFailure, check, stop_process, wait_for_look, wait_until, work_folder  # noqa: E402,F401

WIDTH = 800
HEIGHT = 600
GROUND = (0, 37, 0)
CAPTION = "Pelmaric"

# Generous deadlines: the game busy-waits on its clock and keeps one core
# busy, and CI machines are small and shared.
START_TIMEOUT = 60.0
PICTURE_TIMEOUT = 40.0

# The tools, by full path: an earlier entry on PATH may be a stand-in.
XVFB = "/usr/bin/Xvfb"
XDOTOOL = "/usr/bin/xdotool"
IMPORT = "/usr/bin/import"
CONVERT = "/usr/bin/convert"
REQUIRED_TOOLS = {XVFB: "xvfb", XDOTOOL: "xdotool", IMPORT: "imagemagick", CONVERT: "imagemagick"}


def require_tools():
    for tool, package in REQUIRED_TOOLS.items():
        check(os.access(tool, os.X_OK), f"{tool} is missing: install the Debian package {package}")
    check(importlib.util.find_spec("Xlib") is not None,
          "python Xlib is missing: install the Debian package python3-xlib and run the tests with /usr/bin/python3")


# ---- The X server ---------------------------------------------------------------

@dataclasses.dataclass
class XServer:
    process: subprocess.Popen
    display: str          # ":N"
    log_path: str


def start_xserver(workdir, depth=24, screen="1024x768"):
    """Starts Xvfb with a `screen` (WxH) of `depth` bits on a free display; Xvfb picks the number itself (-displayfd)."""
    read_end, write_end = os.pipe()
    log_path = os.path.join(workdir, "xvfb.log")
    with open(log_path, "wb") as log:
        process = subprocess.Popen(
            [XVFB, "-displayfd", str(write_end), "-screen", "0", f"{screen}x{depth}",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + START_TIMEOUT
    try:
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            ready, _, _ = select.select([read_end], [], [], max(0.0, remaining))
            if not ready:
                break
            chunk = os.read(read_end, 64)
            if not chunk:
                break
            number += chunk
    finally:
        os.close(read_end)
    if not number.strip().isdigit():
        stop_process(process)
        with open(log_path, "rb") as log:
            raise TestFailure("Xvfb did not start: " + log.read().decode(errors="replace")[-2000:])
    return XServer(process, ":" + number.strip().decode(), log_path)


# ---- The game ---------------------------------------------------------------------

@dataclasses.dataclass
class Session:
    xserver: XServer
    game: subprocess.Popen
    workdir: str
    window: str = ""       # X window id, decimal, as xdotool prints it
    x: int = 0             # client area's top-left corner on the screen
    y: int = 0
    width: int = 0
    height: int = 0

    @property
    def display(self):
        return self.xserver.display

    def stderr_text(self):
        with open(os.path.join(self.workdir, "game.stderr"), "rb") as f:
            return f.read().decode(errors="replace")


def game_environment(display):
    """The environment the game runs in: our display, silent audio, no session bus."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XAUTHORITY")}
    if display is not None:
        env["DISPLAY"] = display
    env["SDL_AUDIODRIVER"] = "dummy"
    env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
    return env


def start_game(binary, xserver, workdir, args=(), cwd=None, env=None):
    """Runs the game in `cwd`, by default its own folder (where its sounds and music are), with
    `env` added to its environment. The games it keeps go to the work folder unless `env` says
    where (XDG_STATE_HOME), never to the tester's own."""
    with open(os.path.join(workdir, "game.stdout"), "wb") as out, \
            open(os.path.join(workdir, "game.stderr"), "wb") as err:
        binary = os.path.abspath(binary)
        kept = {"XDG_STATE_HOME": os.path.join(workdir, "state")}
        return subprocess.Popen([binary, *args], cwd=cwd or os.path.dirname(binary),
                                env=dict(game_environment(xserver.display), **dict(kept, **(env or {}))), stdout=out,
                                stderr=err, stdin=subprocess.DEVNULL)


def xdotool(session, *args, check_rc=True):
    result = subprocess.run([XDOTOOL, *args], env=game_environment(session.display),
                            capture_output=True, text=True, timeout=60)
    if check_rc and result.returncode != 0:
        raise TestFailure(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
    return result.stdout


def find_window(session, timeout=START_TIMEOUT):
    """Waits for the window captioned exactly "Pelmaric" and records its client geometry."""
    def look():
        check(session.game.poll() is None,
              f"the game ended (status {session.game.returncode}) before its window appeared: "
              + session.stderr_text())
        out = xdotool(session, "search", "--name", f"^{CAPTION}$", check_rc=False).split()
        return out[0] if out else None

    window = wait_until(look, timeout, 0.1)
    check(window is not None, f"no window captioned {CAPTION!r} within {timeout} s")
    session.window = window
    read_geometry(session)
    return window


def read_geometry(session):
    """Reads the window's client position and size again (after a resize or fullscreen)."""
    geometry = {}
    for line in xdotool(session, "getwindowgeometry", "--shell", session.window).splitlines():
        key, _, value = line.partition("=")
        geometry[key] = value
    session.x, session.y = int(geometry["X"]), int(geometry["Y"])
    session.width, session.height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
    return (session.x, session.y, session.width, session.height)


@contextlib.contextmanager
def xserver_running(screen="1024x768", depth=24):
    """A fresh Xvfb of `screen` pixels and `depth` bits for the block, and a work folder beside it."""
    with work_folder("pelmaric-x11-") as workdir:
        xserver = start_xserver(workdir, depth, screen)
        try:
            yield xserver, workdir
        finally:
            stop_process(xserver.process)


@contextlib.contextmanager
def game_session(binary, depth=24, screen="1024x768", args=(), pointer_at=None, cwd=None, env=None):
    """A fresh X server (of `depth` bits, `screen` pixels) with the game running in it and its
    window found; `args` go to the program, `cwd` and `env` as start_game takes them, and the
    pointer is first put at `pointer_at`."""
    require_tools()
    with xserver_running(screen, depth) as (xserver, workdir):
        if pointer_at is not None:
            subprocess.run([XDOTOOL, "mousemove", str(pointer_at[0]), str(pointer_at[1])],
                           env=game_environment(xserver.display), capture_output=True, check=True, timeout=60)
        game = start_game(binary, xserver, workdir, args, cwd, env)
        try:
            session = Session(xserver, game, workdir)
            find_window(session)
            yield session
        finally:
            stop_process(game)


def wait_for_exit(session, timeout):
    """Waits for the game to end; returns its exit status, or None if it still runs."""
    try:
        return session.game.wait(timeout)
    except subprocess.TimeoutExpired:
        return None


# ---- Input ------------------------------------------------------------------------

def move_pointer(session, x, y):
    """Puts the pointer on game pixel (x, y) of the window."""
    move_pointer_to_screen(session, session.x + x, session.y + y)


def move_pointer_to_screen(session, x, y):
    """Puts the pointer at a screen position (e.g. outside the window) and waits until it is there."""
    # Not --sync: that waits for a motion, and none comes when the pointer is already there.
    xdotool(session, "mousemove", str(x), str(y))

    def arrived():
        where = dict(item.split(":", 1) for item in xdotool(session, "getmouselocation").split() if ":" in item)
        return int(where.get("x", -1)) == x and int(where.get("y", -1)) == y

    check(wait_until(arrived, START_TIMEOUT), f"the pointer did not reach ({x}, {y})")


def press_key(session, key):
    """Gives the window the keyboard and presses one key (an X keysym name: a, Escape, shift+s)."""
    xdotool(session, "windowfocus", "--sync", session.window)
    xdotool(session, "key", "--clearmodifiers", key)


def send_close_request(session):
    """Sends the WM_DELETE_WINDOW message a window manager sends when the close button is clicked."""
    from Xlib import X, display, protocol
    d = display.Display(session.display)
    try:
        window = d.create_resource_object("window", int(session.window))
        protocols = d.intern_atom("WM_PROTOCOLS")
        delete = d.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        d.sync()
    finally:
        d.close()


@contextlib.contextmanager
def covering_window(session, x, y, width, height, colour):
    """Lays a plain window of `colour` over game pixels (x, y, width, height) until the block ends.

    Under bare Xvfb nothing keeps what it hid: once it goes, only the game
    can paint the uncovered part again (on the expose event it gets)."""
    from Xlib import X, display
    d = display.Display(session.display)
    try:
        screen = d.screen()
        r, g, b = colour
        cover = screen.root.create_window(session.x + x, session.y + y, width, height, 0, screen.root_depth,
                                          X.InputOutput, X.CopyFromParent,
                                          background_pixel=(r << 16) | (g << 8) | b, override_redirect=True)
        cover.map()
        d.sync()
        yield
        cover.destroy()
        d.sync()
    finally:
        d.close()


def window_property(session, name):
    """The values of one property of the game window, or None when it is not set."""
    from Xlib import X, display
    d = display.Display(session.display)
    try:
        window = d.create_resource_object("window", int(session.window))
        prop = window.get_full_property(d.intern_atom(name), X.AnyPropertyType)
        return None if prop is None else list(prop.value)
    finally:
        d.close()


def size_hints(session):
    """The window's WM_NORMAL_HINTS as (min_width, min_height, max_width, max_height); a
    maximum the hints do not set is None."""
    from Xlib import Xutil, display
    d = display.Display(session.display)
    try:
        hints = d.create_resource_object("window", int(session.window)).get_wm_normal_hints()
        check(hints is not None, "the window has no WM_NORMAL_HINTS")
        has_max = hints.flags & Xutil.PMaxSize
        return (hints.min_width, hints.min_height, hints.max_width if has_max else None,
                hints.max_height if has_max else None)
    finally:
        d.close()


def cursor_is_invisible(session):
    """True when the X server's current pointer image has no visible pixel."""
    from Xlib import display
    d = display.Display(session.display)
    try:
        d.xfixes_query_version()
        image = d.xfixes_get_cursor_image(d.screen().root)
        return all((argb >> 24) == 0 for argb in image.cursor_image)
    finally:
        d.close()


# ---- Screenshots --------------------------------------------------------------------

@dataclasses.dataclass
class Shot:
    """The window's client area as the X server shows it, in game pixels."""
    width: int
    height: int
    rgb: bytes

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return (self.rgb[i], self.rgb[i + 1], self.rgb[i + 2])

    def row(self, y):
        return [self.pixel(x, y) for x in range(self.width)]

    def dominant(self, y):
        """The most common colour of row y (moving dots cannot outvote the background)."""
        return collections.Counter(self.row(y)).most_common(1)[0][0]

    def pixels_near(self, x, y, radius, predicate):
        """The (x, y, colour) of pixels within `radius` of (x, y) for which predicate(colour) holds."""
        found = []
        for py in range(max(0, y - radius), min(self.height, y + radius + 1)):
            for px in range(max(0, x - radius), min(self.width, x + radius + 1)):
                if (px - x) ** 2 + (py - y) ** 2 <= radius * radius and predicate(self.pixel(px, py)):
                    found.append((px, py, self.pixel(px, py)))
        return found


def screenshot(session, keep_as=None):
    """Photographs the screen (import -window root) and cuts out the window's client area."""
    path = keep_as or os.path.join(session.workdir, "screen.miff")
    env = game_environment(session.display)
    subprocess.run([IMPORT, "-window", "root", path], env=env, check=True,
                   capture_output=True, timeout=60)
    crop = f"{session.width}x{session.height}+{session.x}+{session.y}"
    raw = subprocess.run([CONVERT, path, "-crop", crop, "+repage", "-depth", "8", "rgb:-"],
                         env=env, check=True, capture_output=True, timeout=60).stdout
    check(len(raw) == session.width * session.height * 3,
          f"screenshot of {len(raw)} bytes, expected {session.width}x{session.height} RGB")
    return Shot(session.width, session.height, raw)


def grab_screen(session, x, y, width, height):
    """A rectangle of the screen read straight from the X server (GetImage), in a few
    milliseconds: for moments too short for ImageMagick's import, such as a burst."""
    from Xlib import X, display
    d = display.Display(session.display)
    try:
        image = d.screen().root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
    finally:
        d.close()
    data = image.data if isinstance(image.data, bytes) else bytes(image.data)
    # A 24-bit Xvfb screen hands out 32-bit pixels, blue first.
    check(len(data) == width * height * 4,
          f"GetImage gave {len(data)} bytes, expected {width}x{height} 32-bit pixels")
    rgb = bytearray(width * height * 3)
    rgb[0::3] = data[2::4]
    rgb[1::3] = data[1::4]
    rgb[2::3] = data[0::4]
    return Shot(width, height, bytes(rgb))


def wait_for_shot(session, predicate, timeout=PICTURE_TIMEOUT, look=None):
    """Takes screenshots (or look(session)'s pictures) until predicate(shot) holds; returns that
    shot, or the last one and False. The game ending meanwhile fails at once."""
    def attempt():
        check(session.game.poll() is None,
              f"the game ended (status {session.game.returncode}): " + session.stderr_text())
        return (look or screenshot)(session)

    return wait_for_look(attempt, predicate, timeout)


def main():
    """xsession.py [--screen WxHxD] COMMAND [ARGS...]: runs one command in a private Xvfb
    (1024x768x24 unless --screen says otherwise) with DISPLAY set to it, silent SDL audio and
    no session bus; the command's exit status is ours."""
    argv = sys.argv[1:]
    screen = "1024x768x24"
    if argv[:1] == ["--screen"] and len(argv) > 1:
        screen, argv = argv[1], argv[2:]
    if not argv:
        print(main.__doc__.split(":", 1)[0], file=sys.stderr)
        return 2
    size, _, depth = screen.rpartition("x")
    check(os.access(XVFB, os.X_OK), f"{XVFB} is missing: install the Debian package xvfb")
    with xserver_running(size, int(depth)) as (xserver, _):
        return subprocess.run(argv, env=game_environment(xserver.display), stdin=subprocess.DEVNULL).returncode


if __name__ == "__main__":
    sys.exit(main())
