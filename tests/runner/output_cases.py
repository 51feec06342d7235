#!/usr/bin/python3
"""output_cases.py -- what pelmaric-sim does to the files it is told to write, case by case.

    output_cases.py CASE|all [--web] [--sanitized] RUNNER...

RUNNER is the command that starts the runner (build/pelmaric-sim, or node and
the WebAssembly build's pelmaric-sim.js). --web: the runner is the WebAssembly
one, which Node starts with its closed standard descriptors filled and no way
to catch a signal while the program runs. --sanitized: a sanitizer build,
whose reserved address space rules out a memory limit.

Each case prints whether it passed, failed or was skipped and what it saw;
the status is 1 when any failed. The case that closes standard output and names /dev/stdout runs only
where PELMARIC_PRIVATE_DEV=1 says /dev is a private copy (run_output_cases.sh
makes one): on the machine's own /dev a faulty runner would replace it.
Standard library and tests/lib (staged beside this file by
run_output_cases.sh, which sets PYTHONPATH) only.
"""

import os
import shlex
import signal
import stat
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
from lib.harness import Skip, check, main  # noqa: E402

ARGS = sys.argv[2:]
WEB = "--web" in ARGS
SANITIZED = "--sanitized" in ARGS
RUNNER = [a for a in ARGS if a not in ("--web", "--sanitized")]
SIM = shlex.join(RUNNER)
AS_ROOT = os.geteuid() == 0
PRIVATE_DEV = os.environ.get("PELMARIC_PRIVATE_DEV") == "1"
DEADLINE = 120  # seconds: only a hung runner comes near it


def folder(name):
    path = os.path.join(WORK, name)
    os.mkdir(path)
    return path


def run(args, cwd, **kw):
    """The runner with `args`: (status, stdout, stderr); a signal's death is -N."""
    p = subprocess.run(RUNNER + args, cwd=cwd, capture_output=True, timeout=DEADLINE, **kw)
    return p.returncode, p.stdout, p.stderr


def sh(script, cwd):
    """A bash script with $SIM the runner: (status, stdout, stderr)."""
    p = subprocess.run(["/bin/bash", "-c", script], cwd=cwd, capture_output=True, timeout=DEADLINE,
                       env=dict(os.environ, SIM=SIM))
    return p.returncode, p.stdout, p.stderr


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def hidden(where):
    """Temporary files left in a folder."""
    return sorted(n for n in os.listdir(where) if n.startswith("."))


def reference(frames, what="trace"):
    """An output of seed 1 written to a plain new file."""
    d = tempfile.mkdtemp(dir=WORK)
    option = {"trace": "--trace", "state": "--state"}[what]
    status, _, err = run(["--seed", "1", "--frames", str(frames), option, "out"], d)
    check(status == 0, f"a plain run failed: {status} {err[:200]!r}")
    return read(os.path.join(d, "out"))


# ---- 1. A name for a closed standard output, or for a deleted file ----------------

def case_1_closed_or_deleted_standard_output():
    if not PRIVATE_DEV:
        raise Skip("needs a private /dev (run_output_cases.sh)")
    d = folder("c1")
    link = os.readlink("/dev/stdout")
    try:
        status, _, err = sh("exec >&-; $SIM --seed 1 --frames 3 --trace /dev/stdout", d)
        check(os.path.islink("/dev/stdout") and os.readlink("/dev/stdout") == link,
              "/dev/stdout is no longer the link it was")
        if WEB:
            # Node gives a closed descriptor /dev/null before the program starts.
            check(status in (0, 2), f"status {status}: {err[:200]!r}")
        else:
            check(status == 2 and b"/dev/stdout: Bad file descriptor" in err, f"status {status}: {err[:200]!r}")
        status, _, err = sh("exec 3>gone.txt 4<gone.txt; rm gone.txt; "
                            "$SIM --seed 1 --frames 3 --trace /dev/stdout >&3; echo $? >status.txt; cat <&4 >seen.txt", d)
        check(os.path.islink("/dev/stdout") and os.readlink("/dev/stdout") == link,
              "/dev/stdout is no longer the link it was")
        check(read(os.path.join(d, "status.txt")) == b"0\n", f"status {read(os.path.join(d, 'status.txt'))!r} {err!r}")
        check(read(os.path.join(d, "seen.txt")) == reference(3), "the deleted file did not get the trace")
    finally:
        if not os.path.islink("/dev/stdout"):
            os.remove("/dev/stdout")
            os.symlink(link, "/dev/stdout")


# ---- 2. Names of open descriptors are written through them -----------------------

