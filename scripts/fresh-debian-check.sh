#!/bin/bash
# fresh-debian-check.sh -- the whole road of a new user, on fresh minimal Debian 12 systems.
#
# Usage (as root, on Debian with debootstrap and git):
#   scripts/fresh-debian-check.sh [BRANCH] [WORKDIR]
#
# Makes a minimal Debian 12 (debootstrap --variant=minbase bookworm, kept as
# WORKDIR/minbase.tar and unpacked afresh for each stage) and:
#  1. in one copy, as root the way CI does: clones BRANCH (default: the
#     current one) of this repository, runs the README's test command
#     ./run-tests, installs the package it built with
#     `apt-get install ./build/pelmaric_*.deb`, starts /usr/games/pelmaric as
#     an ordinary user from that user's home folder under Xvfb with SDL's
#     disk audio driver (music, an explosion after a launch key, Esc),
#     removes the package and checks that none of its files remain;
#  2. in a second copy with nothing of the build: installs only the package,
#     to see that its dependencies bring everything the game needs (no
#     library missing, a soundfont there), then plays and removes it again.
# Prints the package's size and installed size, lintian's and appstreamcli's
# reports and the measured music level. Takes long (Debian systems and two
# builds on a small machine); the log is WORKDIR/check.log. Exit status 0
# when every step held.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
branch=${1:-$(git -C "$top" rev-parse --abbrev-ref HEAD)}
work=${2:-/var/tmp/pelmaric-fresh-debian}
log="$work/check.log"
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
id=$(sed -n 's/^set(PELMARIC_ID \(.*\))$/\1/p' "$top/packaging/packaging.cmake")
# What the installed-game test needs besides the game (python3-xlib,
# xdotool and ImageMagick drive and photograph the window).
play_tools=(xvfb xauth xdotool imagemagick python3 python3-xlib)

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-debian-check.sh: run as root (debootstrap and chroot need it)" >&2
    exit 1
fi
for tool in debootstrap git; do
    command -v "$tool" >/dev/null || { echo "fresh-debian-check.sh: $tool is missing: apt-get install $tool" >&2; exit 1; }
done

mounted=()
unmount_all() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[i]}" 2>/dev/null || true
    done
    mounted=()
}
trap unmount_all EXIT

# Unpacks a fresh copy of the minimal system into $1 and mounts what
# programs expect (/proc for the game's own folder, /dev for Xvfb).
fresh_root() {
    local root=$1
    # Never delete through a mount left by an interrupted run (/dev is bound in).
    if grep -qs " $root/" /proc/mounts; then
        echo "fresh-debian-check.sh: something is still mounted under $root; unmount it first" >&2
        exit 1
    fi
    rm -rf "$root"
    mkdir -p "$root"
    tar -C "$root" -xf "$work/minbase.tar"
    cat > "$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount -t proc proc "$root/proc"; mounted+=("$root/proc")
    mount -t sysfs sys "$root/sys"; mounted+=("$root/sys")
    mount --bind /dev "$root/dev"; mounted+=("$root/dev")
    mount --bind /dev/pts "$root/dev/pts"; mounted+=("$root/dev/pts")
    mkdir -p "$root/tmp/.X11-unix" && chmod 1777 "$root/tmp" "$root/tmp/.X11-unix"
}

# Runs a command inside $root with a clean environment.
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
                HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# The installed game played by a new account from its home folder; the test
# and its helper are under $1 inside the root.
play_from_home() {
    in_root /bin/sh -c 'id player >/dev/null 2>&1 || useradd --create-home player'
    in_root setpriv --reuid=player --regid=player --init-groups /usr/bin/env HOME=/home/player \
        /usr/bin/python3 "$1/tests/install/test_install.py" played_from_home --installed /usr \
        --build "$1/build" --id "$id" --version "$(in_root /usr/games/pelmaric --version | cut -d' ' -f2)" \
        --find-sound "$1/build/find_sound"
}

# apt-get remove, then checks that none of the package's files and folders remain.
remove_and_check() {
    in_root dpkg-query -L pelmaric > "$work/files.txt"
    in_root apt-get remove -y pelmaric
    local left=0 path
    while read -r path; do
        # Shared folders such as /usr/share/icons stay; every file, and
        # every folder of the game's own, must be gone.
        if [ -e "$root$path" ] && { [ ! -d "$root$path" ] || [[ "$path" == */pelmaric ]]; }; then
            echo "left behind: $path"
            left=1
        fi
    done < "$work/files.txt"
    [ $left -eq 0 ] || { echo "== FAIL: files remain after apt-get remove"; exit 1; }
    echo "== none of the package's $(wc -l < "$work/files.txt") paths remain"
}

