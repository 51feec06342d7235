"""test_page.py -- the web build played in headless Chromium: page, picture, input, pace, audio, ending.

Usage: /usr/bin/python3 test_page.py CASE SITE_FOLDER
SITE_FOLDER is the web build's page folder (build-web/site). Each case opens
its own browser; exit status 0 when the case holds. The picture checks are
the desktop tests' own (tests/x11), applied to the canvas's pixels.
"""

import base64
import math
import os
import re
import subprocess
import sys
import time
import wave
import zlib

sys.dont_write_bytecode = True

from lib.browser import (LOOK_TIMEOUT, Shot, canvas_shot, check, frames_and_time, key_event, move_mouse,  # noqa: E402
                     page_session, press_key, site_folder, wait_for_look, wait_for_picture, wait_until,
                     work_folder)
from x11.test_play import LAUNCH_D, along, check_stream, trail_and_sparks  # noqa: E402
from x11.test_window import check_ground_and_buildings, ground_and_buildings  # noqa: E402
from lib.harness import main  # noqa: E402

# The centre launch point on an 800 x 600 canvas, on the ground line (rows 545 to 555).
LAUNCH_S = (400, 550)
# From this far along the centre launch point's path upward, it runs in open sky.
SKY_PATH_FROM = 100
OGGENC = "/usr/bin/oggenc"


def no_console_errors(p, when):
    errors = p.console_errors()
    check(not errors, f"console errors {when}: {errors}")


def case_page(site):
    """The page loads with no console error, is titled Pelmaric, shows an 800 x 600 canvas
    and, after start-up, the desktop tests' sky, ground and buildings."""
    with page_session(site) as p:
        check(p.driver.title == "Pelmaric", f"title {p.driver.title!r}")
        size = p.js("const c = document.getElementById('screen'); const r = c.getBoundingClientRect();"
                    "return [c.width, c.height, r.width, r.height, window.devicePixelRatio];")
        check(size[:2] == [800, 600], f"canvas {size[0]} x {size[1]}, expected 800 x 600")
        check(size[2:4] == [800, 600] or size[4] != 1, f"canvas shown at {size[2]} x {size[3]} CSS pixels")
        move_mouse(p, 400, 100)
        why = check_ground_and_buildings(lambda holds: wait_for_picture(p, holds),
                                         "sky, ground and buildings not as on the desktop")
        # A second of play (64 frames) after the picture, for errors of the running game.
        frames = p.counter("frames")
        check(wait_until(lambda: p.counter("frames") >= frames + 64, LOOK_TIMEOUT), "the game stopped running")
        no_console_errors(p, "while the game runs")
        print(f"{why}; first picture {p.counter('firstPresentMs'):.0f} ms after opening the page")


def case_burst(site):
    """The crosshair follows the mouse; S launches from the centre: a trail climbs toward the
    aim point, and 58 frames (0.9 s) after the key it bursts there, throwing sparks beyond it."""
    aim = (400, 262)   # 288 pixels above the launch point: 58 frames at 5 pixels a frame
    with page_session(site) as p:
        move_mouse(p, *aim)
        shot, ok = wait_for_picture(p, lambda s: s.pixel(*aim)[0] == 255 and s.pixel(*aim)[2] == 0)
        check(ok, f"the crosshair pixel at {aim} is {shot.pixel(*aim)}, expected red 255 and blue 0")
        # A burst's sparks show for about ten frames, and a look at the canvas on a busy machine
        # takes longer: the page keeps the part of every frame that the flight crosses.
        start_frame = p.counter("frames")
        p.js(RECORD_PRESENTS, 90)
        press_key(p, "s")
        shots = recorded_presents(p)
        looks = []
        for shot in shots:
            # The path's stretch in open sky, clear of the buildings' yellow windows.
            positions, length = along(LAUNCH_S, aim, shot)
            climb = sum(1 for t in positions if SKY_PATH_FROM <= t <= length)
            _, sparks = trail_and_sparks(shot, LAUNCH_S, aim)
            looks.append((shot.frame - start_frame, climb, sparks))
            if sparks >= 5:
                break
        check(looks and looks[-1][2] >= 5, f"no burst seen at the aim point in the {len(shots)} frames after the key; "
                                           f"looks (frames after the key, trail pixels in the sky, sparks): {looks}")
        climbing = [look for look in looks if look[1] >= 5 and look[2] < 5]
        check(climbing, f"no frame showed the trail before the burst: {looks}")
        # The key's frame is known to a frame or two.
        check(looks[-1][0] >= 56, f"the burst showed {looks[-1][0]} frames after the key: too soon for the flight")
        print(f"frames after the key, trail pixels in the sky, sparks: {looks}")


