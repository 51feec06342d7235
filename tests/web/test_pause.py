"""test_pause.py -- the page's pause, sound switch, end and play again, from keys, touch and a gamepad.

Usage: /usr/bin/python3 test_pause.py CASE SITE_FOLDER
Each case opens its own headless Chromium on SITE_FOLDER (build-web/site);
exit status 0 when the case holds.
"""

import sys
import time

sys.dont_write_bytecode = True

from lib.browser import LOOK_TIMEOUT, START_TIMEOUT, check, page_session, press_key, site_folder, wait_until  # noqa: E402
from web.test_devices import AUTOPLAY, GAMEPADS, centre_of, frames_pass, tap  # noqa: E402
from lib.harness import main  # noqa: E402

# A browser's autoplay rule, which headless Chromium does not apply by itself: audio
# starts only once the page has had a gesture (a pad's button is none).
HELD_BACK = """
const RealContext = window.AudioContext;
window.AudioContext = class extends RealContext {
    constructor(options) {
        super(options);
        if (!navigator.userActivation.hasBeenActive)
            super.suspend();
    }
    resume() { return navigator.userActivation.hasBeenActive ? super.resume() : Promise.resolve(); }
};
"""

# The game runs 64 frames a second: a pause asked for stops it within one second's frames.
FRAMES_A_SECOND = 64


def check_stopped(p, what, frames_when_asked):
    """The page shows its pause screen with the sound suspended, and no frame runs."""
    check(wait_until(lambda: p.counter("paused") and p.counter("audioState") == "suspended", LOOK_TIMEOUT),
          f"{what}: paused {p.counter('paused')}, audio {p.counter('audioState')}")
    check(p.js("return !document.getElementById('paused').hidden;"), f"{what}: no pause screen")
    stopped_at = p.counter("frames")
    time.sleep(1.0)
    check(p.counter("frames") == stopped_at, f"{what}: frames still run under the pause screen")
    check(stopped_at - frames_when_asked <= FRAMES_A_SECOND,
          f"{what}: {stopped_at - frames_when_asked} frames ran after the pause was asked for")


def check_plays_on(p, what):
    first = p.counter("frames")
    check(wait_until(lambda: p.counter("frames") > first + 10, LOOK_TIMEOUT), f"{what}: the game did not play on")
    check(not p.counter("paused") and p.js("return document.getElementById('paused').hidden;"),
          f"{what}: the pause screen stays")


def case_hidden(site):
    """Another tab in front (visibilitychange) pauses the game and its sound; coming back does
    not play on, the pause screen's button does. P pauses and plays on too; M and the sound
    button switch the sound."""
    with page_session(site, extra_flags=AUTOPLAY) as p:
        check(wait_until(lambda: p.counter("audioState") == "running", LOOK_TIMEOUT), "no audio")
        asked = p.counter("frames")
        p.js("Object.defineProperty(document, 'hidden', {value: true, configurable: true});"
             "Object.defineProperty(document, 'visibilityState', {value: 'hidden', configurable: true});"
             "document.dispatchEvent(new Event('visibilitychange'));")
        check_stopped(p, "hidden", asked)
        p.js("delete document.hidden; delete document.visibilityState;"
             "document.dispatchEvent(new Event('visibilitychange'));")
        time.sleep(0.5)
        check(p.counter("paused"), "the page seen again played on by itself")
        p.js("document.getElementById('playon').click();")
        check_plays_on(p, "Play on")
        check(wait_until(lambda: p.counter("audioState") == "running", LOOK_TIMEOUT), "the sound did not go on")
        asked = p.counter("frames")
        press_key(p, "p")
        check_stopped(p, "P", asked)
        press_key(p, "a")      # no launch while paused: the game hears no key
        press_key(p, "p")
        check_plays_on(p, "P in the pause")
        # M and the sound button turn all sound off and on.
        for switch in (lambda: press_key(p, "m"), lambda: p.js("document.getElementById('sound').click();")):
            switch()
            check(wait_until(lambda: not p.counter("soundOn") and p.counter("outputGain") < 0.001, LOOK_TIMEOUT),
                  f"the sound stays on: gain {p.counter('outputGain')}")
            check(p.js("return document.getElementById('sound').textContent;") == "Sound on", "the button does not say so")
            switch()
            check(wait_until(lambda: p.counter("soundOn") and p.counter("outputGain") > 0.999, LOOK_TIMEOUT),
                  "the sound did not come back")
        print("visibilitychange and P pause the frames and the sound; Play on and P play on; M and the button switch the sound")


