"""test_install.py -- Pelmaric installed: layout, launcher, desktop files, and the Debian package.

Usage: test_install.py CASE --build DIR --id ID --version V --find-sound PROGRAM [options]

Cases:
  layout            install under two prefixes (DESTDIR with /usr, and a real
                    install into a home folder's ~/.local with --strip, as the
                    README says); the file list, the effect links and the menu
                    entry's Exec match the layout; --strip strips the program
  menu_entry        installs into folders named with a space, quotes and a $:
                    the menu entry passes desktop-file-validate, GLib loads it,
                    and GLib's launch of it starts the installed game
  png               the installed icons and the runner's screenshots are
                    deflated; the icons decode to the same pixels as those of
                    the writer built without zlib (--stored-icons), and, given
                    --wasm-sim, the screenshots to those of the WebAssembly
                    runner, which writes stored blocks
  reproducible      cpack's time stamps come from SOURCE_DATE_EPOCH, the last
                    commit or the changelog; a second build folder configured
                    alike (--source) packs a byte-identical .deb
  cli               --help and --version with no display, of the program and
                    through the launcher; any other argument starts the game
  validators        desktop-file-validate, appstreamcli, mandoc lint, and the
                    hand-drawn SVG against the generated PNG
  played_from_home  the launcher started from an empty home folder under Xvfb
                    (of a fresh install, or with --installed PREFIX of that one)
                    with SDL's disk audio: music within 5 s, an explosion after
                    a launch key, Esc ends it with status 0; the window's icon
                    and class match the installed icon and menu entry
  own_piece         started in a folder with its own MUSIC4.MID (one short
                    note, then rest), that piece plays, not the installed one
  deb               cpack -G DEB, the control fields, dpkg-deb -c, lintian

Run with /usr/bin/python3 (python3-xlib, python3-gi); needs xvfb, xdotool, imagemagick,
desktop-file-utils, appstream, mandoc, librsvg2-bin, lintian, dpkg-dev.
"""

import argparse
import array
import contextlib
import gzip
import io
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile

import png

sys.dont_write_bytecode = True
import lib.xsession as xs  # noqa: E402
from lib.harness import TestFailure, check, main, run, wait_until, work_folder  # noqa: E402

RATE = 44100              # the rate the game opens the audio device at
EFFECTS = ("ex2.wav", "poof.wav", "exb.wav")
ICON_SIZES = (48, 64, 128, 256)
SOUNDFONT_DEPENDS = "timgm6mb-soundfont | sf2-soundfont-gm | sf3-soundfont-gm"


