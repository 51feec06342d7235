"""test_replay.py -- every game kept, and watched again: the real game under Xvfb, the runner beside it.

Usage: /usr/bin/python3 test_replay.py CASE PELMARIC_BINARY
(PELMARIC_SIM names the runner.) Each case starts its own Xvfb and game; exit status 0
when the case holds.
"""

import fcntl
import glob
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True

from lib.xsession import (CONVERT, HEIGHT, WIDTH, Session, check, find_window, game_environment,  # noqa: E402
                      game_session, grab_screen, move_pointer, press_key, read_geometry, require_tools,
                      stop_process,
                      wait_for_exit, wait_until, xserver_running)
from lib.harness import main, run, work_folder  # noqa: E402
from lib.runner import sim_path  # noqa: E402
from x11.test_pause import check_paused  # noqa: E402

# How long the played game lasts at least: a few hundred frames at 64 a second.
PLAY_SECONDS = 5.0
END_TIMEOUT = 60.0
# The game's own cap on a replay file.
MAX_BYTES = 64 << 20


def kept_games(state):
    return sorted(glob.glob(os.path.join(state, "pelmaric", "*.replay")))


def play_and_keep(binary, state):
    """Plays a game with the mouse and the launch keys for PLAY_SECONDS, ends it with Esc, and
    returns the one replay it left in `state`/pelmaric."""
    with game_session(binary, env={"XDG_STATE_HOME": state}) as s:
        started = time.monotonic()
        step = 0
        while time.monotonic() - started < PLAY_SECONDS:
            move_pointer(s, 120 + 90 * (step % 7), 120 + 40 * (step % 5))
            press_key(s, "asd"[step % 3])
            step += 1
        press_key(s, "Escape")
        status = wait_for_exit(s, END_TIMEOUT)
        check(status == 0, f"the game ended with status {status} after Esc: {s.stderr_text()}")
        check(s.stderr_text() == "", f"the game said on stderr: {s.stderr_text()!r}")
    games = kept_games(state)
    check(len(games) == 1, f"{len(games)} replays kept, expected one: {games}")
    return games[0]


def recording(path):
    with open(path) as f:
        lines = f.read().splitlines()
    seed = int(lines[2].split()[2])
    frames = int(lines[-2].split()[2])
    return lines, seed, frames


def runner_picture(replay, seed, frames, folder):
    """The runner's picture after `frames` frames of the replay, as RGB bytes."""
    png = os.path.join(folder, "sim.png")
    done = run([sim_path(), "--seed", str(seed), "--frames", str(frames), "--input", replay, "--screenshot", png])
    check(done.returncode == 0, f"the runner failed: {done.stderr}")
    return run([CONVERT, png, "-depth", "8", "rgb:-"], text=False).stdout


def watch_and_hold(binary, replay):
    """Plays `replay` in a window whose standard output is a full pipe: the game stops at its
    verdict, with the last frame it showed still on the screen. Returns (the window's picture as
    RGB bytes, the verdict line, the exit status)."""
    require_tools()
    with xserver_running() as (xserver, workdir):
        read_end, write_end = os.pipe()
        flags = fcntl.fcntl(write_end, fcntl.F_GETFL)
        fcntl.fcntl(write_end, fcntl.F_SETFL, flags | os.O_NONBLOCK)
        filled = 0
        try:
            while True:
                filled += os.write(write_end, b"x" * 4096)
        except BlockingIOError:
            pass
        fcntl.fcntl(write_end, fcntl.F_SETFL, flags)
        with open(os.path.join(workdir, "game.stderr"), "wb") as err:
            game = subprocess.Popen([os.path.abspath(binary), "--replay", replay], stdout=write_end, stderr=err,
                                    stdin=subprocess.DEVNULL, env=game_environment(xserver.display),
                                    cwd=os.path.dirname(os.path.abspath(binary)))
        os.close(write_end)
        try:
            session = Session(xserver, game, workdir)
            find_window(session)
            # The replay plays at the game's pace; its verdict then waits on the full pipe.
            held = wait_until(lambda: wait_for_exit(session, 0.5) is not None or verdict_blocked(game), END_TIMEOUT)
            check(held and game.poll() is None,
                  f"the replay ended (status {game.returncode}) without writing its verdict: "
                  + session.stderr_text())
            picture = grab_screen(session, session.x, session.y, WIDTH, HEIGHT).rgb
            out = b""
            while len(out) < filled or not out.endswith(b"\n"):
                chunk = os.read(read_end, 65536)
                if not chunk:
                    break
                out += chunk
            status = wait_for_exit(session, END_TIMEOUT)
            return picture, out[filled:].decode(errors="replace"), status
        finally:
            os.close(read_end)
            stop_process(game)


