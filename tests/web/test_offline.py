"""test_offline.py -- the offline copy against a server the test controls: bad files, deploys, two tabs, bytes, quota.

Usage: /usr/bin/python3 tests/web/test_offline.py CASE SITE_FOLDER   (CASE all runs each)

The server serves one build's folder at a time and can switch to another
(a deploy), damage a file from its Nth request on, and counts every byte it
sends. A second build is the first with a changed effect and a WebAssembly
file grown by a custom section, both rewritten by service_worker.cmake as a
rebuild would. Each cache is checked file by file against the builds'
digests: a cache is whole when it holds exactly one build's files, each right.
"""

import os
import re
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True

from lib.browser import (LOOK_TIMEOUT, START_TIMEOUT, QuietHandler, check, move_mouse, page_session,  # noqa: E402
                     press_key, site_folder, start_game, wait_until, work_folder)
from lib.harness import main  # noqa: E402

TOP = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
AUTOPLAY = ["--autoplay-policy=no-user-gesture-required"]


def make_builds(site, folder):
    """Two builds of the page in folder/1 and folder/2; returns their folders."""
    one, two = os.path.join(folder, "1"), os.path.join(folder, "2")
    shutil.copytree(site, one)
    shutil.copytree(site, two)
    shutil.copyfile(os.path.join(two, "poof.wav"), os.path.join(two, "ex2.wav"))
    name = b"build-2"
    with open(os.path.join(two, "pelmaric.wasm"), "ab") as f:
        f.write(bytes([0, 1 + len(name) + 4, len(name)]) + name + b"\0\0\0\0")
    for build in (one, two):
        subprocess.run(["cmake", f"-DSITE={build}", "-DVERSION=test", "-P",
                        f"{TOP}/platform/web/service_worker.cmake"], check=True)
    # Deployed a minute later: a server's Last-Modified counts whole seconds.
    later = time.time() + 60
    for d, _, names in os.walk(two):
        for name in names:
            os.utime(os.path.join(d, name), (later, later))
    return one, two


def files_of(build):
    """A build's files as its worker lists them: address -> SHA-256."""
    text = open(os.path.join(build, "service-worker.js")).read()
    return dict(re.findall(r"url: '([^']*)', sha256: '([0-9a-f]{64})'", text))


class Server:
    """What the test controls: the folder served, damage by path, and the counts."""

    def __init__(self, site):
        self.site = site
        self.damage = {}          # path -> (from which request, bytes -> bytes)
        self.requests = {}        # path -> requests seen
        self.bytes = 0            # every byte sent, headers included
        self.deploy_on = None     # (path, folder): switch to folder once path is served

    def handler(self):
        server = self

        class Counted:
            def __init__(self, out):
                self.out = out

            def write(self, data):
                server.bytes += len(data)
                return self.out.write(data)

            def __getattr__(self, name):
                return getattr(self.out, name)

        class Handler(QuietHandler):
            def setup(self):
                super().setup()
                self.wfile = Counted(self.wfile)

            def translate_path(self, path):
                self.directory = server.site
                return super().translate_path(path)

            def send_head(self):
                path = self.path.split("?")[0]
                server.requests[path] = server.requests.get(path, 0) + 1
                rule = server.damage.get(path)
                if rule and server.requests[path] >= rule[0]:
                    return self.send_bytes(rule[1](open(self.translate_path(path), "rb").read()))
                answer = super().send_head()
                if server.deploy_on and server.deploy_on[0] == path:
                    server.site, server.deploy_on = server.deploy_on[1], None
                return answer

            def send_bytes(self, data):
                import io
                self.send_response(200)
                self.send_header("Content-Type", self.guess_type(self.path.split("?")[0]))
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                return io.BytesIO(data)

        return Handler


def run_async(p, script):
    return p.driver.execute_async_script("const done = arguments[arguments.length - 1];" + script)


