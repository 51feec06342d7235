#!/bin/bash
# coverage.sh -- which lines of a parser a fuzz target's run reaches, by clang's source-based coverage.
#
# Usage: tests/fuzz/coverage.sh NAME RUNS MAX_LEN SOURCE...
# Builds tests/fuzz/NAME_fuzz.cpp with SOURCE... (paths from the top of the
# tree) for coverage, without sanitizers, runs it RUNS times from the seeds in
# corpus/NAME with inputs up to MAX_LEN bytes, and prints llvm-cov's summary
# and each SOURCE's lines with their counts. Needs Debian's clang and llvm.
# Example: tests/fuzz/coverage.sh midi_length 600000 65536 platform/core/midi_length.cpp
set -eu
if [ $# -lt 4 ]; then
    sed -n '4,9p' "$0" >&2
    exit 2
fi
name=$1 runs=$2 max_len=$3
shift 3
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/pelmaric-coverage.XXXXXX)
trap 'rm -rf "$work"' EXIT
sources=()
for s in "$@"; do
    sources+=("$top/$s")
done
/usr/bin/clang++ -std=c++20 -O1 -fsanitize=fuzzer -fprofile-instr-generate -fcoverage-mapping -I"$top" \
    "$top/tests/fuzz/${name}_fuzz.cpp" "${sources[@]}" -o "$work/fuzz"
mkdir "$work/found"
LLVM_PROFILE_FILE="$work/run.profraw" "$work/fuzz" -runs="$runs" -max_len="$max_len" -timeout=10 \
    "$work/found" "$top/tests/fuzz/corpus/$name" 2>&1 | grep -E "^#[0-9]+ +(INITED|DONE)|^Done" || true
/usr/bin/llvm-profdata merge -sparse "$work/run.profraw" -o "$work/run.profdata"
/usr/bin/llvm-cov report "$work/fuzz" -instr-profile="$work/run.profdata" "${sources[@]}"
/usr/bin/llvm-cov show "$work/fuzz" -instr-profile="$work/run.profdata" "${sources[@]}"
