#!/usr/bin/python3
"""fingerprint.py -- one fixed set of headless games, to tell whether a change kept every bit.

Runs a runner (the native pelmaric-sim, or the same program built another way)
over a fixed set of plays and keeps each play's trace, state and audio log in
a folder. Two such folders are then compared file by file; for a trace that
differs, the first differing frame is named.

    PYTHONPATH=tests fingerprint.py run --sim "build/pelmaric-sim" --out DIR [--frames N]
    PYTHONPATH=tests fingerprint.py compare DIR_A DIR_B

The plays: the soak's scripted player for seeds 1 to 5, idle play (no input)
for the same seeds, launch floods that fill every table, and the scripted
player on client sizes other than 800 x 600. Standard library and tests/lib
(through soak.py) only.
"""

import argparse
import hashlib
import os
import shlex
import subprocess
import sys

from soak import KEY_A, player_script  # noqa: E402

OUTPUTS = ("trace.jsonl", "state.json", "audio.log")


def flood_script(frames, key=KEY_A, aim=(13, 546)):
    """A hundred launches a frame at a point a few pixels from the left launch
    point: every interceptor bursts at once, so the particle, shot and blast
    tables fill within a few frames while the wave falls."""
    lines = [f"1 move {aim[0]} {aim[1]}"]
    for frame in range(1, frames + 1):
        lines.extend(f"{frame} keydown {key}" for _ in range(100))
    return "\n".join(lines) + "\n"


def plays(frames):
    """(name, seed, size, input text or None, frames) for every play of the set."""
    out = []
    for seed in range(1, 6):
        out.append((f"scripted-{seed}", seed, None, player_script(seed, frames), frames))
    for seed in range(1, 6):
        out.append((f"idle-{seed}", seed, None, None, frames))
    flood_frames = min(frames, 3000)
    for seed in (1, 2):
        out.append((f"flood-{seed}", seed, None, flood_script(flood_frames), flood_frames))
    for size in ("640x480", "1024x768", "333x217"):
        out.append((f"scripted-7-{size}", 7, size, player_script(7, frames), frames))
    return out


def run(args):
    sim = shlex.split(args.sim)
    os.makedirs(args.out, exist_ok=True)
    for name, seed, size, script, frames in plays(args.frames):
        folder = os.path.join(args.out, name)
        os.makedirs(folder, exist_ok=True)
        command = sim + ["--seed", str(seed), "--frames", str(frames)]
        if size:
            command += ["--size", size]
        if script is not None:
            path = os.path.join(folder, "input.txt")
            with open(path, "w", encoding="ascii") as f:
                f.write(script)
            command += ["--input", path]
        command += ["--trace", os.path.join(folder, "trace.jsonl"), "--state", os.path.join(folder, "state.json"),
                    "--audio-log", os.path.join(folder, "audio.log")]
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            print(f"{name}: the runner exited with status {done.returncode}: {done.stderr.strip()}")
            return 1
        digest = hashlib.sha256()
        for output in OUTPUTS:
            with open(os.path.join(folder, output), "rb") as f:
                digest.update(f.read())
        print(f"{name}: {digest.hexdigest()[:16]}", flush=True)
    return 0


def first_difference(a, b):
    """The 1-based number of the first line that differs, or None."""
    with open(a, "rb") as fa, open(b, "rb") as fb:
        number = 0
        while True:
            number += 1
            la, lb = fa.readline(), fb.readline()
            if la != lb:
                return number
            if not la:
                return None


def compare(args):
    names = sorted(n for n in os.listdir(args.a) if os.path.isdir(os.path.join(args.a, n)))
    same = 0
    for name in names:
        differing = []
        for output in OUTPUTS:
            pa, pb = os.path.join(args.a, name, output), os.path.join(args.b, name, output)
            if not os.path.exists(pb):
                differing.append(f"{output} missing")
                continue
            line = first_difference(pa, pb)
            if line is not None:
                what = f"{output} from line {line}"
                if output == "trace.jsonl":
                    what += f" (frame {line})"
                differing.append(what)
        if differing:
            print(f"{name}: DIFFERS: " + "; ".join(differing))
        else:
            same += 1
            print(f"{name}: identical")
    print(f"{same} of {len(names)} plays identical")
    return 0 if same == len(names) else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run", help="play the set and keep the outputs")
    r.add_argument("--sim", required=True, help="the runner's command line, e.g. build/pelmaric-sim")
    r.add_argument("--out", required=True, help="folder for the outputs")
    r.add_argument("--frames", type=int, default=20000)
    c = sub.add_parser("compare", help="compare two folders of outputs")
    c.add_argument("a")
    c.add_argument("b")
    args = parser.parse_args()
    return run(args) if args.command == "run" else compare(args)


if __name__ == "__main__":
    sys.exit(main())
