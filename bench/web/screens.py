"""screens.py -- the page on each test screen: the canvas's size and share, bytes and time to the first picture, pace.

Usage: /usr/bin/python3 bench/web/screens.py [BUILD_WEB [fit|load|fps ...]]   (default build-web, all)

- fit: for each screen of tests/lib/browser.py's SCREENS, the canvas's size in
  CSS and device pixels, the share of the window it covers, and whether the
  page scrolls;
- load: on the desktop screen, the page's first paint and the game's first
  picture (ms from opening the page; the game starts with a key as soon as it
  can), bytes fetched before the game's first picture, and bytes after 15 s;
- fps: frames per second over 10 s on the desktop and the phone.
"""

import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))

from lib.browser import SCREENS, frames_and_time, page_session  # noqa: E402

LAYOUT = """
const c = document.getElementById('screen'), r = c.getBoundingClientRect();
const e = document.scrollingElement;
return [r.width, r.height, window.innerWidth, window.innerHeight, window.devicePixelRatio,
        e.scrollWidth > window.innerWidth || e.scrollHeight > window.innerHeight];
"""

LOAD = """
const entries = performance.getEntriesByType('resource').concat(performance.getEntriesByType('navigation'));
const paint = performance.getEntriesByName('first-contentful-paint')[0];
const first = window.pelmaric.firstPresentMs;
let before = 0, total = 0, paintBytes = 0;
for (const e of entries) {
    const bytes = e.transferSize || 0;   // 0 for a file the page had already
    total += bytes;
    if (e.responseEnd <= first) before += bytes;
    if (paint && e.responseEnd <= paint.startTime) paintBytes += bytes;
}
return [paint ? paint.startTime : -1, first, before, total, entries.length, paintBytes];
"""


def fit(site):
    for name in SCREENS:
        with page_session(site, screen=name) as p:
            w, h, vw, vh, density, scrolls = p.js(LAYOUT)
            print(f"{name:16} viewport {vw} x {vh} at {density}: canvas {w:.1f} x {h:.1f} CSS px "
                  f"({w * density:.0f} x {h * density:.0f} device px), {100 * w * h / (vw * vh):.0f} % of the "
                  f"viewport{', page scrolls' if scrolls else ''}")


def load(site, loads=3):
    for _ in range(loads):
        with page_session(site, screen="desktop") as p:
            time.sleep(15.0)
            paint, first, before, total, count, paint_bytes = p.js(LOAD)
            print(f"first paint {paint:.0f} ms after {paint_bytes:,} bytes, game's first picture {first:.0f} ms "
                  f"after {before:,} bytes; {total:,} bytes in {count} files after 15 s")


def fps(site, seconds=10.0):
    for name in ("desktop", "phone-portrait"):
        with page_session(site, screen=name) as p:
            time.sleep(1.0)
            f0, t0 = frames_and_time(p)
            time.sleep(seconds)
            f1, t1 = frames_and_time(p)
            print(f"{name}: {(f1 - f0) * 1000 / (t1 - t0):.2f} frames per second over {(t1 - t0) / 1000:.2f} s")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-web"
    site = os.path.join(build, "site")
    what = sys.argv[2:] or ["fit", "load", "fps"]
    for name, run in (("fit", fit), ("load", load), ("fps", fps)):
        if name in what:
            run(site)


if __name__ == "__main__":
    main()