def verdict_blocked(game):
    """Whether the game's main thread waits in a write (system call 1 on x86-64 and others
    of its kind) to its standard output, descriptor 1: the full pipe."""
    try:
        with open(f"/proc/{game.pid}/syscall") as f:
            call = f.read().split()
    except OSError:
        return False
    return len(call) > 1 and call[0] == "1" and int(call[1], 16) == 1


def case_kept_and_watched(binary):
    """A game played by xdotool and ended with Esc leaves one replay; the runner verifies it; the
    window plays it again to "matched" with the runner's picture of its last shown frame; a
    replay whose digest is changed plays to a mismatch line and status 1."""
    with work_folder("pelmaric-replay-") as folder:
        replay = play_and_keep(binary, os.path.join(folder, "state"))
        lines, seed, frames = recording(replay)
        check(frames >= 200, f"the replay holds {frames} frames, expected a few hundred")
        check(lines[-4:-2] == [f"{frames} keydown 27", f"{frames} keypress 27"],
              f"the replay does not end with Esc: {lines[-4:]}")
        check(any(" keydown 65" in line for line in lines) and any(" move " in line for line in lines),
              "the replay holds no launch or no mouse move")
        print(f"kept {os.path.basename(replay)}: {frames} frames, {len(lines)} lines, "
              f"{os.path.getsize(replay)} bytes")

        verified = run([sim_path(), "--input", replay, "--verify"])
        check(verified.returncode == 0 and verified.stdout == "matched\n",
              f"pelmaric-sim --verify: status {verified.returncode}, {verified.stdout!r} {verified.stderr!r}")

        picture, verdict, status = watch_and_hold(binary, replay)
        check(verdict == "matched\n" and status == 0, f"the replay said {verdict!r}, status {status}")
        # The Esc frame ends the game before it shows anything: the last picture shown is the
        # frame before's.
        expected = runner_picture(replay, seed, frames - 1, folder)
        wrong = sum(1 for i in range(0, len(expected), 3) if picture[i:i + 3] != expected[i:i + 3])
        check(len(picture) == len(expected) and wrong == 0,
              f"{wrong} pixels of the window differ from the runner's picture at frame {frames - 1}")

        changed = os.path.join(folder, "changed.replay")
        digest = lines[-1].split()[2]
        with open(changed, "w") as f:
            f.write("\n".join(lines[:-1] + ["# digest " + ("0" if digest[0] != "0" else "1") + digest[1:]]) + "\n")
        _, verdict, status = watch_and_hold(binary, changed)
        check(verdict.startswith(f"mismatch: the recording ends at frame {frames} with digest ") and status == 1,
              f"the changed replay said {verdict!r}, status {status}")


def idle_replay(binary, folder, frames):
    """A replay of `frames` idle frames of seed 5 and no Esc, its digest made from the runner's
    own --state (the digest is the 64-bit FNV-1a of that file)."""
    replay = os.path.join(folder, "idle.replay")
    state = os.path.join(folder, "state.json")
    done = run([sim_path(), "--seed", "5", "--frames", str(frames), "--state", state])
    check(done.returncode == 0, done.stderr)
    digest = 14695981039346656037
    with open(state, "rb") as f:
        for byte in f.read():
            digest = ((digest ^ byte) * 1099511628211) & (2 ** 64 - 1)
    version = run([os.path.abspath(binary), "--version"]).stdout.split()[1]
    with open(replay, "w") as f:
        f.write(f"# pelmaric replay 1\n# version {version}\n# seed 5\n# size 800x600\n"
                f"# frames {frames}\n# digest {digest:016x}\n")
    verified = run([sim_path(), "--input", replay, "--verify"])
    check(verified.returncode == 0, f"the runner does not verify it: {verified.stdout} {verified.stderr}")
    return replay


def case_player_ignored(binary):
    """While a replay plays, the player's mouse and launch keys reach nothing (it still matches at
    its end) but P still pauses it and plays on, and F11 still switches fullscreen; Esc ends a
    replay at once, status 0, no verdict."""
    with work_folder("pelmaric-replay-") as folder:
        replay = idle_replay(binary, folder, 1280)
        with game_session(binary, args=("--replay", replay)) as s:
            for step in range(6):
                move_pointer(s, 200 + 50 * step, 150 + 20 * step)
                press_key(s, "asd"[step % 3])
            press_key(s, "p")
            check_paused(s, "P in a replay")
            press_key(s, "p")
            press_key(s, "F11")
            check(wait_until(lambda: read_geometry(s)[2:] == (1024, 768), END_TIMEOUT),
                  f"F11 did not make the replay fullscreen: {read_geometry(s)}")
            status = wait_for_exit(s, END_TIMEOUT)
            with open(os.path.join(s.workdir, "game.stdout")) as f:
                out = f.read()
            check(status == 0 and out == "matched\n", f"status {status}, stdout {out!r}")
        with game_session(binary, args=("--replay", replay)) as s:
            press_key(s, "Escape")
            status = wait_for_exit(s, END_TIMEOUT)
            with open(os.path.join(s.workdir, "game.stdout")) as f:
                out = f.read()
            check(status == 0 and out == "", f"Esc: status {status}, stdout {out!r}")