def no_display_env():
    return {k: v for k, v in os.environ.items()
            if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XAUTHORITY")}


def expected_files(args, prefix):
    """The installed files (and links) relative to the root, as the layout promises."""
    p = prefix.strip("/")
    files = {f"{p}/games/pelmaric", f"{p}/lib/games/pelmaric/pelmaric",
             f"{p}/share/games/pelmaric/MUSIC4.MID",
             f"{p}/share/applications/{args.id}.desktop",
             f"{p}/share/metainfo/{args.id}.metainfo.xml",
             f"{p}/share/man/man6/pelmaric.6.gz",
             f"{p}/share/doc/pelmaric/copyright", f"{p}/share/doc/pelmaric/changelog.gz",
             f"{p}/share/doc/pelmaric/README.md.gz",
             f"{p}/share/icons/hicolor/scalable/apps/{args.id}.svg"}
    for effect in EFFECTS:
        files.add(f"{p}/share/games/pelmaric/{effect}")
        files.add(f"{p}/lib/games/pelmaric/{effect}")
    for size in ICON_SIZES:
        files.add(f"{p}/share/icons/hicolor/{size}x{size}/apps/{args.id}.png")
    return files


def keeping_manifest(args, action):
    """Runs action() and puts back the build folder's install_manifest.txt as it was:
    it lists what the player installed, which the README removes with it."""
    manifest = os.path.join(args.build, "install_manifest.txt")
    kept = open(manifest, "rb").read() if os.path.exists(manifest) else None
    try:
        return action()
    finally:
        if kept is None:
            if os.path.exists(manifest):
                os.remove(manifest)
        else:
            with open(manifest, "wb") as f:
                f.write(kept)


def install(args, root, prefix, destdir=True, strip=False):
    """cmake --install into root (as DESTDIR) or straight into prefix; returns the prefix on disk."""
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = root
    command = ["cmake", "--install", args.build, "--prefix", prefix] + (["--strip"] if strip else [])
    result = keeping_manifest(args, lambda: run(command, env=env))
    check(result.returncode == 0, f"cmake --install --prefix {prefix} failed:\n{result.stdout}{result.stderr}")
    return root + prefix if destdir else prefix


def listed_files(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


def desktop_entry(path):
    entry = {}
    with open(path) as f:
        for line in f:
            key, sep, value = line.strip().partition("=")
            if sep:
                entry[key] = value
    return entry


def png_size(path):
    return png_decode(path)[:2]


def png_rgba(path, size=None, channels="rgba"):
    cmd = [xs.CONVERT, path]
    if size:
        cmd += ["-resize", f"{size}x{size}"]
    result = subprocess.run(cmd + ["-depth", "8", channels + ":-"], capture_output=True, timeout=60)
    check(result.returncode == 0, f"convert could not read {path}: {result.stderr.decode(errors='replace')}")
    return result.stdout


def png_rgb(path):
    return png_rgba(path, channels="rgb")


# ---- layout ---------------------------------------------------------------------------

def case_layout(args):
    with work_folder("pelmaric-install-") as work:
        home = os.path.join(work, "home")
        os.makedirs(home)
        for prefix, destdir in (("/usr", True), (os.path.join(home, ".local"), False)):
            root = os.path.join(work, "stage") if destdir else "/"
            # The home install as the README gives it, stripped.
            top = install(args, root, prefix, destdir, strip=not destdir)
            found = {f for f in listed_files(root if destdir else top)}
            if not destdir:
                found = {os.path.join(prefix, f).lstrip("/") for f in found}
            want = expected_files(args, prefix)
            check(found == want, f"prefix {prefix}: unexpected files {sorted(found - want)}, "
                                 f"missing {sorted(want - found)}")
            for effect in EFFECTS:
                link = os.path.join(top, "lib/games/pelmaric", effect)
                check(os.path.islink(link) and not os.path.isabs(os.readlink(link)),
                      f"{link} is not a relative link")
                check(os.path.realpath(link) == os.path.realpath(os.path.join(top, "share/games/pelmaric", effect)),
                      f"{link} does not lead to the installed {effect}")
            launcher = os.path.join(top, "games/pelmaric")
            check(os.access(launcher, os.X_OK), f"{launcher} is not executable")
            entry = desktop_entry(os.path.join(top, "share/applications", args.id + ".desktop"))
            check(entry.get("Exec") == os.path.join(prefix, "games/pelmaric"),
                  f"prefix {prefix}: the menu entry runs {entry.get('Exec')!r}")
            # The launcher finds the program from wherever it is started.
            result = run([launcher, "--version"], cwd=work, env=no_display_env())
            check(result.returncode == 0 and result.stdout == f"pelmaric {args.version}\n",
                  f"prefix {prefix}: the launcher's --version gave {result.returncode}, {result.stdout!r} {result.stderr!r}")
            if not destdir:
                sections = run(["readelf", "-S", "-W", os.path.join(top, "lib/games/pelmaric/pelmaric")]).stdout
                check(".symtab" not in sections and ".debug_info" not in sections,
                      "cmake --install --strip left the symbol table or debug data in the program")
            readme = os.path.join(top, "share/doc/pelmaric/README.md.gz")
            with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md"), "rb") as f:
                check(gzip.decompress(open(readme, "rb").read()) == f.read(), f"{readme} is not the README")
            print(f"prefix {prefix}: {len(found)} files as laid out")


# ---- menu entry under awkward prefixes ------------------------------------------------

# Folder names a home folder or a chosen prefix may hold, each a character
# the menu entry's Exec must quote: a space, both quotes, a $, and all of
# them with a backquote at once.
AWKWARD_PREFIXES = ("my games", "it's \"ours\"", "$HOME", "a b'c\"d$e`f")

GLIB_LAUNCH = r'''
import os, sys
import gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib
try:
    entry = Gio.DesktopAppInfo.new_from_filename(sys.argv[1])
except TypeError:  # the binding's word for a NULL from the constructor
    entry = None
if entry is None:
    print("GLib did not load the entry")
    sys.exit(3)
print("commandline", repr(entry.get_commandline()))
print("argv", repr(GLib.shell_parse_argv(entry.get_commandline())[1]))
context = Gio.AppLaunchContext()
for name in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XAUTHORITY"):
    context.unsetenv(name)
read_end, write_end = os.pipe()
pids = []
entry.launch_uris_as_manager_with_fds([], context, GLib.SpawnFlags.DO_NOT_REAP_CHILD, None, None,
                                      lambda info, pid, data: pids.append(pid), None, -1, write_end, write_end)
os.close(write_end)
output = b""
while True:
    chunk = os.read(read_end, 4096)
    if not chunk:
        break
    output += chunk
status = os.waitpid(pids[0], 0)[1]
print("status", os.waitstatus_to_exitcode(status))
print("output", repr(output.decode(errors="replace")))
'''


def case_menu_entry(args):
    with work_folder("pelmaric-menu-") as work:
        for name in AWKWARD_PREFIXES:
            prefix = os.path.join(work, name)
            top = install(args, "/", prefix, destdir=False)
            desktop = os.path.join(top, "share/applications", args.id + ".desktop")
            launcher = os.path.join(prefix, "games/pelmaric")
            print(f"prefix {prefix!r}: {[line for line in open(desktop) if line.startswith('Exec=')][0].strip()}")
            result = run(["desktop-file-validate", desktop])
            check(result.returncode == 0 and not (result.stdout + result.stderr).strip(),
                  f"desktop-file-validate complained of the entry under {name!r}: {result.stdout}{result.stderr}")
            # GLib's loader and launcher, as a GNOME-style menu uses them:
            # the game, found with no display, says so and ends with 1.
            result = run([sys.executable, "-c", GLIB_LAUNCH, desktop], timeout=60)
            print("  " + (result.stdout + result.stderr).strip().replace("\n", "\n  "))
            check("No module named 'gi'" not in result.stderr, "GLib's Python binding is missing: python3-gi")
            check(result.returncode == 0, f"GLib could not load or launch the entry under {name!r}")
            check(f"argv {[launcher]!r}\n" in result.stdout,
                  f"GLib splits the entry's Exec into another command than [{launcher!r}]")
            check("status 1\n" in result.stdout and "cannot open a window" in result.stdout,
                  f"GLib's launch under {name!r} did not start the game")


# ---- PNG files ----------------------------------------------------------------------------

def png_decode(path):
    """(width, height, channels, pixel bytes, first deflate block's type) of one of our
    PNGs, read by pypng (which checks every chunk's CRC): 8 bits a channel, RGB or RGBA."""
    try:
        width, height, pixels, info = png.Reader(filename=path).read_flat()
        idat = b"".join(body for kind, body in png.Reader(filename=path).chunks() if kind == b"IDAT")
    except png.Error as e:
        raise TestFailure(f"{path} is not a PNG we can read: {e}")
    check(info["bitdepth"] == 8 and not info["greyscale"] and "palette" not in info,
          f"{path}: {info}")
    return width, height, info["planes"], bytes(pixels), (idat[2] >> 1) & 3


def case_png(args):
    with work_folder("pelmaric-png-") as work:
        top = install(args, os.path.join(work, "stage"), "/usr")
        stored = os.path.join(work, "stored")
        os.makedirs(stored)
        result = run([args.stored_icons, stored] + [str(size) for size in ICON_SIZES])
        check(result.returncode == 0, f"the icon maker without zlib failed: {result.stderr}")
        total = 0
        for size in ICON_SIZES:
            png = os.path.join(top, f"share/icons/hicolor/{size}x{size}/apps", args.id + ".png")
            w, h, channels, pixels, block = png_decode(png)
            plain = png_decode(os.path.join(stored, f"{size}.png"))
            raw_size = size * (size * 4 + 1)
            print(f"icon {size}: {os.path.getsize(png)} bytes deflated, {os.path.getsize(os.path.join(stored, f'{size}.png'))} stored")
            check((w, h, channels) == (size, size, 4), f"{png} is {w}x{h} with {channels} channels")
            check(block != 0 and os.path.getsize(png) * 4 < raw_size, f"{png} is not deflated")
            check(plain[4] == 0, "the writer without zlib did not write stored blocks")
            check(pixels == plain[3], f"the {size}-pixel icon's pixels differ between the two writers")
            check(pixels == png_rgba(png), f"ImageMagick reads other pixels from {png}")
            total += os.path.getsize(png)
        print(f"installed icons: {total} bytes")

        # The runner's screenshots: the README's picture, an odd size and
        # the smallest, from the native runner and, when given, the
        # WebAssembly one; ImageMagick must read what pypng reads.
        readme_play = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "screenshot.input")
        plays = ((["--seed", "7", "--frames", "672", "--input", readme_play], 800, 600),
                 (["--seed", "3", "--frames", "200", "--size", "333x217"], 333, 217),
                 (["--seed", "1", "--frames", "2", "--size", "1x1"], 1, 1))
        runners = [("native", [os.path.join(args.build, "pelmaric-sim")])]
        if args.wasm_sim:
            check(os.path.isfile(args.wasm_sim), f"no {args.wasm_sim}: run scripts/setup.sh web")
            runners.append(("wasm", ["node", "--no-experimental-fetch", args.wasm_sim]))
        for number, (options, width, height) in enumerate(plays):
            shots = {}
            for name, command in runners:
                path = os.path.join(work, f"shot-{number}-{name}.png")
                result = run(command + options + ["--screenshot", path], timeout=120)
                check(result.returncode == 0, f"{name} runner {options}: {result.returncode} {result.stderr}")
                shots[name] = (os.path.getsize(path),) + png_decode(path)
            sizes = ", ".join(f"{name} {shot[0]} bytes" for name, shot in shots.items())
            print(f"screenshot {width}x{height}: {sizes}")
            native = shots["native"]
            check(native[1:4] == (width, height, 3), f"the native screenshot is {native[1:4]}")
            check(native[5] != 0, "the native screenshot is not deflated")
            check(native[4] == png_rgb(os.path.join(work, f"shot-{number}-native.png")),
                  f"ImageMagick reads other pixels from the screenshot {options}")
            if "wasm" in shots:
                check(shots["wasm"][5] == 0, "the WebAssembly runner's screenshot is not in stored blocks")
                check(shots["wasm"][4] == native[4], f"the screenshots {options} of the two runners differ")
            if width * height > 1000:
                check(native[0] * 4 < width * height * 3, "deflating did not shrink the screenshot")


# ---- a reproducible package ------------------------------------------------------------------

def pack(build, env=None, keep_as=None):
    """cpack -G DEB in a build folder; returns the .deb's path (moved to keep_as if given)."""
    deb = os.path.join(build, "pelmaric_" + cache_value(build, "CMAKE_PROJECT_VERSION") + "_amd64.deb")
    if os.path.exists(deb):
        os.remove(deb)
    result = run(["cpack", "-G", "DEB"], cwd=build, env=env, timeout=600)
    check(result.returncode == 0 and os.path.exists(deb), "cpack -G DEB failed:\n" + result.stdout + result.stderr)
    if keep_as:
        shutil.move(deb, keep_as)
        return keep_as
    return deb


def cache_value(build, name):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key.split(":")[0] == name:
                return value
    return ""


def member_times(deb):
    """The modification times of the .deb's ar members and of every entry of its tar members."""
    with open(deb, "rb") as f:
        data = f.read()
    check(data[:8] == b"!<arch>\n", f"{deb} is not an ar archive")
    times, at = set(), 8
    while at < len(data):
        header = data[at:at + 60]
        name, size = header[:16].decode().strip(), int(header[48:58])
        times.add(int(header[16:28]))
        body = data[at + 60:at + 60 + size]
        if ".tar" in name:
            with tarfile.open(fileobj=io.BytesIO(body), mode="r:*") as tar:
                times.update(int(entry.mtime) for entry in tar.getmembers())
        at += 60 + size + size % 2
    return times


def case_reproducible(args):
    with work_folder("pelmaric-repro-") as work:
        env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        commit = ""
        if shutil.which("git"):
            commit = run(["git", "-C", args.source, "log", "-1", "--format=%ct"]).stdout.strip()
        changelog = run(["dpkg-parsechangelog", "-l", os.path.join(args.source, "packaging/changelog"),
                         "-STimestamp"]).stdout.strip()
        check(changelog.isdigit(), f"dpkg-parsechangelog gave {changelog!r}")
        for name, extra, want in (("the last commit", {}, commit),
                                  ("the changelog, without git", {"GIT_DIR": os.path.join(work, "no-git")}, changelog),
                                  ("the caller's", {"SOURCE_DATE_EPOCH": "1700000000"}, "1700000000")):
            if not want:
                print(f"{name}: no git history here, left out")
                continue
            deb = keeping_manifest(args, lambda: pack(args.build, dict(env, **extra), os.path.join(work, "t.deb")))
            times = member_times(deb)
            print(f"time from {name}: {want}; in the package {sorted(times)}")
            check(times == {int(want)}, f"the package's times are not those of {name}")

        first = keeping_manifest(args, lambda: pack(args.build, env, os.path.join(work, "first.deb")))
        # A second build folder, configured as the first, built and packed.
        second = os.path.join(work, "build")
        options = ["-DBUILD_TESTING=OFF"]
        for name in ("CMAKE_BUILD_TYPE", "CMAKE_INTERPROCEDURAL_OPTIMIZATION", "CMAKE_CXX_COMPILER",
                     "CMAKE_CXX_FLAGS", "PELMARIC_SANITIZE"):
            value = cache_value(args.build, name)
            if value:
                options.append(f"-D{name}={value}")
        result = run(["cmake", "-S", args.source, "-B", second] + options, env=env)
        check(result.returncode == 0, "configuring the second build failed:\n" + result.stdout + result.stderr)
        result = run(["nice", "cmake", "--build", second, "-j", str(os.cpu_count() or 2)], env=env, timeout=3000)
        check(result.returncode == 0, "the second build failed:\n" + result.stdout[-3000:] + result.stderr)
        again = pack(second, env)
        same = run(["cmp", first, again])
        print(f"cmp {os.path.basename(first)} {os.path.basename(again)} of two build folders: "
              f"{'identical' if same.returncode == 0 else same.stdout.strip()} ({os.path.getsize(first)} bytes)")
        check(same.returncode == 0, "two builds packed different .deb files")


# ---- cli ------------------------------------------------------------------------------

def case_cli(args):
    with work_folder("pelmaric-cli-") as work:
        top = install(args, os.path.join(work, "stage"), "/usr")
        programs = (os.path.join(args.build, "pelmaric"), os.path.join(top, "games/pelmaric"))
        for program in programs:
            for option, pattern in (("--version", rf"pelmaric {re.escape(args.version)}\n"),
                                    ("--help", r"Usage: pelmaric \[--help \| --version \| --replay FILE\]\n(.+\n){2,20}")):
                result = run([program, option], cwd=work, env=no_display_env(), timeout=30)
                check(result.returncode == 0, f"{program} {option} exited with {result.returncode}: {result.stderr}")
                check(re.fullmatch(pattern, result.stdout) is not None, f"{program} {option} printed {result.stdout!r}")
                check(result.stderr == "", f"{program} {option} wrote to stderr: {result.stderr!r}")
            # Any other argument is passed over: the game starts as always,
            # and here, with no display, stops at its window.
            result = run([program, "--fullscreen", "-x"], cwd=work, env=no_display_env(), timeout=30)
            check(result.returncode == 1 and "cannot open a window" in result.stderr,
                  f"{program} --fullscreen did not start the game: {result.returncode} {result.stderr!r}")
        print("--help and --version answer with no display; other arguments start the game")


# ---- validators -----------------------------------------------------------------------

def case_validators(args):
    with work_folder("pelmaric-validate-") as work:
        top = install(args, os.path.join(work, "stage"), "/usr")
        desktop = os.path.join(top, "share/applications", args.id + ".desktop")
        result = run(["desktop-file-validate", desktop])
        print("desktop-file-validate:", result.stdout + result.stderr or "(nothing)")
        check(result.returncode == 0 and not (result.stdout + result.stderr).strip(),
              "desktop-file-validate complained")

        metainfo = os.path.join(top, "share/metainfo", args.id + ".metainfo.xml")
        result = run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo])
        print("appstreamcli validate --no-net --pedantic:\n" + result.stdout + result.stderr)
        check(result.returncode == 0, "appstreamcli validate failed")
        check(not re.search(r"^[EW]:", result.stdout, re.M), "appstreamcli reports errors or warnings")

        man = os.path.join(top, "share/man/man6/pelmaric.6.gz")
        result = run(["mandoc", "-T", "lint", "-W", "warning", man])
        print("mandoc -T lint -W warning:", result.stdout + result.stderr or "(nothing)")
        check(result.returncode == 0 and not result.stdout.strip(), "mandoc found faults in the manual page")

        # The hand-drawn SVG is the same picture as the generated icons.
        svg = os.path.join(top, "share/icons/hicolor/scalable/apps", args.id + ".svg")
        for size in ICON_SIZES:
            png = os.path.join(top, f"share/icons/hicolor/{size}x{size}/apps", args.id + ".png")
            check(png_size(png) == (size, size), f"{png} is {png_size(png)}, not {size}x{size}")
            rendered = os.path.join(work, f"svg{size}.png")
            result = run(["rsvg-convert", "-w", str(size), "-h", str(size), svg, "-o", rendered])
            check(result.returncode == 0, f"rsvg-convert could not draw the SVG: {result.stderr}")
            a, b = png_rgba(png), png_rgba(rendered)
            check(len(a) == len(b) == size * size * 4, f"{size}: pictures of different sizes")
            rms = math.sqrt(sum((x - y) ** 2 for x, y in zip(a, b)) / len(a)) / 255.0
            print(f"icon {size}x{size}: RMS difference from the SVG {rms:.4f}")
            check(rms < 0.06, f"the {size}-pixel icon and the SVG differ (RMS {rms:.3f})")


