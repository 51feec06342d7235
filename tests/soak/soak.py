#!/usr/bin/python3
"""soak.py -- long headless games with a restless player, checked frame by frame.

Plays whole games of many thousand frames on pelmaric-sim with a scripted
player who aims at random points of the sky, fires every few frames and
sometimes holds a launch key down (the key repeat sends a keydown every second
frame). Every line of the runner's trace is read back and checked: the tables
stay inside their slots, waves keep following one another, the random draw
counter and the skyline only move the way the game allows, and only the three
effects are ever heard. Exits non-zero on the first game that breaks a rule.

Standard library and tests/lib only; run with Debian's /usr/bin/python3 and
PYTHONPATH=tests.
"""

import argparse
import json
import os
import random
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
from lib.harness import TestFailure  # noqa: E402  (a game broke one of the rules: which frame and how)

KEY_A, KEY_S, KEY_D = 65, 83, 68
LAUNCH_KEYS = (KEY_A, KEY_S, KEY_D)

# Usable slots of each table (slot 0 is never used).
CAPACITY = {"missile_count": 1000, "particle_count": 10000, "shot_count": 100, "blast_count": 100}
TABLES = tuple(CAPACITY)

# A wave launches 65 missiles, so no more than that can ever be in the sky.
MISSILES_PER_WAVE = 65
FIRST_INTERVAL_SEEN = 79  # the wave start sets 80 and the same frame's launch takes one off
LAST_INTERVAL = 15        # a wave with its interval at or below this has launched everything
START_UP_INTERVAL = 10    # start-up's value, so that frame 1 starts wave 1
START_BUILDINGS = 25

# The longest a wave can last: 65 launches, each waiting its interval plus
# one frame (81 down to 17, 3185 frames), then the last missile's fall of at
# most about 600 frames at one pixel a frame within 22.5 degrees of straight
# down. Rounded up generously; a wave that has not given way to the next one
# by then has stalled.
LONGEST_WAVE = 4000

EFFECTS = {"\\ex2.wav", "\\poof.wav", "\\exb.wav"}

WIDTH, HEIGHT = 800, 600
SKY_BOTTOM = 520  # below the highest rooftops and the ground, the player rarely aims


def player_script(seed, frames):
    """The input lines of one game, always the same for one seed and length.

    Between bursts the player moves the crosshair to a random sky point every
    few frames and taps a random launch key. A burst holds one key for half a
    second to three seconds: a keydown every second frame while the aim keeps
    wandering. Now and then come events the game must shrug off: clicks, the
    music's end, typed letters and keys that launch nothing.
    """
    rng = random.Random(seed)
    lines = []

    def aim(frame):
        if rng.random() < 0.05:  # now and then anywhere on screen, ground included
            x, y = rng.uniform(0, WIDTH), rng.uniform(0, HEIGHT)
        else:
            x, y = rng.uniform(1, WIDTH - 1), rng.uniform(1, SKY_BOTTOM)
        lines.append(f"{frame} move {x:.2f} {y:.2f}")

    frame = 1
    while frame <= frames:
        roll = rng.random()
        if roll < 0.03:
            key = rng.choice(LAUNCH_KEYS)
            repeats = rng.randint(15, 90)
            for k in range(repeats):
                f = frame + 2 * k
                if f > frames:
                    break
                if rng.random() < 0.3:
                    aim(f)
                lines.append(f"{f} keydown {key}")
            frame += 2 * repeats + rng.randint(1, 10)
            continue
        if roll < 0.04:
            lines.append(f"{frame} mousedown {rng.uniform(0, WIDTH):.2f} {rng.uniform(0, HEIGHT):.2f}")
        elif roll < 0.045:
            lines.append(f"{frame} music-done")
        elif roll < 0.055:
            # Typed letters and a key that launches nothing; never Esc (27).
            lines.append(f"{frame} keypress {rng.choice((97, 115, 100, 32, 13))}")
            lines.append(f"{frame} keydown {rng.choice((32, 87, 13, 37, 40))}")
        aim(frame)
        lines.append(f"{frame} keydown {rng.choice(LAUNCH_KEYS)}")
        frame += rng.randint(2, 8)
    return "\n".join(lines) + "\n"


