#!/bin/bash
# with_xvfb.sh -- runs one command inside a private Xvfb (1024x768x24) and ends the server after it.
#
# Usage: [XVFB_SCREEN=WxHxD] tests/x11/with_xvfb.sh COMMAND [ARGS...]
# XVFB_SCREEN gives another screen, such as 3840x2160x24. The command sees
# DISPLAY set to the new server, silent SDL audio and no session bus; its exit
# status is the script's. The server is started as every window test starts
# it, by tests/lib/xsession.py.
PYTHONPATH="$(cd "$(dirname "$0")/.." && pwd)" exec /usr/bin/python3 -m lib.xsession ${XVFB_SCREEN:+--screen "$XVFB_SCREEN"} "$@"