# ---- the installed game, played -------------------------------------------------------------

@contextlib.contextmanager
def played(launcher, folder, output):
    """The launcher run under Xvfb from `folder` as its current folder and HOME, with SDL's disk
    audio writing the mix to `output`; yields its session."""
    env = {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": output, "HOME": folder}
    with xs.game_session(launcher, cwd=folder, env=env) as session:
        yield session


def seconds_written(output):
    try:
        return os.path.getsize(output) / (RATE * 8)
    except OSError:
        return 0.0


def wait_output(output, seconds, timeout=120):
    ok = wait_until(lambda: seconds_written(output) >= seconds, timeout)
    check(ok, f"the game wrote {seconds_written(output):.1f} s of audio, not {seconds} s, in {timeout} s")


def left_channel(output, start, end):
    with open(output, "rb") as f:
        f.seek(int(start * RATE) * 8)
        data = array.array("f", f.read(int((end - start) * RATE) * 8))
    return data[0::2]


def escape(session):
    xs.press_key(session, "Escape")
    status = xs.wait_for_exit(session, 30)
    check(status == 0, f"Esc: the game ended with {status}: " + session.stderr_text())


def peak(samples):
    return max((abs(v) for v in samples), default=0.0)



def find_sound(args, output, sound, start, end):
    result = run([args.find_sound, output, sound, f"{start:.3f}", f"{end:.3f}"], timeout=120)
    check(result.returncode == 0, f"find_sound failed: {result.stderr}")
    correlation, at = result.stdout.split()
    return float(correlation), float(at)


def window_icon(session):
    """_NET_WM_ICON's first picture as (size, RGBA bytes)."""
    values = xs.window_property(session, "_NET_WM_ICON")
    check(values is not None and len(values) > 2, "the window has no icon")
    w, h = values[0], values[1]
    check(w == h and len(values) >= 2 + w * h, f"the window's icon is {w}x{h}")
    rgba = bytearray()
    for argb in values[2:2 + w * h]:
        rgba += bytes(((argb >> 16) & 255, (argb >> 8) & 255, argb & 255, (argb >> 24) & 255))
    return w, bytes(rgba)


def case_played_from_home(args):
    with work_folder("pelmaric-played-") as work:
        # The system's own install (--installed) or a fresh one from the build.
        top = args.installed or install(args, os.path.join(work, "stage"), "/usr")
        home = os.path.join(work, "home")
        os.makedirs(home)
        output = os.path.join(work, "mixed.raw")
        with played(os.path.join(top, "games/pelmaric"), home, output) as session:
            # The window is the menu entry's (docks group them by class)
            # and wears the installed icon.
            entry = desktop_entry(os.path.join(top, "share/applications", args.id + ".desktop"))
            wm_class = bytes(xs.window_property(session, "WM_CLASS") or []).split(b"\0")
            check(len(wm_class) >= 2 and wm_class[1].decode() == entry.get("StartupWMClass"),
                  f"WM_CLASS {wm_class} against StartupWMClass {entry.get('StartupWMClass')!r}")
            size, icon = window_icon(session)
            installed = os.path.join(top, f"share/icons/hicolor/{size}x{size}/apps", args.id + ".png")
            check(os.path.exists(installed), f"the window's icon is {size} pixels, a size not installed")
            worst = max(abs(a - b) for a, b in zip(icon, png_rgba(installed)))
            check(worst <= 1, f"the window's icon differs from {installed} by up to {worst}")

            wait_output(output, 5.0)
            music = peak(left_channel(output, 0.0, 5.0))
            print(f"music from an empty home folder: peak {music:.3f} in the first 5 s")
            check(music > 0.05, f"no music in the first 5 s from the home folder (peak {music:.4f})")

            # Two launches, far enough apart that their explosions do not
            # overlap: a building falling or a missile landing may cover one.
            xs.move_pointer(session, 120, 420)
            pressed = seconds_written(output)
            xs.press_key(session, "a")
            wait_output(output, pressed + 0.8)
            xs.press_key(session, "a")
            wait_output(output, pressed + 3.0)
            escape(session)
        ex2 = os.path.join(top, "share/games/pelmaric/ex2.wav")
        after, at = find_sound(args, output, ex2, pressed - 0.3, pressed + 3.0)
        before, _ = find_sound(args, output, ex2, max(0.0, pressed - 2.3), pressed - 0.3)
        print(f"explosion sound: correlation {after:.3f} at {at:.2f} s (key at {pressed:.2f} s); "
              f"best in the 2 s before the key {before:.3f}")
        check(after > 0.5, f"no explosion sound after the launch key (correlation {after:.3f})")
        check(before < 0.3, f"an explosion sound before any launch (correlation {before:.3f})")


# ---- a player's own piece -------------------------------------------------------------------

def short_note_piece():
    """A Standard MIDI File: an organ note (A5) for half a second, then 3.5 s of rest."""
    track = bytes([0x00, 0xC0, 19,            # church organ
                   0x00, 0x90, 81, 100,       # A5 on
                   0x83, 0x60, 0x80, 81, 0,   # 480 ticks (0.5 s at 120 bpm, 480 a beat): off
                   0x9A, 0x20, 0xFF, 0x2F, 0x00])  # 3360 ticks later: the end
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) +
            b"MTrk" + struct.pack(">I", len(track)) + track)