mkdir -p "$work"
exec > >(tee "$log") 2>&1
echo "== $(date -u +%FT%TZ) fresh Debian 12 check of branch $branch"

if [ ! -f "$work/minbase.tar" ]; then
    rm -rf "$work/minbase"
    debootstrap --variant=minbase bookworm "$work/minbase" "$mirror"
    tar -C "$work/minbase" -cf "$work/minbase.tar" .
    rm -rf "$work/minbase"
fi

# ---- 1. The README's road: clone, ./run-tests, install the package, play, remove ----
root="$work/root"
fresh_root "$root"
# A clean clone, readable by the player's account too.
git clone --quiet --branch "$branch" --single-branch "file://$top" "$root/srv/pelmaric"
echo "== clone at $(git -C "$root/srv/pelmaric" rev-parse HEAD)"

echo "== the README's test command: ./run-tests"
start=$(date +%s)
failed=0
if in_root /bin/sh -c 'cd /srv/pelmaric && ./run-tests'; then
    echo "== ./run-tests passed in $(( $(date +%s) - start )) s"
else
    # Go on with the package all the same, to see the rest of the road;
    # the check still fails at the end.
    echo "== FAIL: ./run-tests failed after $(( $(date +%s) - start )) s"
    failed=1
    if ! ls "$root"/srv/pelmaric/build/pelmaric_*.deb >/dev/null 2>&1; then
        in_root /bin/sh -c 'cd /srv/pelmaric && cmake --build build -j2 && cd build && cpack -G DEB'
    fi
fi

deb=$(cd "$root/srv/pelmaric/build" && ls pelmaric_*.deb)
cp "$root/srv/pelmaric/build/$deb" "$work/$deb"
echo "== the package: $deb, $(stat -c %s "$work/$deb") bytes"
in_root dpkg-deb -f "/srv/pelmaric/build/$deb" Installed-Size Depends
echo "== lintian --display-info --display-experimental --pedantic"
in_root lintian --display-info --display-experimental --pedantic "/srv/pelmaric/build/$deb" || true

echo "== apt-get install ./build/$deb"
in_root /bin/sh -c "cd /srv/pelmaric && apt-get install -y ./build/$deb"
in_root dpkg-query -W -f='installed: ${Package} ${Version}, ${Installed-Size} KiB\n' pelmaric
echo "== appstreamcli validate --no-net --pedantic"
in_root appstreamcli validate --no-net --pedantic "/usr/share/metainfo/$id.metainfo.xml"
echo "== desktop-file-validate"
in_root desktop-file-validate "/usr/share/applications/$id.desktop" && echo "(no complaint)"
echo "== /usr/games/pelmaric from a new player's home folder"
play_from_home /srv/pelmaric
echo "== apt-get remove pelmaric"
remove_and_check
unmount_all

# ---- 2. Only the package, on a system that never built anything ----------------------
root="$work/bare"
fresh_root "$root"
cp "$work/$deb" "$root/tmp/$deb"
in_root apt-get update -q
echo "== apt-get install ./$deb on a bare system"
in_root /bin/sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$deb"
missing=$(in_root ldd /usr/lib/games/pelmaric/pelmaric | grep 'not found' || true)
[ -z "$missing" ] || { echo "== FAIL: libraries missing after installing the package: $missing"; exit 1; }
in_root /bin/sh -c 'ls /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/default-GM.sf2 /usr/share/sounds/sf3/default-GM.sf3 2>/dev/null' |
    grep -q . || { echo "== FAIL: no General MIDI soundfont after installing the package"; exit 1; }
echo "== every library the game links is there, and a soundfont"
echo "== then the tools that drive the window: ${play_tools[*]}"
in_root apt-get install -y -q --no-install-recommends "${play_tools[@]}" > "$work/play-tools.log"
mkdir -p "$root/srv/check/build"
cp -r "$work/root/srv/pelmaric/tests" "$root/srv/check/"
cp "$work/root/srv/pelmaric/build/find_sound" "$root/srv/check/build/"
chmod -R a+rX "$root/srv/check"
echo "== /usr/games/pelmaric from a new player's home folder"
play_from_home /srv/check
echo "== apt-get remove pelmaric"
remove_and_check
unmount_all

if [ $failed -ne 0 ]; then
    echo "== $(date -u +%FT%TZ) FAIL: ./run-tests failed (see above); the package's steps held"
    exit 1
fi
echo "== $(date -u +%FT%TZ) every step held"
