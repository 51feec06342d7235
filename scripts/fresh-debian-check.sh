#!/bin/bash
# fresh-debian-check.sh -- the whole road of a new user, on a fresh minimal Debian 12.
#
# Usage (as root, on Debian with debootstrap and git):
#   scripts/fresh-debian-check.sh [BRANCH] [WORKDIR]
#
# Makes a minimal Debian 12 (debootstrap --variant=minbase bookworm) in
# WORKDIR/root, clones BRANCH (default: the current one) of this repository
# into it, and inside it, as root the way CI does: runs the README's test
# command ./run-tests, installs the package it built with
# `apt-get install ./build/pelmaric_*.deb`, starts /usr/games/pelmaric as an
# ordinary user from that user's home folder under Xvfb with SDL's disk audio
# driver (music, an explosion after a launch key, Esc), removes the package
# and checks that none of its files remain. Prints the package's size and
# installed size, lintian's and appstreamcli's reports and the measured
# music level. Takes long (a Debian system and two builds on a small
# machine); the log is WORKDIR/check.log. Exit status 0 when every step held.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
branch=${1:-$(git -C "$top" rev-parse --abbrev-ref HEAD)}
work=${2:-/var/tmp/pelmaric-fresh-debian}
root="$work/root"
log="$work/check.log"
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-debian-check.sh: run as root (debootstrap and chroot need it)" >&2
    exit 1
fi
for tool in debootstrap git; do
    command -v "$tool" >/dev/null || { echo "fresh-debian-check.sh: $tool is missing: apt-get install $tool" >&2; exit 1; }
done

mounted=()
cleanup() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
bind() {
    mkdir -p "$root$1"
    mount --bind "$1" "$root$1"
    mounted+=("$root$1")
}

mkdir -p "$work"
exec > >(tee "$log") 2>&1
echo "== $(date -u +%FT%TZ) fresh Debian 12 check of branch $branch"

if [ ! -x "$root/usr/bin/apt-get" ]; then
    rm -rf "$root"
    debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
cat > "$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/proc" "$root/sys"
mount -t proc proc "$root/proc"; mounted+=("$root/proc")
mount -t sysfs sys "$root/sys"; mounted+=("$root/sys")
bind /dev
bind /dev/pts
mkdir -p "$root/tmp/.X11-unix" && chmod 1777 "$root/tmp" "$root/tmp/.X11-unix"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
                HOME=/root LANG=C.UTF-8 "$@"; }

# A clean clone, readable by the player's account too.
rm -rf "$root/srv/pelmaric"
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
echo "== the package: $deb, $(stat -c %s "$root/srv/pelmaric/build/$deb") bytes"
in_root dpkg-deb -f "/srv/pelmaric/build/$deb" Installed-Size Depends
echo "== lintian --display-info --display-experimental --pedantic"
in_root lintian --display-info --display-experimental --pedantic "/srv/pelmaric/build/$deb" || true

echo "== apt-get install ./build/$deb"
in_root /bin/sh -c "cd /srv/pelmaric && DEBIAN_FRONTEND=noninteractive apt-get install -y ./build/$deb"
in_root dpkg-query -W -f='installed: ${Package} ${Version}, ${Installed-Size} KiB\n' pelmaric
echo "== appstreamcli validate --no-net --pedantic"
in_root appstreamcli validate --no-net --pedantic /usr/share/metainfo/*.metainfo.xml
echo "== desktop-file-validate"
in_root desktop-file-validate /usr/share/applications/*.desktop && echo "(no complaint)"

echo "== /usr/games/pelmaric from a new player's home folder"
in_root /bin/sh -c 'id player >/dev/null 2>&1 || useradd --create-home player'
in_root setpriv --reuid=player --regid=player --init-groups /usr/bin/env HOME=/home/player \
    /usr/bin/python3 /srv/pelmaric/tests/install/test_install.py played_from_home --installed /usr \
    --build /srv/pelmaric/build --id "$(sed -n 's/^set(PELMARIC_ID \(.*\))$/\1/p' "$top/packaging/packaging.cmake")" \
    --version "$(in_root /usr/games/pelmaric --version | cut -d' ' -f2)" --find-sound /srv/pelmaric/build/find_sound

echo "== apt-get remove pelmaric"
in_root dpkg-query -L pelmaric > "$work/files.txt"
in_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y pelmaric
left=0
while read -r path; do
    # Shared folders such as /usr/share/icons stay; every file and every
    # folder of the game's own must be gone.
    if [ -e "$root$path" ] && { [ ! -d "$root$path" ] || [[ "$path" == */pelmaric ]]; }; then
        echo "left behind: $path"
        left=1
    fi
done < "$work/files.txt"
[ $left -eq 0 ] || { echo "== FAIL: files remain after apt-get remove"; exit 1; }
echo "== none of the package's $(wc -l < "$work/files.txt") paths remain"
if [ $failed -ne 0 ]; then
    echo "== $(date -u +%FT%TZ) FAIL: ./run-tests failed (see above); the package's steps held"
    exit 1
fi
echo "== $(date -u +%FT%TZ) every step held"
