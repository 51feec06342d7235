#!/usr/bin/env bash
# setup.sh -- installs what is missing, then configures and builds.
#
#   scripts/setup.sh game   the packages the game needs, then the game's build
#   scripts/setup.sh web    also Emscripten, FluidSynth and the Ogg Vorbis
#                           encoder, and the web build in build-web/
#   scripts/setup.sh tests  also the test tools (headless Chromium among them),
#                           the web build, and a second build with
#                           AddressSanitizer and UndefinedBehaviorSanitizer
#
# Everything comes from Debian's packages; nothing is downloaded otherwise.
set -euo pipefail

what=${1:-game}
top=$(cd "$(dirname "$0")/.." && pwd)

game_packages=(g++ cmake make pkg-config libsdl2-dev libsdl2-mixer-dev libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core libasound2-dev libfluidsynth-dev libx11-dev timgm6mb-soundfont
               zlib1g-dev)
web_packages=(emscripten fluidsynth vorbis-tools)
test_packages=(libgtest-dev libbenchmark-dev xvfb xauth xdotool openbox imagemagick python3 python3-xlib python3-evdev python3-png clang libclang-rt-dev llvm ninja-build
               desktop-file-utils appstream mandoc librsvg2-bin lintian dpkg-dev file debootstrap
               python3-gi gir1.2-glib-2.0
               chromium chromium-driver python3-selenium "${web_packages[@]}")

case "$what" in
    game) packages=("${game_packages[@]}") ;;
    web) packages=("${game_packages[@]}" "${web_packages[@]}") ;;
    tests) packages=("${game_packages[@]}" "${test_packages[@]}") ;;
    *) echo "usage: $0 [game|web|tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "These Debian packages are missing and sudo is not available: ${missing[*]}" >&2
            echo "Install them as root (apt-get install ${missing[*]}) and run this again." >&2
            exit 1
        fi
        as_root=(sudo)
    fi
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBUILD_TESTING="$([ "$what" = tests ] && echo ON || echo OFF)"
cmake --build "$top/build" -j "$jobs"

# The browser build takes the effects and MUSIC4.MID from the native build.
# emcc runs its helpers with /usr/bin/node, which finds Debian's JavaScript
# modules only through NODE_PATH when it is not Debian's own Node.
if [ "$what" = web ] || [ "$what" = tests ]; then
    export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
    emcmake cmake -S "$top/platform/web" -B "$top/build-web" -DPELMARIC_ASSETS="$top/build" >/dev/null
    cmake --build "$top/build-web" -j "$jobs"
fi

if [ "$what" = tests ]; then
    cmake -S "$top" -B "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DPELMARIC_SANITIZE=ON -DPELMARIC_BENCH=OFF
    cmake --build "$top/build-asan" -j "$jobs" --target unit_tests runner_tests pelmaric-sim pelmaric audio_tests assets seeded_game gamepad_test
fi