def caches_held(p):
    """Every pelmaric cache: name -> {address relative to the page: SHA-256 of the bytes held}."""
    return run_async(p, """
        const hex = b => Array.from(new Uint8Array(b), x => x.toString(16).padStart(2, '0')).join('');
        (async () => {
            const out = {};
            for (const name of (await caches.keys()).filter(n => n.startsWith('pelmaric-'))) {
                const cache = await caches.open(name);
                out[name] = {};
                for (const request of await cache.keys()) {
                    const bytes = await (await cache.match(request)).arrayBuffer();
                    const url = request.url.startsWith(location.origin + '/') ? request.url.slice(location.origin.length + 1) : request.url;
                    out[name][url || './'] = hex(await crypto.subtle.digest('SHA-256', bytes));
                }
            }
            return out;
        })().then(done, e => done(String(e)));""")


def check_caches(p, builds, whole, what):
    """No cache mixes builds or holds a wrong file; with `whole`, exactly one cache, one build's every file."""
    held = caches_held(p)
    check(isinstance(held, dict), f"{what}: the caches could not be read: {held}")
    wanted = [files_of(b) for b in builds]
    for name, entries in held.items():
        check(any(entries.items() <= w.items() for w in wanted),
              f"{what}: cache {name} is not one build's files: {entries}")
    if whole:
        check(len(held) == 1 and any(e == w for e in held.values() for w in wanted),
              f"{what}: not one whole cache: {held}")
    return held


def settled(p):
    """The worker registration as it stands once no install runs: 'active', or 'none'."""
    state = run_async(p, """navigator.serviceWorker.getRegistration().then(r =>
        done(!r ? 'none' : r.installing ? null : r.waiting ? 'waiting' : r.active ? 'active' : 'none'), () => done(null));""")
    return state


def wait_whole(p, builds, what, timeout=90.0):
    ok = wait_until(lambda: settled(p) == "active" and len(caches_held(p) or {}) == 1 and
                    _is_whole(p, builds), timeout, interval=0.5)
    check(ok, f"{what}: no whole cache within {timeout:.0f} s: {caches_held(p)}")


def _is_whole(p, builds):
    held = caches_held(p)
    return isinstance(held, dict) and any(e == files_of(b) for e in held.values() for b in builds)


def plays(p, what):
    start_game(p)
    check(wait_until(lambda: (p.counter("frames") or 0) > 10, START_TIMEOUT), f"{what}: the game does not run")


def reload(p):
    p.driver.get(p.url)


def go_offline(p, offline):
    p.driver.execute_cdp_cmd("Network.enable", {})
    p.driver.execute_cdp_cmd("Network.emulateNetworkConditions", {
        "offline": offline, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})


def failure_line(p):
    return p.js("const e = document.getElementById('failed'); return e.hidden ? null : e.innerText;")


