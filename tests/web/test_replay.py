"""test_replay.py -- kept games in the browser: kept, downloaded, watched again, and a native recording played.

Usage: /usr/bin/python3 test_replay.py CASE SITE_FOLDER
(PELMARIC_SIM names the native runner; the WebAssembly runner is pelmaric-sim.js beside
SITE_FOLDER.) Each case opens its own headless Chromium.
"""

import glob
import os
import sys
import time

sys.dont_write_bytecode = True

from lib.browser import (LOOK_TIMEOUT, START_TIMEOUT, check, move_mouse, page_session, press_key,  # noqa: E402
                     site_folder, wait_until, work_folder)
from lib.harness import main, run  # noqa: E402

PLAY_SECONDS = 4.0


def runners(site):
    native = os.environ.get("PELMARIC_SIM", "")
    check(os.access(native, os.X_OK), f"PELMARIC_SIM does not name the runner: {native!r}")
    wasm = os.path.join(os.path.dirname(os.path.abspath(site)), "pelmaric-sim.js")
    check(os.path.exists(wasm), f"no WebAssembly runner at {wasm}")
    return {"native": [native], "WebAssembly": ["node", "--no-experimental-fetch", wasm]}


def verify_everywhere(site, replay):
    """Both runners verify `replay`."""
    for name, command in runners(site).items():
        done = run(command + ["--input", replay, "--verify"])
        check(done.returncode == 0 and done.stdout == "matched\n",
              f"the {name} runner: status {done.returncode}, {done.stdout!r} {done.stderr!r}")


def click(p, selector):
    box = p.js(f"const r = document.querySelector('{selector}').getBoundingClientRect();"
               "return [r.left + r.width / 2, r.top + r.height / 2];")
    for kind in ("mousePressed", "mouseReleased"):
        p.driver.execute_cdp_cmd("Input.dispatchMouseEvent",
                                 {"type": kind, "x": box[0], "y": box[1], "button": "left", "clickCount": 1})


def replay_view(p, name):
    return p.js(f"return window.pelmaricReplay.{name};")


def watch_to_the_end(p):
    """Starts the replay the start screen offers with a key and waits for its verdict."""
    check(wait_until(lambda: p.js("return document.body.dataset.state === 'ready';") and
                     replay_view(p, "watching"), START_TIMEOUT),
          f"no replay waits on the start screen: {p.js('return document.body.innerText;')!r}")
    press_key(p, "q")
    check(wait_until(lambda: p.counter("state") == "ended", LOOK_TIMEOUT + 60),
          f"the replay did not end; state {p.counter('state')}, frames {p.counter('frames')}")
    return replay_view(p, "verdict")


def native_recording(site, folder):
    """A recording as the desktop game writes one, made with the native runner: its inputs, and
    the digest of the state the runner writes after them (64-bit FNV-1a)."""
    native = runners(site)["native"][0]
    events = ["2 move 400.5 250", "9 keydown 65", "30 move 120 300", "31 keydown 83", "80 keydown 68",
              "200 music-done", "320 keydown 27", "320 keypress 27"]
    script = os.path.join(folder, "script.txt")
    state = os.path.join(folder, "state.json")
    with open(script, "w") as f:
        f.write("\n".join(events) + "\n")
    done = run([native, "--seed", "12345", "--frames", "320", "--input", script, "--state", state])
    check(done.returncode == 0, done.stderr)
    digest = 14695981039346656037
    with open(state, "rb") as f:
        for byte in f.read():
            digest = ((digest ^ byte) * 1099511628211) & (2 ** 64 - 1)
    version = os.environ.get("PELMARIC_VERSION", "")
    check(version, "PELMARIC_VERSION does not give the game's version")
    replay = os.path.join(folder, "native.replay")
    with open(replay, "w") as f:
        f.write(f"# pelmaric replay 1\n# version {version}\n# seed 12345\n# size 800x600\n" + "\n".join(events) +
                f"\n# frames 320\n# digest {digest:016x}\n")
    return replay