def check_trace(path, frames):
    """Reads the trace and checks every frame; returns the game's summary."""
    maxima = {name: 0 for name in TABLES}
    at_capacity = {name: 0 for name in TABLES}  # frames spent with the table full
    waves = 0
    wave_starts = []
    sounds_heard = {name: 0 for name in EFFECTS}
    previous = None
    count = 0

    with open(path, encoding="utf-8") as trace:
        for number, line in enumerate(trace, start=1):
            try:
                t = json.loads(line)
            except json.JSONDecodeError as e:
                raise TestFailure(f"trace line {number} is not JSON: {e}: {line[:200]!r}")
            count += 1
            where = f"frame {t.get('frame')}"
            if t["frame"] != number:
                raise TestFailure(f"trace line {number} is for frame {t['frame']}")

            for name in TABLES:
                n = t[name]
                if not 0 <= n <= CAPACITY[name]:
                    raise TestFailure(f"{where}: {name} {n} outside 0..{CAPACITY[name]}")
                maxima[name] = max(maxima[name], n)
                if n == CAPACITY[name]:
                    at_capacity[name] += 1
            if t["missile_count"] > MISSILES_PER_WAVE:
                raise TestFailure(f"{where}: {t['missile_count']} missiles, more than one wave holds")
            if not 0 <= t["building_count"] <= START_BUILDINGS:
                raise TestFailure(f"{where}: building_count {t['building_count']}")
            if not 0 <= t["sky_type"] <= 4:
                raise TestFailure(f"{where}: sky_type {t['sky_type']}")

            for s in t["sounds"]:
                if s not in EFFECTS:
                    raise TestFailure(f"{where}: unknown sound {s!r}")
                sounds_heard[s] += 1

            interval = t["spawn_interval"]
            if previous is None:
                before_interval, before_missiles, before_draws, before_buildings = (
                    START_UP_INTERVAL, 0, 0, START_BUILDINGS)
            else:
                before_interval = previous["spawn_interval"]
                before_missiles = previous["missile_count"]
                before_draws = previous["rnd_draws"]
                before_buildings = previous["building_count"]

            if t["rnd_draws"] < before_draws:
                raise TestFailure(f"{where}: rnd_draws went back from {before_draws} to {t['rnd_draws']}")
            if t["building_count"] > before_buildings:
                raise TestFailure(f"{where}: building_count rose from {before_buildings} to {t['building_count']}")

            # The interval only stays, drops by one at a launch, or jumps back
            # to the top when an exhausted wave with an empty sky gives way.
            if interval == FIRST_INTERVAL_SEEN and before_interval <= LAST_INTERVAL:
                if before_missiles != 0:
                    raise TestFailure(f"{where}: a wave started with {before_missiles} missiles in the sky")
                waves += 1
                wave_starts.append(t["frame"])
            elif interval not in (before_interval, before_interval - 1):
                raise TestFailure(f"{where}: spawn_interval went from {before_interval} to {interval}")
            elif interval < LAST_INTERVAL:
                raise TestFailure(f"{where}: spawn_interval {interval} below {LAST_INTERVAL}")
            previous = t

    if count != frames:
        raise TestFailure(f"the trace has {count} frames, {frames} were asked for")
    if wave_starts[:1] != [1]:
        raise TestFailure(f"wave 1 did not start on frame 1 (wave starts: {wave_starts[:3]})")
    # Waves keep coming: no gap between starts, nor after the last one, is
    # longer than a wave can last.
    for start, end in zip(wave_starts, wave_starts[1:] + [frames + 1]):
        if end - start > LONGEST_WAVE:
            raise TestFailure(f"the wave that started on frame {start} lasted past frame {start + LONGEST_WAVE}")
    # The player really played: interceptors flew and burst.
    if maxima["shot_count"] == 0 or sounds_heard["\\ex2.wav"] == 0:
        raise TestFailure("no interceptor ever flew or burst: the player's input did not reach the game")

    return {
        "waves": waves,
        "maxima": maxima,
        "at_capacity": at_capacity,
        "buildings_left": previous["building_count"],
        "sounds": sounds_heard,
        "rnd_draws": previous["rnd_draws"],
    }


