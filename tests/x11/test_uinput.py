"""test_uinput.py -- a real kernel game pad (uinput, made with python3-evdev) plays the real game under Xvfb.

Usage: /usr/bin/python3 test_uinput.py pad PELMARIC_BINARY
Where the machine has no /dev/uinput (most containers), or python3-evdev or
unshare is missing, the test says why and skips (status 77). Otherwise it runs
again inside a private mount namespace (unshare -m) and makes a pad the kernel
announces like any USB one: the game, started after it, opens it through SDL,
aims with the mouse, streams interceptors from the right launch point while
East is held, and ends with status 0 on Back and Start.
"""

import os
import subprocess
import sys

sys.dont_write_bytecode = True

from lib.xsession import check, game_session, move_pointer, wait_for_exit, wait_for_shot, wait_until  # noqa: E402
from x11.test_play import LAUNCH_D, LOOK_TIMEOUT, check_stream  # noqa: E402
from lib.harness import Skip, main  # noqa: E402

UNSHARE = "/usr/bin/unshare"
INSIDE = "PELMARIC_UINPUT_NAMESPACE"


def skip_reason():
    if not os.path.exists("/dev/uinput"):
        return "/dev/uinput does not exist here (no uinput module, or a container without the device)"
    if not os.access("/dev/uinput", os.R_OK | os.W_OK):
        return "/dev/uinput is not writable by this user"
    if not os.access(UNSHARE, os.X_OK):
        return f"{UNSHARE} is missing (util-linux)"
    try:
        import evdev  # noqa: F401
    except ImportError:
        return "python3-evdev is missing: install the Debian package python3-evdev"
    return None


def make_pad():
    from evdev import AbsInfo, UInput, ecodes as e
    stick = AbsInfo(value=0, min=-32768, max=32767, fuzz=16, flat=128, resolution=0)
    hat = AbsInfo(value=0, min=-1, max=1, fuzz=0, flat=0, resolution=0)
    capabilities = {
        e.EV_KEY: [e.BTN_SOUTH, e.BTN_EAST, e.BTN_NORTH, e.BTN_WEST, e.BTN_TL, e.BTN_TR,
                   e.BTN_SELECT, e.BTN_START, e.BTN_MODE, e.BTN_THUMBL, e.BTN_THUMBR],
        e.EV_ABS: [(e.ABS_X, stick), (e.ABS_Y, stick), (e.ABS_RX, stick), (e.ABS_RY, stick),
                   (e.ABS_HAT0X, hat), (e.ABS_HAT0Y, hat)],
    }
    return UInput(capabilities, name="Pelmaric uinput test pad", vendor=0x1209, product=0x0001,
                  version=1, bustype=e.BUS_USB)


def press(pad, code, down):
    from evdev import ecodes as e
    pad.write(e.EV_KEY, code, 1 if down else 0)
    pad.syn()


def opened_by(process, node):
    """True when `process` holds the device node `node` open."""
    fds = f"/proc/{process.pid}/fd"
    try:
        return any(os.path.realpath(os.path.join(fds, fd)) == node for fd in os.listdir(fds))
    except OSError:
        return False


def case_pad(binary):
    why = skip_reason()
    if why:
        raise Skip(why)
    if os.environ.get(INSIDE) != "1":
        # The device is made, and its node read, inside a private mount namespace.
        env = dict(os.environ, **{INSIDE: "1"})
        result = subprocess.run([UNSHARE, "-m", "--propagation", "private", sys.executable, *sys.argv], env=env)
        sys.exit(result.returncode)
    from evdev import ecodes as e
    # Without a udev daemon SDL finds the device by watching /dev/input itself.
    os.environ["SDL_JOYSTICK_DISABLE_UDEV"] = "1"
    pad = make_pad()
    try:
        # The kernel announces the device; the game starts after it.
        node = pad.device.path
        check(wait_until(lambda: os.path.exists(node), LOOK_TIMEOUT), f"the pad's node {node} never appeared")
        with game_session(binary) as s:
            aim = (400, 150)
            move_pointer(s, *aim)
            check(wait_until(lambda: opened_by(s.game, node), LOOK_TIMEOUT), f"the game never opened {node}")
            press(pad, e.BTN_EAST, True)
            try:
                check_stream(lambda streaming: wait_for_shot(s, streaming, LOOK_TIMEOUT), LAUNCH_D, aim, "East held")
            finally:
                press(pad, e.BTN_EAST, False)
            press(pad, e.BTN_SELECT, True)
            press(pad, e.BTN_START, True)
            status = wait_for_exit(s, 15.0)
            check(status == 0, f"Back and Start: the game's status is {status}: {s.stderr_text()}")
    finally:
        pad.close()


if __name__ == "__main__":
    sys.exit(main({"pad": case_pad}, "PELMARIC_BINARY"))
