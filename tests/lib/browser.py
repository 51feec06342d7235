"""browser.py -- the web build's page in headless Chromium, driven and photographed like a player would.

Shared by the browser tests and measurements: serves a folder over HTTP on a
free port, opens it in Debian's Chromium through chromedriver, reads the
page's counters (window.pelmaric), the canvas's pixels and the console, and
sends real input (mouse, keys, and the repeated key-downs of a held key) through the DevTools
protocol. Needs chromium, chromium-driver and python3-selenium; run it with
/usr/bin/python3.

    with page_session(site) as p:
        move_mouse(p, 400, 200)
        press_key(p, "s")
        shot = canvas_shot(p)
"""

import base64
import contextlib
import functools
import http.server
import os
import sys
import threading
import zlib

sys.dont_write_bytecode = True

from .xsession import Shot  # noqa: E402
from .harness import TestFailure, check, wait_for_look, wait_until, work_folder  # noqa: E402,F401

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
START_TIMEOUT = 30.0
# How long a look for something the game must show may take: only a page that never
# shows it comes near, however busy the machine.
LOOK_TIMEOUT = 40.0

# Headless, as root, with nothing that phones out: the machines have no
# network but the package mirrors.
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-default-apps", "--disable-extensions", "--no-default-browser-check",
    "--metrics-recording-only", "--disable-breakpad", "--disable-domain-reliability",
    "--window-size=1000,800",
]

# Virtual-key codes of the keys the tests press, for the DevTools protocol.
KEYS = {"a": ("a", "KeyA", 65), "s": ("s", "KeyS", 83), "d": ("d", "KeyD", 68),
        "q": ("q", "KeyQ", 81), "p": ("p", "KeyP", 80), "m": ("m", "KeyM", 77), "Escape": ("Escape", "Escape", 27)}


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    # Counts the bytes of each file that reached the browser, in server.sent.
    def copyfile(self, source, outputfile):
        sent = self.server.sent
        path = self.path.split("?")[0]   # the page asks for its files at NAME?sha256=DIGEST
        try:
            while True:
                chunk = source.read(64 * 1024)
                if not chunk:
                    break
                outputfile.write(chunk)
                sent[path] = sent.get(path, 0) + len(chunk)
        except (BrokenPipeError, ConnectionResetError):
            pass


@contextlib.contextmanager
def serve(folder, handler=QuietHandler):
    """An HTTP server for `folder` on a free local port, its requests answered by `handler`;
    yields its base URL and its byte counts by path."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(handler, directory=folder))
    server.sent = {}
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/", server.sent
    finally:
        server.shutdown()
        server.server_close()


class Page:
    def __init__(self, driver, url):
        self.driver = driver
        self.url = url

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def counter(self, name):
        return self.js(f"return window.pelmaric ? window.pelmaric.{name} : null;")

    def console_errors(self):
        return [e for e in self.driver.get_log("browser") if e.get("level") == "SEVERE"]


def require_tools():
    for tool, package in ((CHROMIUM, "chromium"), (CHROMEDRIVER, "chromium-driver")):
        check(os.access(tool, os.X_OK), f"{tool} is missing: install the Debian package {package}")
    try:
        import selenium  # noqa: F401
    except ImportError:
        raise TestFailure("selenium is missing: install python3-selenium and run the tests with /usr/bin/python3")


# Screens the tests lay the page out on: CSS pixels, device pixels per CSS
# pixel, and whether the screen is a touch screen (a phone or a tablet).
SCREENS = {
    "desktop": (1920, 1080, 1.0, False),
    "desktop-150": (1920, 1080, 1.5, False),
    "laptop": (1280, 720, 1.0, False),
    "phone-portrait": (390, 844, 3.0, True),
    "phone-landscape": (844, 390, 3.0, True),
    "tablet": (1024, 768, 2.0, True),
    "small-window": (340, 300, 1.0, False),
}


def emulate_screen(driver, screen):
    """Lays the page out as on `screen` (a SCREENS name): its size and density, and for
    a touch screen, touch events, a coarse pointer and a mobile browser's viewport."""
    width, height, density, touch = SCREENS[screen]
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": density, "mobile": touch,
        "screenWidth": width, "screenHeight": height})
    if touch:
        driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5})


