#!/bin/bash
# frame_rate.sh -- the real game's pace over 60 s, in a private Xvfb.
#
# Usage: tests/x11/frame_rate.sh [BUILD_DIR]   (default: build)
# Runs bench_sdl_frame_rate, which starts the game as the program does and
# notes each frame's start for 60 s, then bench_sdl_present for the cost of one
# present, each with the window at 1x, 2x, 3x and fullscreen on a 3840 x 2160
# screen (XVFB_SCREEN gives another). Both print Google Benchmark tables.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
for program in bench_sdl_frame_rate bench_sdl_present; do
    if [ ! -x "$build/$program" ]; then
        echo "frame_rate.sh: $build/$program not found; build with PELMARIC_BENCH=ON" >&2
        exit 1
    fi
done
export XVFB_SCREEN=${XVFB_SCREEN:-3840x2160x24}
"$here/with_xvfb.sh" "$build/bench_sdl_frame_rate"
"$here/with_xvfb.sh" "$build/bench_sdl_present"
