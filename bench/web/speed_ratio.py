"""speed_ratio.py -- the WebAssembly particle pass and heaviest frame against the native ones, in one run.

Usage: /usr/bin/python3 bench/web/speed_ratio.py [BUILD [BUILD_WEB [ROUNDS]]]   (default build, build-web, 3)

Runs bench_particles_plain and bench_worst_frame_plain natively and under
Node in turn, ROUNDS times each, so that a busy machine weighs on both
alike, and prints the best round of each figure and WebAssembly's ratio to
native: the particle pass (the median over its ten cases of each case's
fastest repetition) and the heaviest frame's median and mean, at the launch
intervals 73 and 16. The fastest figures are the ones other programs on a
shared machine disturb least.
"""

import re
import statistics
import subprocess
import sys

NODE = ["node", "--no-experimental-fetch"]


def figures(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    found = {}
    fastest = [float(m) for m in re.findall(r"sky:\d/crowded:\d\s+[0-9.]+\s+([0-9.]+)", out)]
    if fastest:
        found["particle pass"] = statistics.median(fastest)
    for interval, mean, median, _, _ in re.findall(r"interval:(\d+)" + r"\s+([0-9.]+)" * 4, out):
        found[f"frame {interval} median"] = float(median)
        found[f"frame {interval} mean"] = float(mean)
    return found


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    build_web = sys.argv[2] if len(sys.argv) > 2 else "build-web"
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    runs = {"native": {}, "wasm": {}}
    for _ in range(rounds):
        for program, args in (("bench_particles_plain", ["200", "3"]), ("bench_worst_frame_plain", ["1000"])):
            for kind, command in (("native", [f"{build}/{program}"]), ("wasm", NODE + [f"{build_web}/{program}.js"])):
                for name, value in figures(command + args).items():
                    runs[kind].setdefault(name, []).append(value)
    print(f"{'best of ' + str(rounds) + ' rounds, us':28} {'native':>10} {'wasm':>10} {'ratio':>7}")
    for name in runs["native"]:
        native, wasm = min(runs["native"][name]), min(runs["wasm"][name])
        print(f"{name:28} {native:10.1f} {wasm:10.1f} {wasm / native:7.2f}")


if __name__ == "__main__":
    main()