def case_2_descriptor_names_keep_what_the_shell_wrote():
    d = folder("c2")
    trace = reference(2)
    for name in ("/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"):
        status, _, err = sh("{ echo header; $SIM --seed 1 --frames 2 --trace " + name + "; echo footer; } > log.txt", d)
        check(status == 0, f"{name}: status {status} {err[:200]!r}")
        check(read(os.path.join(d, "log.txt")) == b"header\n" + trace + b"footer\n", f"{name}: the log lost a part")
    status, _, err = sh("{ echo header >&2; $SIM --seed 1 --frames 2 --trace /dev/stderr; echo footer >&2; } 2> log.txt", d)
    check(read(os.path.join(d, "log.txt")) == b"header\n" + trace + b"footer\n", "/dev/stderr: the log lost a part")
    status, _, err = sh("exec 3>>log3.txt; echo header >&3; $SIM --seed 1 --frames 2 --trace /dev/fd/3; s=$?; "
                        "echo footer >&3; exit $s", d)
    if WEB:
        # Emscripten's descriptors past 2 are not the Node process's: refused.
        check(status == 2 and read(os.path.join(d, "log3.txt")) == b"header\nfooter\n",
              f"/dev/fd/3: status {status} {err[:200]!r}")
    else:
        check(status == 0 and read(os.path.join(d, "log3.txt")) == b"header\n" + trace + b"footer\n",
              f"/dev/fd/3: status {status} {err[:200]!r}")
    check(hidden(d) == [], f"left behind: {hidden(d)}")


# ---- 3. Two options naming one file ----------------------------------------------

def case_3_one_file_named_twice_is_refused():
    d = folder("c3")
    write(os.path.join(d, "Y"), "old\n")
    os.symlink("Y", os.path.join(d, "Ylink"))
    os.link(os.path.join(d, "Y"), os.path.join(d, "Yhard"))
    for a, b in (("Y", "Y"), ("Y", "Ylink"), ("Yhard", "Y"), ("new.json", "./new.json"), ("new.json", "../c3/new.json")):
        status, _, err = run(["--seed", "1", "--frames", "5", "--state", a, "--trace", b], d)
        check(status == 2 and b"name one file" in err, f"--state {a} --trace {b}: status {status} {err[:200]!r}")
        check(read(os.path.join(d, "Y")) == b"old\n", f"--state {a} --trace {b}: Y changed")
        check(not os.path.exists(os.path.join(d, "new.json")), f"--state {a} --trace {b}: new.json made")
    check(hidden(d) == [], f"left behind: {hidden(d)}")


# ---- 4. Signals, a closed pipe, no memory ----------------------------------------