# Keeps, for each of the next arguments[0] frames, the canvas's columns 320 to 479 from row 180
# down as the frame's last present leaves them: the centre launch point's path and the sparks
# around a burst above it. A frame may present in several rectangles.
RECORD_PRESENTS = """
const context = document.getElementById('screen').getContext('2d');
const put = CanvasRenderingContext2D.prototype.putImageData;
window.presentsUntil = window.pelmaric.frames + arguments[0];
window.presentsKept = [];
context.putImageData = function() {
    put.apply(this, arguments);
    const frame = window.pelmaric.frames, kept = window.presentsKept;
    if (frame > window.presentsUntil)
        return;
    if (kept.length && kept[kept.length - 1][0] === frame)
        kept.pop();
    kept.push([frame, this.getImageData(320, 180, 160, 420).data]);
};
"""


def recorded_presents(p):
    """The pictures RECORD_PRESENTS kept, once it has them all, as 800 x 600 Shots (black
    outside the kept part) with their frame counts as shot.frame."""
    check(wait_until(lambda: p.js("return window.pelmaric.frames > window.presentsUntil;"), LOOK_TIMEOUT),
          f"the game ran only to frame {p.counter('frames')} of {p.js('return window.presentsUntil;')}")
    shots = []
    for frame, packed in p.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            Promise.all(window.presentsKept.map(([frame, rgba]) => {
                const rgb = new Uint8Array(rgba.length / 4 * 3);
                for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
                    rgb[j] = rgba[i]; rgb[j + 1] = rgba[i + 1]; rgb[j + 2] = rgba[i + 2];
                }
                const packed = new Blob([rgb]).stream().pipeThrough(new CompressionStream('deflate'));
                return new Response(packed).arrayBuffer().then(buffer => {
                    const bytes = new Uint8Array(buffer);
                    let text = '';
                    for (let i = 0; i < bytes.length; i += 0x8000)
                        text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
                    return [frame, btoa(text)];
                });
            })).then(done);"""):
        part = zlib.decompress(base64.b64decode(packed))
        rgb = bytearray(800 * 600 * 3)
        for row in range(420):
            rgb[((180 + row) * 800 + 320) * 3:((180 + row) * 800 + 480) * 3] = part[row * 480:(row + 1) * 480]
        shot = Shot(800, 600, bytes(rgb))
        shot.frame = frame
        shots.append(shot)
    return shots


def source_index(d, shown, game):
    """The game pixel shown at device pixel d of a picture `shown` device pixels across: the one
    its centre falls in (platform/core/scale.cpp)."""
    return min((2 * d + 1) * game // (2 * shown), game - 1)


CANVAS_BOX = "const r = document.getElementById('screen').getBoundingClientRect(); return [r.left, r.top, r.width, r.height];"
# The position of the last mouse move or touch the page saw, in CSS pixels.
LISTEN = """window.seen = null;
for (const kind of ['mousemove', 'touchstart', 'touchmove'])
    document.addEventListener(kind, e => { const t = e.touches ? e.touches[0] : e; window.seen = [t.clientX, t.clientY]; }, true);"""


def aim_under(p, density, target, send):
    """Sends the pointer (send(x, y), CSS pixels) to the middle of device pixel `target` of the
    canvas, and checks the crosshair on the game pixel shown under where the page saw it."""
    left, top, width, height = p.js(CANVAS_BOX)
    shown = (round(width * density), round(height * density))
    cx, cy = left + (target[0] + 0.5) / density, top + (target[1] + 0.5) / density
    p.js("window.seen = null;")
    send(cx, cy)
    check(wait_until(lambda: p.js("return window.seen;") is not None, LOOK_TIMEOUT), "the page saw no move")
    seen = p.js("return window.seen;")
    device = [min(n - 1, math.floor((v - o) * density + 1e-6)) for v, o, n in zip(seen, (left, top), shown)]
    at = (source_index(device[0], shown[0], 800), source_index(device[1], shown[1], 600))
    shot, ok = wait_for_picture(p, lambda s: s.pixel(*at)[0] == 255 and s.pixel(*at)[2] == 0)
    check(ok, f"at density {density} the crosshair is not at {at} (device pixel {device} of {shown}, "
              f"page saw {seen}): {shot.pixel(*at)}")
    return at


# #sharp is drawn by a worker: the page asks it for its pixels (PelmaricWeb.readSharp), which
# come once the worker has drawn every picture put so far, the one the canvas holds as asked.
READ_SHARP = """const done = arguments[arguments.length - 1];
const screen = document.getElementById('screen'), sharp = document.getElementById('sharp');
const game = screen.getContext('2d').getImageData(0, 0, 800, 600).data;
const shown = getComputedStyle(sharp).display !== 'none';
PelmaricWeb.readSharp().then(layer => {
%s});"""

# Whether the worker has a layer to show (a fitted picture, the worker loaded).
HAS_SHARP = READ_SHARP % "done(!!layer);\n"

SHARP = READ_SHARP % """if (!layer) { done({shown: shown, k: 0, differ: -1}); return; }
const a = screen.getBoundingClientRect(), b = sharp.getBoundingClientRect();
const k = layer.width / screen.width, big = layer.data;
let differ = 0;
for (let y = 0; y < layer.height; ++y)
    for (let x = 0; x < layer.width; ++x)
        for (let c = 0; c < 3; ++c)
            differ += big[(y * layer.width + x) * 4 + c] !== game[(Math.floor(y / k) * 800 + Math.floor(x / k)) * 4 + c];
