"""speed_ratio.py -- the WebAssembly particle pass and heaviest frame against the native ones, round by round.

Usage: /usr/bin/python3 bench/web/speed_ratio.py [BUILD [BUILD_WEB [ROUNDS]]]   (default build, build-web, 5)

Each round runs bench_particles_plain and bench_worst_frame_plain natively
and under Node, one right after the other (native first in one round,
WebAssembly first in the next), so that what else the machine is doing
weighs on both sides of a ratio alike. Prints every round's ratios, then
each figure's median and range over the rounds, with the load average
before and after.

The figures: the particle pass as the median over its ten cases of each
case's median single pass ("pass, median pass"), and of each case's fastest
repetition's mean ("pass, fastest rep"); the heaviest frame's median and
mean at the launch intervals 73 and 16. A median pass or frame passes over
the moments another program takes the processor; a mean does not, so on a
loaded machine the median ones are the figures to read.
"""

import os
import re
import statistics
import subprocess
import sys

NODE = ["node", "--no-experimental-fetch"]
PROGRAMS = (("bench_particles_plain", ["200", "3"]), ("bench_worst_frame_plain", ["1000"]))


def figures(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    found = {}
    cases = re.findall(r"sky:\d/crowded:\d\s+[0-9.]+\s+([0-9.]+)\s+[0-9.]+\s+([0-9.]+)", out)
    if cases:
        found["pass, median pass"] = statistics.median(float(c[1]) for c in cases)
        found["pass, fastest rep"] = statistics.median(float(c[0]) for c in cases)
    for interval, mean, median, _, _ in re.findall(r"interval:(\d+)" + r"\s+([0-9.]+)" * 4, out):
        found[f"frame {interval} median"] = float(median)
        found[f"frame {interval} mean"] = float(mean)
    return found


def load():
    return " ".join(f"{v:.1f}" for v in os.getloadavg())


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    build_web = sys.argv[2] if len(sys.argv) > 2 else "build-web"
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    kinds = {"native": lambda p: [f"{build}/{p}"], "wasm": lambda p: NODE + [f"{build_web}/{p}.js"]}
    print(f"load average before: {load()}")
    ratios = {}
    for r in range(rounds):
        found = {"native": {}, "wasm": {}}
        for program, args in PROGRAMS:
            for kind in (("native", "wasm") if r % 2 == 0 else ("wasm", "native")):
                found[kind].update(figures(kinds[kind](program) + args))
        print(f"round {r + 1}  (load {load()})")
        for name, native in found["native"].items():
            wasm = found["wasm"][name]
            ratios.setdefault(name, []).append(wasm / native)
            print(f"  {name:20} native {native:9.1f} us  wasm {wasm:9.1f} us  ratio {wasm / native:5.2f}")
    print(f"load average after: {load()}")
    print(f"{'ratio over ' + str(rounds) + ' rounds':20} {'median':>7} {'lowest':>7} {'highest':>7}  every round")
    for name, values in ratios.items():
        print(f"{name:20} {statistics.median(values):7.2f} {min(values):7.2f} {max(values):7.2f}  "
              + " ".join(f"{v:.2f}" for v in values))


if __name__ == "__main__":
    main()
