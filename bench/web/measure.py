"""measure.py -- the web build's figures in headless Chromium: pace, presents, start-up and download size.

Usage: /usr/bin/python3 bench/web/measure.py [BUILD_WEB [sizes|start|presents|fps ...]]   (default build-web, all)

Prints, each repeated to show the spread on a shared machine:
- frames per second counted over 10 s, three runs;
- the cost of a present, crosshair-only and full frame, one putImageData per
  present against one per merged rectangle (bench/web/present.cpp's page);
- the time from opening the page to its first picture, five page loads;
- the page's files before and after gzip.
The particle pass in WebAssembly is timed by build-web/bench_particles_plain.js
under Node, beside build/bench_particles_plain natively.
"""

import gzip
import os
import statistics
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))

from lib.browser import frames_and_time, page_session, wait_until  # noqa: E402


def frame_rate(site, runs=3, seconds=10.0):
    for _ in range(runs):
        with page_session(site) as p:
            time.sleep(1.0)
            f0, t0 = frames_and_time(p)
            time.sleep(seconds)
            f1, t1 = frames_and_time(p)
            print(f"frames per second over {(t1 - t0) / 1000:.2f} s: {(f1 - f0) * 1000 / (t1 - t0):.2f}")


def presents(bench_site):
    with page_session(bench_site, wait_for_frames=False) as p:
        lines = []

        def finished():
            lines.extend(e["message"] for e in p.driver.get_log("browser"))
            return any("present benchmark done" in line for line in lines)

        wait_until(finished, 300.0, 0.5)
        for line in lines:
            if "present " in line:
                print(line.split('"')[1] if '"' in line else line)


def first_picture(site, loads=5):
    times = []
    for _ in range(loads):
        with page_session(site) as p:
            times.append(p.counter("firstPresentMs"))
    print(f"opening the page to its first picture: median {statistics.median(times):.0f} ms, "
          f"{min(times):.0f} to {max(times):.0f} ms over {loads} loads")


def sizes(site):
    total, total_gz = 0, 0
    for name in sorted(os.listdir(site)):
        data = open(os.path.join(site, name), "rb").read()
        packed = len(gzip.compress(data, 9))
        total += len(data)
        total_gz += packed
        print(f"{name:14} {len(data):>10,} bytes, gzip -9 {packed:>10,}")
    print(f"{'all':14} {total:>10,} bytes, gzip -9 {total_gz:>10,}")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-web"
    site, bench_site = os.path.join(build, "site"), os.path.join(build, "bench-site")
    what = sys.argv[2:] or ["sizes", "start", "presents", "fps"]
    if "sizes" in what:
        sizes(site)
    if "start" in what:
        first_picture(site)
    if "presents" in what:
        presents(bench_site)
    if "fps" in what:
        frame_rate(site)


if __name__ == "__main__":
    main()
