"""throttled.py -- the page on a phone with a processor four times slower: frames per second and long tasks in heavy play.

Usage: /usr/bin/python3 bench/web/throttled.py [BUILD_WEB [SECONDS [RATE]]]   (default build-web, 20, 4)

Lays the page out as a phone held sideways (touch, device pixel ratio 3),
slows the processor by RATE with the DevTools protocol's
Emulation.setCPUThrottlingRate, starts the game with a tap, aims at the
middle of the sky with a finger and holds the three launch pads, a stream
from each launch point, then counts the game's frames per second and the
long tasks (over 50 ms) the browser reports over SECONDS, with the longest,
and the machine's load average, which weighs on every figure: the target
(64 frames per second, no long task) holds on a quiet machine.
"""

import os
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))

from lib.browser import frames_and_time, page_session, wait_until  # noqa: E402


def touch(p, kind, points):
    p.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-web"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    rate = float(sys.argv[3]) if len(sys.argv) > 3 else 4.0
    with page_session(os.path.join(build, "site"), screen="phone-landscape", start=False, wait_for_frames=False) as p:
        p.js("window.longTasks = []; new PerformanceObserver(list => list.getEntries().forEach("
             "e => window.longTasks.push(e.duration))).observe({entryTypes: ['longtask']});")
        p.driver.execute_cdp_cmd("Emulation.setCPUThrottlingRate", {"rate": rate})
        wait_until(lambda: p.js("return document.body.dataset.state === 'ready';"), 60.0)
        box = p.js("const r = document.getElementById('screen').getBoundingClientRect(); return [r.left, r.top, r.width, r.height];")
        aim = {"x": box[0] + box[2] / 2, "y": box[1] + box[3] * 0.3, "id": 1}
        touch(p, "touchStart", [aim])
        touch(p, "touchEnd", [])
        wait_until(lambda: (p.counter("frames") or 0) > 0, 60.0)
        pads = p.js("return Array.from(document.querySelectorAll('.pad')).map(e => {"
                    "const r = e.getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2];});")
        held = [aim] + [{"x": x, "y": y, "id": 2 + i} for i, (x, y) in enumerate(pads)]
        touch(p, "touchStart", held)
        time.sleep(2.0)
        p.js("window.longTasks = [];")
        f0, t0 = frames_and_time(p)
        time.sleep(seconds)
        f1, t1 = frames_and_time(p)
        tasks = p.js("return window.longTasks;")
        touch(p, "touchEnd", [])
        fps = (f1 - f0) * 1000 / (t1 - t0)
        print(f"{rate:g}x slower processor, phone held sideways, three pads held: {fps:.2f} frames per second over "
              f"{(t1 - t0) / 1000:.1f} s; {len(tasks)} long tasks, the longest {max(tasks, default=0):.0f} ms "
              f"(load average {' '.join(f'{v:.1f}' for v in os.getloadavg())})")


if __name__ == "__main__":
    main()