def case_own_piece(args):
    """The same launcher from a folder with its own piece and from one without:
    the note and then the rest of the own piece, against the installed
    piece's music going on through the same seconds."""
    with work_folder("pelmaric-own-") as work:
        top = install(args, os.path.join(work, "stage"), "/usr")
        launcher = os.path.join(top, "games/pelmaric")
        levels = {}
        for name, piece in (("own", short_note_piece()), ("installed", None)):
            folder = os.path.join(work, name)
            os.makedirs(folder)
            if piece is not None:
                with open(os.path.join(folder, "MUSIC4.MID"), "wb") as f:
                    f.write(piece)
            output = os.path.join(work, name + ".raw")
            with played(launcher, folder, output) as session:
                wait_output(output, 3.5)
                escape(session)
            levels[name] = (peak(left_channel(output, 0.0, 1.0)), peak(left_channel(output, 2.0, 3.5)))
            print(f"{name} piece: peak {levels[name][0]:.4f} in 0-1 s, {levels[name][1]:.4f} in 2-3.5 s")
        own, installed = levels["own"], levels["installed"]
        check(own[0] > 0.02, f"the own piece's note is not heard (peak {own[0]:.4f})")
        check(own[1] < 0.01, f"music goes on after the own piece's note (peak {own[1]:.4f})")
        check(installed[1] > 0.05, f"the installed piece is not heard from a folder without one ({installed[1]:.4f})")


