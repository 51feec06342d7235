#!/bin/bash
# with_xvfb.sh -- runs one command inside a private Xvfb (1024x768x24) and ends the server after it.
#
# Usage: [XVFB_SCREEN=WxHxD] tests/x11/with_xvfb.sh COMMAND [ARGS...]
# XVFB_SCREEN gives another screen, such as 3840x2160x24.
# The command sees DISPLAY set to the new server, silent SDL audio and no
# session bus; its exit status is the script's. Xvfb picks a free display
# number itself, so several of these can run side by side.
set -u

if [ ! -x /usr/bin/Xvfb ]; then
    echo "with_xvfb.sh: Xvfb is missing: install the Debian package xvfb" >&2
    exit 1
fi
if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

workdir=$(mktemp -d /tmp/pelmaric-xvfb.XXXXXX)
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid"
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT

mkfifo "$workdir/displayfd"
/usr/bin/Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
    3>"$workdir/displayfd" >"$workdir/xvfb.log" 2>&1 </dev/null &
xvfb_pid=$!
# Xvfb writes its display number once it accepts clients.
if ! read -r -t 30 number <"$workdir/displayfd" || [ -z "$number" ]; then
    echo "with_xvfb.sh: Xvfb did not start:" >&2
    cat "$workdir/xvfb.log" >&2
    exit 1
fi

unset WAYLAND_DISPLAY SDL_VIDEODRIVER
DISPLAY=":$number" SDL_AUDIODRIVER=dummy DBUS_SESSION_BUS_ADDRESS=disabled: "$@"