def case_truncated_wasm(site):
    """The worker's install meets a half pelmaric.wasm: nothing installs, no cache stays; the
    mended server's next load plays, and offline after it."""
    with work_folder("pelmaric-offline-") as folder:
        one, _ = make_builds(site, folder)
        server = Server(one)
        server.damage["/pelmaric.wasm"] = (2, lambda data: data[:len(data) // 2])   # the page's own load is whole
        with page_session(one, handler=server.handler(), screen="laptop") as p:
            check(wait_until(lambda: server.requests.get("/pelmaric.wasm", 0) >= 2 and settled(p) == "none", 60.0),
                  f"the install did not end: requests {server.requests}, registration {settled(p)}")
            held = caches_held(p)
            check(held == {}, f"a failed install left caches: {held}")
            check((p.counter("frames") or 0) > 0, "the page stopped playing")
            del server.damage["/pelmaric.wasm"]
            reload(p)
            plays(p, "the mended server's load")
            wait_whole(p, [one], "after mending")
            go_offline(p, True)
            reload(p)
            plays(p, "offline after mending")
            print(f"truncated wasm: no install, no cache; mended: one whole cache {list(caches_held(p))}, offline play")


def corrupt(p, name, data):
    """Puts `data` in every cache in place of the file `name` (at its build's address)."""
    return run_async(p, """(async () => {
        const url = new URL(window.pelmaricFiles[arguments[0]].url, location.href).href;
        for (const name of await caches.keys())
            await (await caches.open(name)).put(url, new Response(arguments[1], {headers: {'Content-Type': 'application/wasm'}}));
        return url;
    })().then(done, e => done(String(e)));""".replace("arguments[0]", repr(name)).replace("arguments[1]", repr(data)))


def case_bad_cache(site):
    """A damaged cache entry is replaced at the next load; a damaged entry the network cannot
    replace (a deploy came between) makes the page start over from the network and play the new
    build; and when the network's file is bad too, the page says so in one line."""
    with work_folder("pelmaric-offline-") as folder:
        one, two = make_builds(site, folder)
        server = Server(one)
        with page_session(one, handler=server.handler(), screen="laptop") as p:
            wait_whole(p, [one], "first visit")
            corrupt(p, "pelmaric.wasm", "garbage")
            reload(p)
            plays(p, "with a damaged wasm in the cache")
            wait_whole(p, [one], "after the damaged entry's load")

            corrupt(p, "pelmaric.wasm", "garbage")
            server.site = two
            p.driver.execute_cdp_cmd("Network.clearBrowserCache", {})   # else it would mend the entry
            reload(p)
            plays(p, "after a deploy with a damaged wasm in the cache")
            wasm = p.js("return window.pelmaricFiles['pelmaric.wasm'].url;")
            check(wasm == [u for u in files_of(two) if u.startswith("pelmaric.wasm")][0],
                  f"the page did not start over with the new build: {wasm}")
            wait_whole(p, [two], "after starting over")

            corrupt(p, "pelmaric.wasm", "garbage")
            server.damage["/pelmaric.wasm"] = (1, lambda data: b"this is not WebAssembly" * 100)
            p.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
            reload(p)
            line = wait_until(lambda: failure_line(p), LOOK_TIMEOUT)
            check(line and "pelmaric.wasm" in line and "network either" in line and "\n" not in line.strip(),
                  f"with the network's file bad too the page says {line!r}")
            del server.damage["/pelmaric.wasm"]
            reload(p)
            plays(p, "once the server is mended")
            print(f"bad cache: replaced; started over on build 2; then {line!r}; then played again")


def case_deploy_during_install(site):
    """A deploy lands while the worker installs: no cache ever holds two builds' files, and the
    next load installs the new build whole."""
    with work_folder("pelmaric-offline-") as folder:
        one, two = make_builds(site, folder)
        server = Server(one)
        server.deploy_on = ("/service-worker.js", two)
        with page_session(one, handler=server.handler(), screen="laptop") as p:
            check(wait_until(lambda: server.deploy_on is None and settled(p) in ("none", "active"), 60.0),
                  f"the install did not end: {settled(p)}")
            check_caches(p, [one, two], False, "after the install that met the deploy")
            check((p.counter("frames") or 0) > 0, "the page stopped playing")
            reload(p)
            plays(p, "the next load")
            wait_whole(p, [two], "the next load")
            check_caches(p, [one, two], True, "the next load")
            print(f"deploy during install: caches never mixed; then {list(caches_held(p))}")


def launch_until_effect(p, what):
    move_mouse(p, 400, 300)
    press_key(p, "s")
    check(wait_until(lambda: p.counter("effectStartsByFile").get("ex2.wav", 0) >= 1, LOOK_TIMEOUT),
          f"{what}: no explosion sound: {p.counter('effectStartsByFile')}")
    return p.js("return performance.getEntriesByType('resource').map(e => e.name)"
                ".filter(n => n.split('?')[0].endsWith('/ex2.wav')).map(n => n.split('/').pop());")


def case_two_tabs(site):
    """Tab A plays build 1 while tab B takes build 2 (deployed meanwhile, the server has no
    build 1 any more): each hears its own build's explosion and plays to its end; once A is
    closed, build 1's cache goes."""
    with work_folder("pelmaric-offline-") as folder:
        one, two = make_builds(site, folder)
        server = Server(one)
        with page_session(one, extra_flags=AUTOPLAY, handler=server.handler(), screen="laptop") as p:
            wait_whole(p, [one], "tab A's first visit")
            tab_a = p.driver.current_window_handle
            p.driver.switch_to.new_window("tab")
            reload(p)
            check(wait_until(lambda: p.counter("state") == "ready", START_TIMEOUT), "tab B did not open")
            server.site = two
            reload(p)   # tab B asks for the new build, which takes over from its start screen
            check(wait_until(lambda: settled(p) == "active" and
                             p.js("return !!window.pelmaricFiles && window.pelmaricFiles['ex2.wav'].url") ==
                             [u for u in files_of(two) if u.startswith("ex2.wav")][0], 90.0, interval=0.5),
                  f"tab B did not take build 2: {caches_held(p)}")
            plays(p, "tab B")
            heard_b = launch_until_effect(p, "tab B")
            p.driver.switch_to.window(tab_a)
            # Tab A paused when tab B came in front; its player plays on.
            if p.counter("paused"):
                press_key(p, "p")
            check(wait_until(lambda: not p.counter("paused"), LOOK_TIMEOUT), "tab A did not play on")
            heard_a = launch_until_effect(p, "tab A")
            check(all(n in files_of(one) for n in heard_a) and all(n in files_of(two) for n in heard_b),
                  f"a tab heard another build's explosion: A {heard_a}, B {heard_b}")
            check(len(caches_held(p)) == 2, f"build 1's cache went while tab A plays it: {caches_held(p)}")
            for tab in (tab_a, [h for h in p.driver.window_handles if h != tab_a][0]):
                p.driver.switch_to.window(tab)
                press_key(p, "Escape")
                check(wait_until(lambda: p.counter("stopped"), LOOK_TIMEOUT), "Esc did not end a tab's game")
            p.driver.switch_to.window(tab_a)
            p.driver.close()
            p.driver.switch_to.window(p.driver.window_handles[0])
            reload(p)
            check(wait_until(lambda: len(caches_held(p) or {}) == 1, 30.0, interval=0.5),
                  f"build 1's cache stayed after its tab closed: {caches_held(p)}")
            check_caches(p, [two], True, "after tab A closed")
            print(f"two tabs: A heard {heard_a}, B heard {heard_b}; build 1's cache went with A")


def case_first_visit_bytes(site):
    """A first visit, its sounds and the worker's install included, sends each file once:
    at most 1.05 times the sum of the site's files over the network."""
    with work_folder("pelmaric-offline-") as folder:
        one, _ = make_builds(site, folder)
        server = Server(one)
        with page_session(one, extra_flags=AUTOPLAY, handler=server.handler(), screen="laptop") as p:
            for key in ("a", "s", "d"):
                move_mouse(p, 400, 200)
                press_key(p, key)
            check(wait_until(lambda: p.counter("musicPlays") >= 1, LOOK_TIMEOUT), "no music")
            wait_whole(p, [one], "first visit")
            total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(one) for f in fs)
            sent = server.bytes
            print(f"first visit: {sent:,} bytes sent for {total:,} bytes of files ({sent / total:.3f} times); "
                  f"by file {p.sent}")
            check(sent <= 1.05 * total, f"the first visit sent {sent:,} bytes, {sent / total:.2f} times the files")


def case_small_quota(site):
    """Storage for one build and not two: after a deploy the page keeps playing and one whole
    cache stays."""
    with work_folder("pelmaric-offline-") as folder:
        one, two = make_builds(site, folder)
        server = Server(one)
        total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(one) for f in fs)
        with page_session(one, handler=server.handler(), screen="laptop", start=False, wait_for_frames=False) as p:
            p.driver.execute_cdp_cmd("Storage.overrideQuotaForOrigin", {
                "origin": p.base.rstrip("/"), "quotaSize": int(total * 1.5)})
            reload(p)
            plays(p, "first visit")
            wait_whole(p, [one], "first visit")
            requests = server.requests.get("/pelmaric.wasm", 0)
            server.site = two
            reload(p)
            plays(p, "after the deploy")
            # The new build's install fetches its changed files, then ends one way or the other.
            check(wait_until(lambda: server.requests.get("/pelmaric.wasm", 0) > requests and
                             settled(p) in ("active", "none") and len(caches_held(p) or {}) <= 1, 60.0, interval=0.5),
                  f"the new build's install did not end: {settled(p)}, {caches_held(p)}")
            held = check_caches(p, [one, two], True, "under the small quota")
            reload(p)
            plays(p, "reloaded under the small quota")
            print(f"small quota ({int(total * 1.5):,} bytes): the page plays, one whole cache {list(held)}")


CASES = {"truncated_wasm": case_truncated_wasm, "bad_cache": case_bad_cache,
         "deploy_during_install": case_deploy_during_install, "two_tabs": case_two_tabs,
         "first_visit_bytes": case_first_visit_bytes, "small_quota": case_small_quota}

if __name__ == "__main__":
    sys.exit(main(CASES, "SITE_FOLDER", site_folder))
