"""runner.py -- the headless runner's own outputs, for the suites to compare a window or a page with.

PELMARIC_SIM names the runner (ctest gives it to every Python suite). What the
game should show comes from the runner's --screenshot and --state, never from
the game's rules written again here.
"""

import collections
import json
import os
import subprocess

from .harness import check, work_folder
from .xsession import CONVERT, HEIGHT, WIDTH, Shot


def sim_path():
    path = os.environ.get("PELMARIC_SIM", "")
    check(os.access(path, os.X_OK), f"PELMARIC_SIM does not name the runner: {path!r}")
    return path


def run_sim(seed, frames, *options):
    """The runner's final picture (a Shot) and state (a dict) after `frames` frames of game `seed`."""
    with work_folder("pelmaric-sim-") as folder:
        picture, state = os.path.join(folder, "picture.png"), os.path.join(folder, "state.json")
        result = subprocess.run([sim_path(), "--seed", str(seed), "--frames", str(frames), *options,
                                 "--screenshot", picture, "--state", state], capture_output=True, timeout=120)
        check(result.returncode == 0, f"the runner failed on seed {seed}: {result.stderr.decode(errors='replace')}")
        with open(state, encoding="utf-8") as f:
            facts = json.load(f)
        # ImageMagick reads it as fast as the window's screenshots.
        width, height = (int(n) for n in options[options.index("--size") + 1].split("x")) if "--size" in options \
            else (WIDTH, HEIGHT)
        rgb = subprocess.run([CONVERT, picture, "-depth", "8", "rgb:-"], check=True, capture_output=True,
                             timeout=60).stdout
        check(len(rgb) == width * height * 3, f"the runner's picture has {len(rgb)} bytes, not {width} x {height} x 3")
        return Shot(width, height, rgb), facts


# ---- The sky ----------------------------------------------------------------------------

SKY_PALETTES = (0, 1, 2, 3, 4)
# Idle games that show every sky, each at some moment with no building left
# standing and no blast in the air, within these seeds and frames.
SKY_SEEDS = range(1, 13)
SKY_FRAMES = 30000
_skies = {}


def _runner_skies():
    """Each palette's row colours as the runner draws them: the main colour of each row
    of its picture but the ground's, at the first frame of the idle games above where
    that palette shows over open ground (a dot or a trail cannot outvote the sky);
    None for a row all ground. Worked out once for each build of the runner, and kept
    beside it for the other suites."""
    if _skies:
        return _skies
    sim = sim_path()
    kept = sim + ".skies.json"
    built = os.stat(sim)
    made_by = [built.st_size, built.st_mtime_ns]
    try:
        with open(kept, encoding="utf-8") as f:
            found = json.load(f)
        if found["runner"] == made_by:
            _skies.update({int(p): [tuple(c) if c else None for c in rows] for p, rows in found["skies"].items()})
            return _skies
    except (OSError, ValueError, KeyError):
        pass
    moments = {}
    with work_folder("pelmaric-skies-") as folder:
        for seed in SKY_SEEDS:
            trace = os.path.join(folder, f"trace-{seed}.jsonl")
            result = subprocess.run([sim, "--seed", str(seed), "--frames", str(SKY_FRAMES), "--trace", trace],
                                    capture_output=True, timeout=300)
            check(result.returncode == 0, f"the runner failed on seed {seed}: {result.stderr.decode(errors='replace')}")
            with open(trace, encoding="utf-8") as f:
                for line in f:
                    frame = json.loads(line)
                    if (frame["building_count"] == 0 and frame["blast_count"] == 0
                            and frame["sky_type"] not in moments):
                        moments[frame["sky_type"]] = (seed, frame["frame"])
            if len(moments) == len(SKY_PALETTES):
                break
    check(sorted(moments) == list(SKY_PALETTES), f"the idle games show only the skies {sorted(moments)}")
    for palette, (seed, frame) in moments.items():
        shot, state = run_sim(seed, frame)
        check(state["sky_type"] == palette and not state["buildings"], f"seed {seed} frame {frame} is not sky {palette}")
        ground = tuple(state["ground_color"])
        _skies[palette] = [next((colour for colour, _ in collections.Counter(shot.row(y)).most_common()
                                 if colour != ground), None) for y in range(HEIGHT)]
    # Kept only to spare the next suite the work: a folder it cannot write costs nothing else.
    partial = f"{kept}.{os.getpid()}.partial"
    try:
        with open(partial, "w", encoding="utf-8") as f:
            json.dump({"runner": made_by, "skies": _skies}, f)
        os.replace(partial, kept)
    except OSError:
        pass
    return _skies


def sky_colour(palette, y):
    """The sky colour of row y for one of the five skies, as the runner draws it."""
    return _runner_skies()[palette][y]


def match_sky(shot, rows):
    """The palette whose colours are the dominant colours of all `rows`, or None.

    Returns (palette, mismatches) where mismatches lists (row, seen, expected)
    for the palette that came closest when none matched."""
    dominant = {y: shot.dominant(y) for y in rows}
    best = None
    for palette in SKY_PALETTES:
        wrong = [(y, dominant[y], sky_colour(palette, y)) for y in rows if dominant[y] != sky_colour(palette, y)]
        if not wrong:
            return palette, []
        if best is None or len(wrong) < len(best[1]):
            best = (palette, wrong)
    return None, best[1]