def case_touch(site):
    """On a phone: the pause button pauses, a tap on the pause screen plays on; End game ends it
    as Esc does; Play again starts anew."""
    with page_session(site, screen="phone-portrait", extra_flags=AUTOPLAY) as p:
        asked = p.counter("frames")
        tap(p, *centre_of(p, "#pause"))
        check_stopped(p, "the pause button", asked)
        tap(p, *centre_of(p, "#paused h1"))
        check_plays_on(p, "a tap on the pause screen")
        check(p.counter("state") == "playing", "a tap ended the game")
        tap(p, *centre_of(p, "#pause"))
        check(wait_until(lambda: p.counter("paused"), LOOK_TIMEOUT), "the pause button did not pause again")
        tap(p, *centre_of(p, "#endgame"))
        check(wait_until(lambda: p.counter("stopped"), LOOK_TIMEOUT), "End game did not end the game")
        check(p.js("return document.getElementById('paused').hidden && !document.getElementById('end').hidden;"),
              "no end screen after End game")
        tap(p, *centre_of(p, "#again"))
        check(wait_until(lambda: p.counter("state") == "ready", START_TIMEOUT), "Play again did not reload the page")
        print("touch: pause, play on, End game, Play again")


def case_gamepad(site):
    """A scripted gamepad: the start screen asks for any button; the game's sound, held back by
    the browser, is said to be and starts with the first key; Start pauses, South plays on, Back +
    Start ends from the pause, and on the end screen South presses Play again."""
    with page_session(site, screen="laptop", start=False, wait_for_frames=False) as p:
        p.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": GAMEPADS + HELD_BACK})
        p.driver.get(p.url)
        check(wait_until(lambda: p.counter("state") == "ready", START_TIMEOUT), "no start screen")
        p.js("setPad([0, 0], []);")
        check(wait_until(lambda: p.js("return !document.getElementById('padgo').hidden;"), LOOK_TIMEOUT),
              "the start screen does not ask a pad for any button")
        p.js("setPad([0, 0], [3]);")
        check(wait_until(lambda: (p.counter("frames") or 0) > 0, START_TIMEOUT), "the pad did not start the game")
        p.js("setPad([0, 0], []);")
        check(wait_until(lambda: p.js("return !document.getElementById('soundheld').hidden;"), LOOK_TIMEOUT),
              f"no word of the sound held back (audio {p.counter('audioState')})")
        press_key(p, "q")
        check(wait_until(lambda: p.counter("audioState") == "running", LOOK_TIMEOUT), "a key did not start the sound")
        check(wait_until(lambda: p.js("return document.getElementById('soundheld').hidden;"), LOOK_TIMEOUT),
              "the line about the held sound stays")
        asked = p.counter("frames")
        p.js("setPad([0, 0], [9]);")
        check_stopped(p, "Start", asked)
        p.js("setPad([0, 0], []);")
        time.sleep(0.3)
        p.js("setPad([0, 0], [0]);")
        check_plays_on(p, "South")
        frames_pass(p, 80)
        p.js("setPad([0, 0], []);")
        frames_pass(p, 2)
        p.js("setPad([0, 0], [9]);")
        check(wait_until(lambda: p.counter("paused"), LOOK_TIMEOUT), "Start did not pause again")
        p.js("setPad([0, 0], [8, 9]);")
        check(wait_until(lambda: p.counter("stopped"), LOOK_TIMEOUT), "Back + Start did not end the game from the pause")
        time.sleep(0.5)
        check(p.counter("state") == "ended", "the Start held from Back + Start pressed Play again")
        p.js("setPad([0, 0], []);")
        time.sleep(0.3)
        p.js("setPad([0, 0], [0]);")
        check(wait_until(lambda: p.counter("state") == "ready", START_TIMEOUT), "South did not press Play again")
        print("gamepad: any button starts, the held sound said and started, Start pauses, South plays on, "
              "Back + Start ends, South plays again")


CASES = {"hidden": case_hidden, "touch": case_touch, "gamepad": case_gamepad}


if __name__ == "__main__":
    sys.exit(main(CASES, parse=site_folder))
