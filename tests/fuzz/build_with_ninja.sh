#!/bin/bash
# build_with_ninja.sh -- configures the whole tree with Ninja, checks every rule, and builds and starts the fuzz targets.
#
# Usage: tests/fuzz/build_with_ninja.sh TOP NINJA
# The fuzz targets are a clang build of their own inside the main build. A
# rule that only one generator understands, or two rules that make the same
# file, would otherwise first show on somebody's `cmake -G Ninja`: Ninja
# refuses such a build before it starts, which its dry run (-n) shows for
# every target without building them.
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 TOP NINJA" >&2
    exit 2
fi
top=$1 ninja=$2
work=$(mktemp -d /tmp/pelmaric-ninja.XXXXXX)
trap 'rm -rf "$work"' EXIT

step() {
    echo "== $*"
    if ! "$@" >"$work.log" 2>&1; then
        tail -n 60 "$work.log"
        rm -f "$work.log"
        echo "failed: $*" >&2
        exit 1
    fi
    rm -f "$work.log"
}

step cmake -G Ninja -DCMAKE_MAKE_PROGRAM="$ninja" -DBUILD_TESTING=ON -S "$top" -B "$work/build"
step "$ninja" -C "$work/build" -n
step nice "$ninja" -C "$work/build" fuzz_targets

# Each program a fuzz test runs is there and reads its seeds. Given files
# rather than a folder, libFuzzer runs each once and writes nothing.
programs=$(ctest --test-dir "$work/build" -L fuzz --show-only=json-v1 |
    /usr/bin/python3 -c 'import json, sys
for test in json.load(sys.stdin)["tests"]:
    if test["command"][0].endswith("run_fuzz.sh"):
        print(test["command"][1])')
count=0
for program in $programs; do
    seeds=("$top/tests/fuzz/corpus/${program##*/fuzz_}"/*)
    step "$program" "${seeds[@]}"
    count=$((count + 1))
done
if [ "$count" -eq 0 ]; then
    echo "no fuzz test found in the Ninja build" >&2
    exit 1
fi
echo "$count fuzz targets built and started under Ninja"