# ---- the Debian package -------------------------------------------------------------------------

def case_deb(args):
    deb = os.path.join(args.build, f"pelmaric_{args.version}_amd64.deb")
    if os.path.exists(deb):
        os.remove(deb)
    result = keeping_manifest(args, lambda: run(["cpack", "-G", "DEB"], cwd=args.build, timeout=600))
    check(result.returncode == 0, "cpack -G DEB failed:\n" + result.stdout + result.stderr)
    check(os.path.exists(deb), f"cpack did not write {deb}:\n{result.stdout}")
    print(f"{os.path.basename(deb)}: {os.path.getsize(deb)} bytes")

    def field(name):
        return run(["dpkg-deb", "-f", deb, name]).stdout.strip()

    check(field("Section") == "games", f"Section {field('Section')!r}")
    depends = field("Depends")
    print("Depends:", depends, "\nInstalled-Size:", field("Installed-Size"))
    check(SOUNDFONT_DEPENDS in depends, f"no soundfont in Depends: {depends}")
    for library in ("libsdl2-2.0-0", "libsdl2-mixer-2.0-0", "libc6"):
        check(re.search(rf"\b{library}\b", depends), f"dpkg-shlibdeps did not name {library}: {depends}")
    check(len(field("Description").splitlines()) > 3, "the description is a single line")

    listing = run(["dpkg-deb", "-c", deb]).stdout
    contents = set()
    for line in listing.splitlines():
        parts = line.split()
        if not line.startswith("d"):
            contents.add(parts[5].lstrip("./"))
    want = expected_files(args, "/usr")
    check(contents == want, f"dpkg-deb -c: unexpected {sorted(contents - want)}, missing {sorted(want - contents)}")

    result = run(["lintian", "--display-info", "--display-experimental", "--pedantic", deb], timeout=600)
    report = result.stdout + result.stderr
    print("lintian --display-info --display-experimental --pedantic:\n" + report)
    errors = [line for line in report.splitlines() if line.startswith("E:")]
    check(not errors, f"lintian errors: {errors}")