def case_kept(site):
    """A game played in the page and ended with Esc is kept: the end screen offers Watch again
    and Download; the download verifies in the native and the WebAssembly runner; Watch again
    reloads the page and plays it to "matched"."""
    with work_folder("pelmaric-web-replay-") as folder, page_session(site) as p:
        p.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": folder})
        started = time.monotonic()
        step = 0
        while time.monotonic() - started < PLAY_SECONDS:
            move_mouse(p, 100 + 90 * (step % 7), 100 + 45 * (step % 5))
            press_key(p, "asd"[step % 3])
            time.sleep(0.1)
            step += 1
        press_key(p, "Escape")
        check(wait_until(lambda: p.counter("stopped"), LOOK_TIMEOUT), "Esc did not end the game")
        check(wait_until(lambda: replay_view(p, "kept"), LOOK_TIMEOUT), "no game was kept")
        shown = p.js("return ['watch-again', 'download'].map(id => !document.getElementById(id).hidden);")
        check(shown == [True, True], f"the end screen's Watch again and Download show: {shown}")
        stored = p.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const open = indexedDB.open('pelmaric');
            open.onsuccess = () => {
                const keys = open.result.transaction('games').objectStore('games').getAllKeys();
                keys.onsuccess = () => done(keys.result);
            };
            open.onerror = () => done(null);
        """)
        check(stored == [replay_view(p, "kept")], f"IndexedDB holds {stored}, not the kept game")

        click(p, "#download")
        files = wait_until(lambda: [f for f in glob.glob(os.path.join(folder, "*.replay"))], LOOK_TIMEOUT)
        check(files, f"no download in {folder}: {os.listdir(folder)}")
        replay = files[0]
        with open(replay) as f:
            lines = f.read().splitlines()
        frames = int(lines[-2].split()[2])
        check(frames > 128 and lines[-4:-2] == [f"{frames} keydown 27", f"{frames} keypress 27"],
              f"the download holds {frames} frames and ends {lines[-4:]}")
        verify_everywhere(site, replay)
        print(f"kept and downloaded {os.path.basename(replay)}: {frames} frames, {os.path.getsize(replay)} bytes,"
              " verified by both runners")

        click(p, "#watch-again")
        verdict = watch_to_the_end(p)
        check(verdict == "matched", f"Watch again: the verdict is {verdict!r}")
        text = p.js("return document.getElementById('verdict').innerText;")
        check("matched" in text, f"the end screen says {text!r}")
        print("watched again: matched")


def case_native(site):
    """A native recording opened with the file button plays in the page and matches; the
    WebAssembly runner verifies it too; one dropped on the page that another version made is
    refused with its reason, and the next gesture starts a new game instead."""
    with work_folder("pelmaric-web-replay-") as folder:
        replay = native_recording(site, folder)
        verify_everywhere(site, replay)
        with page_session(site, start=False, wait_for_frames=False) as p:
            check(wait_until(lambda: p.js("return document.body.dataset.state === 'ready';"), START_TIMEOUT),
                  "the start screen was not ready")
            p.driver.find_element("id", "replay-file").send_keys(replay)
            verdict = watch_to_the_end(p)
            check(verdict == "matched", f"the native recording's verdict is {verdict!r}")
            check(p.counter("frames") == 320, f"the page ran {p.counter('frames')} frames, not 320")
            print("native recording opened with the file button: matched, 320 frames")

        with open(replay) as f:
            foreign = f.read().replace("# version ", "# version 0.")
        with page_session(site, start=False, wait_for_frames=False) as p:
            check(wait_until(lambda: p.js("return document.body.dataset.state === 'ready';"), START_TIMEOUT),
                  "the start screen was not ready")
            p.js("""
                const data = new DataTransfer();
                data.items.add(new File([arguments[0]], 'foreign.replay'));
                window.dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true, cancelable: true}));
            """, foreign)
            check(wait_until(lambda: replay_view(p, "refusal"), LOOK_TIMEOUT), "the foreign replay was not refused")
            note = p.js("return document.getElementById('replay-note').innerText;")
            check("cannot be played: recorded by Pelmaric 0." in note, f"the start screen says {note!r}")
            press_key(p, "q")
            check(wait_until(lambda: (p.counter("frames") or 0) > 10, START_TIMEOUT) and
                  not replay_view(p, "watching") and replay_view(p, "verdict") == "",
                  f"after the refusal a key gave state {p.counter('state')}")
            print(f"foreign replay dropped: {note}")


CASES = {"kept": case_kept, "native": case_native}

if __name__ == "__main__":
    sys.exit(main(CASES, "SITE_FOLDER", site_folder))
