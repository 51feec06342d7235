#!/bin/bash
# run_fuzz.sh -- replays a fuzz target's past failures, then runs it on RUNS fresh inputs grown from its seeds.
#
# Usage: tests/fuzz/run_fuzz.sh PROGRAM RUNS SEEDS REGRESSION [MAX_LEN]
# MAX_LEN: the longest input tried, in bytes (libFuzzer's default 4096).
# Exit status 0 when every input passed. A failing input (a crash, a
# sanitizer report, a leak, a timeout, or memory beyond 2 GB) is written to
# REGRESSION, where it is replayed on every run from then on: commit it with
# the fix. New inputs found on the way go to a temporary folder; the seeds
# are only read.
set -u
if [ $# -ne 4 ] && [ $# -ne 5 ]; then
    echo "usage: $0 PROGRAM RUNS SEEDS REGRESSION [MAX_LEN]" >&2
    exit 2
fi
program=$1 runs=$2 seeds=$3 regression=$4 max_len=${5:-4096}
name=$(basename "$program")

work=$(mktemp -d /tmp/pelmaric-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/found" "$regression"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

shopt -s nullglob
past=("$regression"/*)
if [ ${#past[@]} -gt 0 ]; then
    echo "$name: replaying ${#past[@]} past failure(s) from $regression"
    if ! "$program" -timeout=10 "${past[@]}" >"$work/replay.log" 2>&1; then
        cat "$work/replay.log"
        echo "$name: a past failure in $regression fails again" >&2
        exit 1
    fi
fi

"$program" -runs="$runs" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$regression/" "$work/found" "$seeds" >"$work/fuzz.log" 2>&1
status=$?
if [ $status -ne 0 ]; then
    cat "$work/fuzz.log"
    echo "$name: failed (status $status); the input is kept in $regression: commit it with the fix" >&2
    exit 1
fi
# libFuzzer's own summary: the runs made, their pace, and what the corpus grew to.
grep -E "^Done [0-9]+ runs|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb|INITED|DONE" "$work/fuzz.log"