CASES = {
    "layout": case_layout,
    "cli": case_cli,
    "validators": case_validators,
    "played_from_home": case_played_from_home,
    "own_piece": case_own_piece,
    "deb": case_deb,
    "menu_entry": case_menu_entry,
    "png": case_png,
    "reproducible": case_reproducible,
}


def parse(arguments):
    parser = argparse.ArgumentParser(usage=f"{sys.argv[0]} CASE --build DIR --id ID --version V --find-sound PROGRAM")
    parser.add_argument("--build", required=True)
    parser.add_argument("--id", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--find-sound", required=True)
    parser.add_argument("--installed", help="played_from_home: the prefix of an installed game to play "
                                            "instead of installing from the build")
    parser.add_argument("--stored-icons", help="png: the icon maker built without zlib")
    parser.add_argument("--wasm-sim", help="png: the WebAssembly runner (pelmaric-sim.js) to compare too")
    parser.add_argument("--source", help="reproducible: the source tree to configure a second build from")
    args = parser.parse_args(arguments)
    args.build = os.path.abspath(args.build)
    args.find_sound = os.path.abspath(args.find_sound)
    return args


if __name__ == "__main__":
    sys.exit(main(CASES, "--build DIR --id ID --version V --find-sound PROGRAM [options]", parse))