done({shown: shown, k: k, height: layer.height / screen.height,
      same: [a.left, a.top, a.width, a.height].every((v, i) => Math.abs(v - [b.left, b.top, b.width, b.height][i]) < 0.01),
      differ: differ});
"""


def check_sharp(p, density):
    """A fitted canvas shows through #sharp: the picture enlarged by the whole factor just above
    the fit, nearest neighbour, laid exactly over the canvas, for the browser to filter down; at
    a whole factor the canvas shows itself."""
    _, _, width, _ = p.js(CANVAS_BOX)
    fit = round(width * density) / 800
    look = {}

    def enlarged():
        look.update(p.driver.execute_async_script(SHARP))
        return look["shown"] and look["differ"] == 0
    if fit == int(fit):
        check(not p.driver.execute_async_script(SHARP)["shown"], f"at a whole factor ({fit:.0f}) the sharp layer shows")
        return
    check(wait_until(enlarged, LOOK_TIMEOUT) and look["k"] == look["height"] == math.ceil(fit) and look["same"],
          f"at density {density} (fit {fit:.3f}) the sharp layer is {look}")


# Below half size #sharp holds the picture halved: each of its pixels the
# mean of the 2^n x 2^n game pixels it stands for, so every game pixel counts.
HALVED = READ_SHARP % """if (!layer) { done({shown: shown, halvings: 0, worst: 999}); return; }
const n = Math.round(Math.log2(800 / layer.width)), b = 1 << n, small = layer.data;
let worst = 0, lit = 0;
for (let y = 0; y < layer.height; ++y)
    for (let x = 0; x < layer.width; ++x)
        for (let c = 0; c < 3; ++c) {
            let sum = 0;
            for (let j = 0; j < b; ++j)
                for (let i = 0; i < b; ++i)
                    sum += game[((y * b + j) * 800 + x * b + i) * 4 + c];
            worst = Math.max(worst, Math.abs(small[(y * layer.width + x) * 4 + c] - sum / (b * b)));
            lit += small[(y * layer.width + x) * 4 + c] > 0;
        }