def soak_game(sim, seed, frames, workdir, time_limit):
    """Runs and checks one game; returns its summary with the run's seconds."""
    script = os.path.join(workdir, f"input-{seed}.txt")
    trace = os.path.join(workdir, f"trace-{seed}.jsonl")
    state = os.path.join(workdir, f"state-{seed}.json")
    with open(script, "w", encoding="ascii") as f:
        f.write(player_script(seed, frames))

    command = [sim, "--seed", str(seed), "--frames", str(frames), "--input", script,
               "--trace", trace, "--state", state]
    start = time.monotonic()
    try:
        run = subprocess.run(command, capture_output=True, text=True, timeout=time_limit)
    except subprocess.TimeoutExpired:
        raise TestFailure(f"the runner did not finish within {time_limit} s")
    seconds = time.monotonic() - start
    if run.returncode != 0:
        raise TestFailure(f"the runner exited with status {run.returncode}: {run.stderr.strip()}")
    if run.stderr:
        raise TestFailure(f"the runner wrote to stderr: {run.stderr.strip()}")

    summary = check_trace(trace, frames)
    with open(state, encoding="utf-8") as f:
        final = json.load(f)
    if final["frames_run"] != frames or final["ended"]:
        raise TestFailure(f"the game stopped early: frames_run {final['frames_run']}, ended {final['ended']}")
    if len(final["buildings"]) != summary["buildings_left"]:
        raise TestFailure("the final state's buildings disagree with the trace's last frame")
    summary["seconds"] = seconds
    return summary


def describe(seed, s):
    """One line for one game: its time, waves, busiest tables and what is left standing."""
    m = s["maxima"]
    line = (f"seed {seed}: {s['seconds']:.2f} s, {s['waves']} waves, max missiles {m['missile_count']}, "
            f"particles {m['particle_count']}, shots {m['shot_count']}, blasts {m['blast_count']}, "
            f"buildings left {s['buildings_left']}")
    full = [f"{name} full for {n} frames" for name, n in s["at_capacity"].items() if n]
    if full:
        line += "; AT CAPACITY: " + ", ".join(full)
    return line


def main():
    """Plays and checks each seed in turn; the exit status is 1 if any game failed."""
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sim", required=True, help="path of pelmaric-sim")
    parser.add_argument("--seed", type=int, action="append", required=True,
                        help="game seed; give it several times for several games")
    parser.add_argument("--frames", type=int, default=50000)
    parser.add_argument("--time-limit", type=float, default=600,
                        help="seconds after which a game counts as hung")
    parser.add_argument("--keep", metavar="DIR", help="keep the input scripts and traces in DIR")
    args = parser.parse_args()
    if args.frames < 1:
        parser.error("--frames must be at least 1")

    failures = 0
    overall = {name: 0 for name in TABLES}
    with tempfile.TemporaryDirectory(prefix="pelmaric-soak-") as temp:
        workdir = args.keep or temp
        os.makedirs(workdir, exist_ok=True)
        for seed in args.seed:
            try:
                s = soak_game(args.sim, seed, args.frames, workdir, args.time_limit)
            except TestFailure as e:
                print(f"seed {seed}: FAILED: {e}", flush=True)
                failures += 1
                continue
            except (KeyError, TypeError) as e:  # a trace line without a field or of the wrong shape
                print(f"seed {seed}: FAILED: malformed trace: {e!r}", flush=True)
                failures += 1
                continue
            print(describe(seed, s), flush=True)
            for name in TABLES:
                overall[name] = max(overall[name], s["maxima"][name])
    if len(args.seed) > 1:
        print("overall max: " + ", ".join(f"{name} {overall[name]}/{CAPACITY[name]}" for name in TABLES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
