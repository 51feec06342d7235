#!/bin/sh
# platform_includes.sh -- checks the floors of platform/ by their #include lines.
#
#     tests/platform_includes.sh TOP
#
# platform/core/ is what every backend shares: no SDL, X11, browser or other
# backend's header. No file of platform/ includes the game (shell/, scene/,
# combat/), and the web backend nothing of the SDL one, nor does its build
# compile any. Prints each line
# that breaks a rule and fails if there is one.
top=${1:?usage: platform_includes.sh TOP}
cd "$top" || exit 2
[ -d platform/core ] || { echo "no platform/core/ in $top" >&2; exit 2; }

bad=0
check() { # what, pattern, files...
    what=$1 pattern=$2
    shift 2
    if grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)" "$@"; then
        echo "^ $what" >&2
        bad=1
    fi
}
check "platform/core/ includes a system's or a backend's header" \
    'SDL|X11/|emscripten|GL/|platform/(sdl|web|memory)/' platform/core/*
check "platform/ includes the game" 'shell/|scene/|combat/' $(find platform -name '*.h' -o -name '*.cpp')
check "the web backend includes the SDL backend" 'platform/sdl/' platform/web/*
if grep -n 'platform/sdl/' platform/web/CMakeLists.txt; then
    echo "^ the web build compiles the SDL backend's files" >&2
    bad=1
fi
exit $bad