done({shown: shown, halvings: n, fit: screen.getBoundingClientRect().width / 800, worst: worst, lit: lit});
"""


def check_halved(site):
    """Below half size no game pixel is left out: the picture is halved (2 x 2 means) until what the
    browser filters is at least half, so a one-pixel dot shows dimmed, never vanishes."""
    with page_session(site, screen="small-window") as p:
        look = {}

        def halved():
            look.update(p.driver.execute_async_script(HALVED))
            return look["shown"] and look["halvings"] >= 1 and look["worst"] <= 2
        check(wait_until(halved, LOOK_TIMEOUT) and look["fit"] < 0.5 and look["fit"] * 2 ** look["halvings"] >= 0.5,
              f"below half size the sharp layer is not the picture halved: {look}")
        print(f"fit {look['fit']:.3f}: halved {look['halvings']} time(s), each pixel within {look['worst']:.2f} of its "
              "game pixels' mean")


def case_density(site):
    """On screens of 1.5 and 2 device pixels per CSS pixel the crosshair lands on the game pixel
    shown under the mouse and under a finger: on the last device pixel of a game pixel's run, and
    on the canvas's last column and row, never off the picture. The fitted picture shows sharp,
    and below half size no game pixel is left out."""
    for density in (1.5, 2):
        with page_session(site, [f"--force-device-scale-factor={density}"]) as p:
            p.js(LISTEN)
            _, _, width, height = p.js(CANVAS_BOX)
            shown = (round(width * density), round(height * density))
            last = [max(d for d in range(n) if source_index(d, n, game) == g)
                    for n, game, g in ((shown[0], 800, 167), (shown[1], 600, 80))]
            targets = ((last[0], last[1]), (shown[0] - 1, shown[1] - 1))

            def mouse(x, y):
                p.driver.execute_cdp_cmd("Input.dispatchMouseEvent", {"type": "mouseMoved", "x": x, "y": y})
            aimed = [aim_under(p, density, t, mouse) for t in targets]
            check_sharp(p, density)
            p.driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5})

            def finger(x, y):
                for kind, points in (("touchStart", [{"x": x, "y": y, "id": 1}]), ("touchEnd", [])):
                    p.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})
            # The first touch shows the launch pads, and the canvas makes room for them.
            bar = p.js("const r = document.getElementById('bar').getBoundingClientRect(); return [r.left + 4, r.top + 4];")
            finger(*bar)
            check(wait_until(lambda: p.js("return !!document.querySelector('#game.touch');"), LOOK_TIMEOUT),
                  "the page took no touch")
            _, _, width, height = p.js(CANVAS_BOX)
            shown = (round(width * density), round(height * density))
            touched = [aim_under(p, density, t, finger) for t in ((shown[0] // 3, shown[1] // 3), (shown[0] - 1, shown[1] - 1))]
            print(f"density {density}: the mouse aimed at {aimed}, a finger at {touched}, each the game pixel "
                  f"under it")
    check_halved(site)


def case_stream(site):
    """Holding D (the key repeating as a keyboard repeats it) sends a stream of interceptors from
    the right launch point, their trails along much more of the path than one interceptor's."""
    aim = (400, 150)
    with page_session(site) as p:
        move_mouse(p, *aim)
        key_event(p, "d", "keyDown")

        def held_then_shot():
            # A keyboard repeats a held key about 30 times a second.
            for _ in range(4):
                time.sleep(0.033)
                key_event(p, "d", "keyDown", repeat=True)
            return canvas_shot(p)

        check_stream(lambda streaming: wait_for_look(held_then_shot, streaming, LOOK_TIMEOUT, 0), LAUNCH_D, aim,
                     "D held")
        key_event(p, "d", "keyUp")


def case_escape(site):
    """The pointer is hidden over the canvas while the game runs; Esc stops the game, shows the
    pointer again and leaves the last picture on the canvas, with no console error."""
    with page_session(site) as p:
        check(p.counter("pointerHidden"), "the pointer shows over the canvas while the game runs")
        move_mouse(p, 400, 590)
        check_ground_and_buildings(lambda holds: wait_for_picture(p, holds), "the picture never completed")
        press_key(p, "Escape")
        check(wait_until(lambda: p.counter("stopped"), LOOK_TIMEOUT), "the game still runs long after Esc")
        check(not p.counter("pointerHidden"), "the pointer is still hidden after Esc")
        cursor = p.js("return document.getElementById('screen').style.cursor;")
        check(cursor != "none", f"canvas cursor style {cursor!r} after Esc")
        frames = p.counter("frames")
        time.sleep(0.5)
        check(p.counter("frames") == frames, f"frames still run after Esc: {frames} then {p.counter('frames')}")
        holds, why = ground_and_buildings(canvas_shot(p))
        check(holds, "the last picture did not stay on the canvas: " + why)
        # Input after the end reaches nothing and breaks nothing.
        move_mouse(p, 100, 100)
        press_key(p, "a")
        time.sleep(0.3)
        no_console_errors(p, "after Esc")
        print(f"stopped after {frames} frames")


def case_frame_rate(site):
    """Counted over 10 s in the browser, the game keeps running and never outruns its clock.

    The clock's steps make 64 a second the most there can be; more is a fault
    however busy the machine. How close a page comes to 64 depends on the
    machine, so that figure is bench/web/measure.py's, not a test's."""
    with page_session(site) as p:
        time.sleep(1.0)
        f0, t0 = frames_and_time(p)
        time.sleep(10.0)
        f1, t1 = frames_and_time(p)
        fps = (f1 - f0) * 1000.0 / (t1 - t0)
        print(f"{f1 - f0} frames in {(t1 - t0) / 1000:.3f} s: {fps:.2f} frames per second")
        check(fps <= 64.5, f"{fps:.2f} frames per second, more than the clock's 64")
        check(fps >= 16.0, f"{fps:.2f} frames per second: the game all but stopped")