def start_game(p):
    """The player's first gesture: a key on the start screen (a page without one starts by itself)."""
    if p.js("return !!document.getElementById('start');"):
        check(wait_until(lambda: p.js("return document.body.dataset.state === 'ready';"), START_TIMEOUT),
              f"the start screen was not ready within {START_TIMEOUT} s; console: " + str(p.driver.get_log("browser")))
        key_event(p, "q", "keyDown")
        key_event(p, "q", "keyUp")


@contextlib.contextmanager
def page_session(folder, extra_flags=(), page="index.html", wait_for_frames=True, screen=None, start=True,
                 handler=QuietHandler):
    """Serves `folder` (through `handler`), opens its page in a fresh headless Chromium (laid out as `screen` when
    given), starts the game with a key unless `start` is false, and waits for its first frame."""
    require_tools()
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    driver = None
    with work_folder("pelmaric-chromium-") as profile, serve(folder, handler) as (base, sent):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in CHROMIUM_FLAGS + list(extra_flags) + [f"--user-data-dir={profile}"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        try:
            driver = webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)
            driver.set_script_timeout(60)
            p = Page(driver, base + page)
            p.base = base
            p.sent = sent
            if screen:
                emulate_screen(driver, screen)
            driver.get(p.url)
            if start and wait_for_frames:
                start_game(p)
            check(not wait_for_frames or wait_until(lambda: (p.counter("frames") or 0) > 0, START_TIMEOUT),
                  f"the game ran no frame within {START_TIMEOUT} s of opening the page; console: "
                  + str(driver.get_log("browser")))
            yield p
        finally:
            if driver is not None:
                driver.quit()


def site_folder(arguments):
    """The command line's argument of the page tests: the web build's page folder."""
    if len(arguments) != 1:
        raise SystemExit(f"usage: {sys.argv[0]} CASE SITE_FOLDER")
    check(os.path.isfile(os.path.join(arguments[0], "pelmaric.wasm")),
          f"no web build in {arguments[0]}: run scripts/setup.sh web")
    return arguments[0]


def wait_for_picture(p, predicate, timeout=LOOK_TIMEOUT):
    """Looks at the canvas until predicate(shot) holds; returns that shot, or the last one and False."""
    return wait_for_look(lambda: canvas_shot(p), predicate, timeout)


def canvas_shot(p):
    """The canvas's pixels as a Shot (the same class the X tests photograph into), with the
    game's frame count when they were read as shot.frame. The pixels travel deflated: the
    picture is mostly flat colour, and the driver's channel is the slow part of a look."""
    data = p.driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const c = document.getElementById('screen');
        const rgba = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        const frame = window.pelmaric.frames;
        const rgb = new Uint8Array(c.width * c.height * 3);
        for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
            rgb[j] = rgba[i]; rgb[j + 1] = rgba[i + 1]; rgb[j + 2] = rgba[i + 2];
        }
        const packed = new Blob([rgb]).stream().pipeThrough(new CompressionStream('deflate'));
        new Response(packed).arrayBuffer().then(buffer => {
            const bytes = new Uint8Array(buffer);
            let text = '';
            for (let i = 0; i < bytes.length; i += 0x8000)
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
            done([c.width, c.height, btoa(text), frame]);
        });
    """)
    shot = Shot(data[0], data[1], zlib.decompress(base64.b64decode(data[2])))
    shot.frame = data[3]
    return shot


def move_mouse(p, x, y):
    """Moves the pointer to game pixel (x, y) of the canvas, as a mouse would."""
    box = p.js("const r = document.getElementById('screen').getBoundingClientRect();"
               "return [r.left, r.top, r.width / 800, r.height / 600];")
    p.driver.execute_cdp_cmd("Input.dispatchMouseEvent", {
        "type": "mouseMoved", "x": box[0] + x * box[2], "y": box[1] + y * box[3]})


def key_event(p, name, kind, repeat=False):
    key, code, vk = KEYS[name]
    event = {"type": kind, "key": key, "code": code, "windowsVirtualKeyCode": vk,
             "nativeVirtualKeyCode": vk, "autoRepeat": repeat}
    if kind == "keyDown" and len(key) == 1:
        event["text"] = key
    p.driver.execute_cdp_cmd("Input.dispatchKeyEvent", event)


def press_key(p, name):
    key_event(p, name, "keyDown")
    key_event(p, name, "keyUp")


def frames_and_time(p):
    """The game's frame count and the page's clock in ms, read together."""
    return p.js("return [window.pelmaric.frames, performance.now()];")