def case_4_a_signal_takes_the_temporaries_away():
    if WEB:
        raise Skip("Node runs a signal's handler only between runs of the program: it dies with the files left")
    for sig in (signal.SIGTERM, signal.SIGINT):
        d = folder(f"c4-{sig.name}")
        write(os.path.join(d, "t.jsonl"), "kept\n")
        p = subprocess.Popen(RUNNER + ["--seed", "1", "--frames", "1000000000", "--trace", "t.jsonl", "--state", "s.json"],
                             cwd=d, stderr=subprocess.DEVNULL,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        deadline = time.monotonic() + DEADLINE
        while len(hidden(d)) < 2 and time.monotonic() < deadline and p.poll() is None:
            time.sleep(0.01)
        check(len(hidden(d)) == 2, f"{sig.name}: no temporaries seen: {hidden(d)}")
        p.send_signal(sig)
        status = p.wait(timeout=DEADLINE)
        check(status == -sig, f"{sig.name}: status {status}, not death by the signal")
        check(sorted(os.listdir(d)) == ["t.jsonl"] and read(os.path.join(d, "t.jsonl")) == b"kept\n",
              f"{sig.name}: left {sorted(os.listdir(d))}")


def case_4_a_closed_pipe_is_a_named_write_error():
    d = folder("c4-pipe")
    p = subprocess.Popen(RUNNER + ["--seed", "1", "--frames", "100000", "--trace", "/dev/stdout", "--state", "s.json"],
                         cwd=d, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = p.stdout.read(10)
    p.stdout.close()
    err = p.stderr.read()
    status = p.wait(timeout=DEADLINE)
    check(first == b'{"frame": ', f"read {first!r}")
    check(status == 1 and b"cannot write /dev/stdout: Broken pipe" in err, f"status {status}: {err[:200]!r}")
    check(os.listdir(d) == [], f"left {sorted(os.listdir(d))}")


def case_4_no_memory_is_one_line_and_nothing_left():
    if WEB or SANITIZED:
        raise Skip("a limit on address space stops Node and the sanitizers before the program")
    d = folder("c4-memory")
    # The outputs are open (their temporaries made) before the 256 MB picture is.
    status, _, err = sh("ulimit -v 400000; $SIM --seed 1 --frames 1 --size 8192x8192 --screenshot shot.png "
                        "--state s.json", d)
    check(status == 1 and err == b"pelmaric-sim: out of memory\n", f"status {status}: {err[:300]!r}")
    check(os.listdir(d) == [], f"left {sorted(os.listdir(d))}")
    write(os.path.join(d, "many.txt"), b"1 move 1 1\n" * 6000000)
    status, _, err = sh("ulimit -v 150000; $SIM --seed 1 --frames 1 --input many.txt --state s.json", d)
    check(status == 2 and err == b"pelmaric-sim: out of memory reading the input\n", f"status {status}: {err[:300]!r}")
    check(os.listdir(d) == ["many.txt"], f"left {sorted(os.listdir(d))}")


# ---- 5. Long lines, NUL bytes, what is quoted ------------------------------------

def case_5_long_lines_and_nul_bytes_are_refused_early():
    d = folder("c5")
    # Natively under a memory limit far below what reading the whole line takes.
    limit = "" if WEB or SANITIZED else "ulimit -v 150000; "
    write(os.path.join(d, "long.txt"), b"1 move 1 1\n" + b"a" * 100000000)
    status, _, err = sh(limit + "$SIM --seed 1 --frames 1 --input long.txt", d)
    check(status == 2 and err.startswith(b"pelmaric-sim: input line 2: \"aaaa") and b"longer than" in err
          and len(err) < 300, f"status {status}: {err[:300]!r} ({len(err)} bytes)")
    status, _, err = sh(limit + "$SIM --seed 1 --frames 1 --input /dev/zero", d)
    check(status == 2 and b"input line 1" in err and b"NUL" in err, f"/dev/zero: status {status}: {err[:300]!r}")
    # A NUL ends the reading: the rest, however long, is never read.
    write(os.path.join(d, "nul.txt"), b"1 move 5 5\n2 move \0" + b"b" * 200000000)
    status, _, err = sh(limit + "$SIM --seed 1 --frames 1 --input nul.txt", d)
    check(status == 2 and b"input line 2: \"2 move \": a NUL byte" in err, f"NUL: status {status}: {err[:300]!r}")
    # A bad line is quoted to its 80th byte, its control bytes escaped.
    write(os.path.join(d, "bad.txt"), b"1 move 5 5\n3 bogus \x1b[31m " + b"x" * 300 + b"\n")
    status, _, err = run(["--seed", "1", "--frames", "1", "--input", "bad.txt"], d)
    check(status == 2 and b'input line 2: "3 bogus \\x1B[31m xxx' in err and b"x" * 70 not in err
          and b"\x1b" not in err and len(err) < 200, f"quote: status {status}: {err[:400]!r}")


# ---- 6. All outputs or none ------------------------------------------------------

def case_6_a_target_gone_bad_during_the_run_replaces_nothing():
    d = folder("c6")
    write(os.path.join(d, "A"), "old A\n")
    write(os.path.join(d, "S"), "old S\n")
    os.mkfifo(os.path.join(d, "f"))
    # The trace goes through a pipe the test reads: the run waits for it,
    # with every output open, while S turns into a folder.
    p = subprocess.Popen(RUNNER + ["--seed", "1", "--frames", "3000", "--trace", "f", "--audio-log", "A", "--state", "S"],
                         cwd=d, stderr=subprocess.PIPE)
    with open(os.path.join(d, "f"), "rb") as trace:
        first = trace.read(1)
        os.remove(os.path.join(d, "S"))
        os.mkdir(os.path.join(d, "S"))
        rest = trace.read()
    err = p.stderr.read()
    status = p.wait(timeout=DEADLINE)
    check(first + rest[:9] == b'{"frame": ', "no trace came through the pipe")
    check(status == 1 and b"cannot write S: Is a directory" in err, f"status {status}: {err[:200]!r}")
    check(read(os.path.join(d, "A")) == b"old A\n", "A was replaced although S failed")
    check(sorted(os.listdir(d)) == ["A", "S", "f"], f"left {sorted(os.listdir(d))}")


# ---- 7. Modes, owners and links kept ---------------------------------------------

def case_7_mode_owner_and_links_are_kept():
    d = folder("c7")
    state = reference(4, "state")
    for mode in (0o600, 0o640, 0o604):
        path = os.path.join(d, f"m{mode:o}")
        write(path, "old\n")
        os.chmod(path, mode)
        status, _, err = run(["--seed", "1", "--frames", "4", "--state", path], d)
        check(status == 0 and read(path) == state, f"{mode:o}: status {status} {err[:200]!r}")
        check(stat.S_IMODE(os.stat(path).st_mode) == mode, f"{mode:o} came back {stat.S_IMODE(os.stat(path).st_mode):o}")
    if AS_ROOT:
        path = os.path.join(d, "theirs")
        write(path, "old\n")
        os.chown(path, 65534, 65534)
        status, _, err = run(["--seed", "1", "--frames", "4", "--state", path], d)
        check(status == 0 and os.stat(path).st_uid == 65534 and os.stat(path).st_gid == 65534,
              f"owner became {os.stat(path).st_uid}:{os.stat(path).st_gid}")
    # A dangling link, and a relative one from another folder: the target is written.
    os.symlink("target.json", os.path.join(d, "dangling"))
    os.mkdir(os.path.join(d, "sub"))
    write(os.path.join(d, "real.json"), "old\n")
    os.symlink("../real.json", os.path.join(d, "sub", "link"))
    status, _, err = run(["--seed", "1", "--frames", "4", "--state", "dangling", "--trace", "sub/link"], d)
    check(status == 0, f"links: status {status} {err[:200]!r}")
    check(os.readlink(os.path.join(d, "dangling")) == "target.json" and read(os.path.join(d, "target.json")) == state,
          "the dangling link's target was not written")
    check(os.readlink(os.path.join(d, "sub", "link")) == "../real.json" and
          read(os.path.join(d, "real.json")) == reference(4), "the relative link's target was not written")
    check(hidden(d) == [] and hidden(os.path.join(d, "sub")) == [], "temporaries left")


# ---- 8. Long names, unwritable folders -------------------------------------------

def case_8_long_names_and_unwritable_folders_are_written():
    d = folder("c8")
    state = reference(4, "state")
    for length in (248, 251, 255):
        name = "n" * (length - 5) + ".json"
        status, _, err = run(["--seed", "1", "--frames", "4", "--state", name], d)
        check(status == 0 and read(os.path.join(d, name)) == state, f"{length} bytes: status {status} {err[:120]!r}")
    check(hidden(d) == [], f"left behind: {hidden(d)}")
    if AS_ROOT:
        raise Skip("root may write any folder (the rest runs as an ordinary user)")
    locked = os.path.join(d, "locked")
    os.mkdir(locked)
    write(os.path.join(locked, "state.json"), "an older and much longer state\n" * 200)
    os.chmod(locked, 0o555)
    try:
        status, _, err = run(["--seed", "1", "--frames", "4", "--state", os.path.join(locked, "state.json")], d)
        check(status == 0 and read(os.path.join(locked, "state.json")) == state,
              f"in place: status {status} {err[:200]!r}")
        status, _, err = run(["--seed", "1", "--frames", "4", "--state", os.path.join(locked, "new.json")], d)
        check(status == 2 and b"Permission denied" in err, f"a new file there: status {status} {err[:200]!r}")
    finally:
        os.chmod(locked, 0o755)


# ---- 9. A new file's mode --------------------------------------------------------

def case_9_new_files_get_the_umask_mode():
    d = folder("c9")
    for mask, mode in ((0o022, 0o644), (0o027, 0o640), (0o002, 0o664)):
        name = f"new{mask:03o}.json"
        status, _, err = sh(f"umask {mask:03o}; $SIM --seed 1 --frames 1 --state {name} --screenshot {name}.png", d)
        check(status == 0, f"umask {mask:o}: status {status} {err[:200]!r}")
        for path in (name, name + ".png"):
            got = stat.S_IMODE(os.stat(os.path.join(d, path)).st_mode)
            check(got == mode, f"umask {mask:03o}: {path} has mode {got:o}, not {mode:o}")
    read(os.path.join(d, "new022.json"))  # its own user can read it


def runner_given(arguments):
    if not RUNNER:
        raise SystemExit(__doc__)
    print(f"as {'root' if AS_ROOT else f'uid {os.geteuid()}'}", flush=True)


CASES = {name[len("case_"):]: (lambda _, case=case: case()) for name, case in sorted(globals().items())
         if name.startswith("case_")}


if __name__ == "__main__":
    with tempfile.TemporaryDirectory(prefix="pelmaric-outputs-") as WORK:
        status = main(CASES, "[--web] [--sanitized] RUNNER...", runner_given)
        # Folders made read-only inside are opened again for the clean-up.
        for root, dirs, _ in os.walk(WORK):
            for sub in dirs:
                os.chmod(os.path.join(root, sub), 0o755)
    sys.exit(status)