def short_piece(folder, seconds=1.0):
    """A short tone under the music's name, so that its end comes soon."""
    check(os.access(OGGENC, os.X_OK), f"{OGGENC} is missing: install the Debian package vorbis-tools")
    raw = os.path.join(folder, "short.wav")
    rate = 44100
    with wave.open(raw, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = bytearray()
        for i in range(int(rate * seconds)):
            value = int(8000 * (1 if (i * 440 // rate) % 2 else -1))
            frames += value.to_bytes(2, "little", signed=True)
        w.writeframes(bytes(frames))
    subprocess.run([OGGENC, "--quiet", "-o", os.path.join(folder, "MUSIC4.ogg"), raw], check=True)
    os.unlink(raw)


def mixing_rules():
    """The desktop's mixing rules, read from the header both backends take them from."""
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "platform", "core", "audio_mixing.h")
    with open(header) as f:
        return {m.group(1): float(m.group(2)) for m in re.finditer(r"constexpr \w+ (k\w+) = ([0-9.]+)f?;", f.read())}


def check_mixing(p):
    """The page plays by the desktop's rules: the game hands them over as it opens (here the first
    key opens it, then builds the audio graph), and the graph's limiter and effect gain take them."""
    rules, page = mixing_rules(), p.counter("mixing")
    check(page is not None and page["graph"] is not None, f"no mixing rules or no audio graph in the page: {page}")
    wanted = {"inPhaseMs": rules["kEffectInPhaseMs"], "copiesPerEffect": rules["kCopiesPerEffect"],
              "stealFadeSeconds": rules["kStealFadeMs"] / 1000, "effectVolume": rules["kEffectVolume"],
              "ceiling": rules["kLimiterCeiling"], "releaseSeconds": rules["kLimiterReleaseSeconds"]}
    graph = {"threshold": 20 * math.log10(rules["kLimiterCeiling"]), "release": rules["kLimiterReleaseSeconds"],
             "effectVolume": rules["kEffectVolume"]}
    # The rules cross as doubles (the ceiling as the float it is in C++); the graph holds 32-bit floats.
    check(all(abs(page[name] - value) < 1e-6 for name, value in wanted.items()),
          f"the page's mixing rules {page} are not the header's {wanted}")
    check(all(abs(page["graph"][name] - value) < 1e-5 for name, value in graph.items()),
          f"the audio graph {page['graph']} was not set from the rules {graph}")


def case_audio(site):
    """With the autoplay policy relaxed: silent on the start screen; after the first key the music
    starts, an explosion starts its effect, and the music, a one-second piece here, restarts at its end."""
    with work_folder("pelmaric-web-audio-") as folder:
        for name in os.listdir(site):
            if name != "MUSIC4.ogg":
                os.symlink(os.path.join(os.path.abspath(site), name), os.path.join(folder, name))
        short_piece(folder)
        with page_session(folder, ["--autoplay-policy=no-user-gesture-required"], wait_for_frames=False) as p:
            check(wait_until(lambda: p.counter("state") == "ready", 30.0), "no start screen")
            time.sleep(1.0)
            check(p.counter("musicPlays") == 0 and p.counter("effectStarts") == 0 and p.counter("audioState") == "none",
                  f"audio before any key: {p.counter('musicPlays')} music plays, "
                  f"{p.counter('effectStarts')} effect starts, audio {p.counter('audioState')}")
            press_key(p, "q")
            check(wait_until(lambda: (p.counter("frames") or 0) > 0, 30.0), "the key did not start the game")
            check_mixing(p)
            aim = (400, 300)
            move_mouse(p, *aim)
            press_key(p, "s")
            check(wait_until(lambda: p.counter("musicPlays") >= 1, LOOK_TIMEOUT),
                  f"no music after the first key; audio {p.counter('audioState')}")
            check(wait_until(lambda: p.counter("effectStartsByFile").get("ex2.wav", 0) >= 1, LOOK_TIMEOUT),
                  f"no explosion effect after S: {p.counter('effectStartsByFile')}")
            check(wait_until(lambda: p.counter("musicEnds") >= 1 and p.counter("musicPlays") >= 2, LOOK_TIMEOUT),
                  f"the music did not restart after its end: {p.counter('musicPlays')} plays, "
                  f"{p.counter('musicEnds')} ends")
            no_console_errors(p, "while sound played")
            print(f"music plays {p.counter('musicPlays')}, ends {p.counter('musicEnds')}, "
                  f"effects {p.counter('effectStartsByFile')}, audio {p.counter('audioState')}")


CASES = {"page": case_page, "burst": case_burst, "density": case_density, "stream": case_stream, "escape": case_escape,
         "frame_rate": case_frame_rate, "audio": case_audio}


if __name__ == "__main__":
    sys.exit(main(CASES, "SITE_FOLDER", site_folder))