def case_refused(binary):
    """Truncated, reordered, foreign-version, empty and 100 MB replays, and a folder, are refused
    by the game and the runner with one line saying why, status 2, and no window opened."""
    with work_folder("pelmaric-replay-") as folder:
        version = run([os.path.abspath(binary), "--version"]).stdout.split()[1]
        good = ["# pelmaric replay 1", f"# version {version}", "# seed 1", "# size 800x600",
                "3 move 10 10", "5 keydown 65", "9 keydown 83", "# frames 10", "# digest 0123456789abcdef"]
        cases = {
            "truncated": ("\n".join(good[:6]) + "\n", "truncated"),
            "reordered": ("\n".join(good[:4] + [good[5], good[4]] + good[6:]) + "\n", "frames out of order"),
            "foreign": ("\n".join(good).replace(f"version {version}", "version 0.9.0") + "\n",
                        f"recorded by Pelmaric 0.9.0; this is Pelmaric {version}"),
            "empty": ("", "empty"),
            "huge": (None, "larger than 64 MiB"),
            "folder": (None, "Is a directory"),
            "small": ("\n".join(good).replace("800x600", "640x480") + "\n", "game plays only 800x600"),
        }
        for name, (text, reason) in cases.items():
            path = os.path.join(folder, name)
            if name == "huge":
                with open(path, "wb") as f:
                    f.write(b"\n".join(line.encode() for line in good[:4]) + b"\n")
                    f.write(b"3 move 10 10\n" * (100 * 1000 * 1000 // 13))
            elif name == "folder":
                os.mkdir(path)
            else:
                with open(path, "w") as f:
                    f.write(text)
            # No display at all: a refusal comes before the window would open.
            started = time.monotonic()
            done = run([os.path.abspath(binary), "--replay", path], env=game_environment(None))
            check(done.returncode == 2 and done.stdout == "" and done.stderr.count("\n") == 1 and
                  done.stderr.startswith(f"pelmaric: cannot replay {path}: ") and reason in done.stderr,
                  f"{name}: status {done.returncode}, stderr {done.stderr!r}")
            if name != "small":
                verified = run([sim_path(), "--input", path, "--verify"])
                check(verified.returncode == 2 and reason in verified.stderr,
                      f"{name}, runner: status {verified.returncode}, stderr {verified.stderr!r}")
            print(f"{name}: refused in {time.monotonic() - started:.2f} s: {done.stderr.strip()}")


def case_last_twenty(binary):
    """The state folder keeps the last 20 games: with 25 older ones there, a new game leaves the
    newest 19 of them and itself; files that are not games stay. A state folder that cannot be
    written costs the game nothing but one line on stderr."""
    with work_folder("pelmaric-replay-") as folder:
        state = os.path.join(folder, "state")
        games = os.path.join(state, "pelmaric")
        os.makedirs(games)
        older = [f"2020-01-{day:02d}_10-00-00.replay" for day in range(1, 26)]
        for name in older + ["notes.txt"]:
            with open(os.path.join(games, name), "w") as f:
                f.write("old\n")
        with game_session(binary, env={"XDG_STATE_HOME": state}) as s:
            press_key(s, "Escape")
            check(wait_for_exit(s, END_TIMEOUT) == 0, "the game did not end with status 0")
        left = sorted(os.listdir(games))
        check(left[:19] == older[6:] and len(left) == 21 and left[-1] == "notes.txt" and
              left[19].startswith(time.strftime("%Y-")), f"the folder holds {left}")
        check(not any(name.startswith(".") for name in left), f"a temporary file was left: {left}")

        # A file where the folder should be.
        blocked = os.path.join(folder, "blocked")
        with open(blocked, "w") as f:
            f.write("in the way\n")
        with game_session(binary, env={"XDG_STATE_HOME": blocked}) as s:
            press_key(s, "Escape")
            status = wait_for_exit(s, END_TIMEOUT)
            err = s.stderr_text()
        check(status == 0 and err.count("\n") == 1 and
              err.startswith(f"pelmaric: this game cannot be kept in {blocked}/pelmaric: "),
              f"status {status}, stderr {err!r}")


CASES = {
    "kept_and_watched": case_kept_and_watched,
    "player_ignored": case_player_ignored,
    "refused": case_refused,
    "last_twenty": case_last_twenty,
}

if __name__ == "__main__":
    sys.exit(main(CASES, "PELMARIC_BINARY"))
