"""harness.py -- what every Python test suite shares: the failure, the waits, work folders, processes, and a test file's command line.

A test file names its cases in a dict and ends with

    if __name__ == "__main__":
        sys.exit(harness.main(CASES, "PELMARIC_BINARY"))

ctest then runs `test_file.py CASE ARGUMENT`: the case gets the argument (or
what `parse` makes of the arguments). The case name `all` runs every case in
turn, as a person checking a change by hand may want. Standard library only.
"""

import contextlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

# Keep the source folders free of compiled caches.
sys.dont_write_bytecode = True

# The status of a case that cannot run here (ctest's SKIP_RETURN_CODE).
SKIP = 77


class TestFailure(Exception):
    """A check did not hold; the message says what was seen."""


class Skip(Exception):
    """The case cannot run on this machine; the message says why."""


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def wait_until(predicate, timeout, interval=0.05):
    """Polls predicate() until it returns something true; returns that, or None at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def wait_for_look(look, predicate, timeout, interval=0.2):
    """Takes looks (look() -> a picture) until predicate(picture) holds; returns that picture,
    or the last one and False."""
    last = [None]

    def attempt():
        last[0] = look()
        return predicate(last[0])

    ok = wait_until(attempt, timeout, interval)
    return last[0], bool(ok)


@contextlib.contextmanager
def work_folder(prefix):
    """A fresh temporary folder, removed with all it holds when the block ends."""
    folder = tempfile.mkdtemp(prefix=prefix)
    try:
        yield folder
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def run(command, **kwargs):
    """subprocess.run with its output captured as text and a deadline only a hung program meets."""
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 300)
    return subprocess.run(command, **kwargs)


def stop_process(process, grace=3.0):
    """Ends a process we started (TERM, then KILL) and reaps it."""
    if process.poll() is None:
        try:
            process.send_signal(signal.SIGTERM)
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run_one(name, case, value):
    """Runs one case and prints its outcome; returns 0 passed, 1 failed, SKIP skipped."""
    started = time.monotonic()
    try:
        case(value)
    except TestFailure as failure:
        print(f"FAILED {name}: {failure}", file=sys.stderr, flush=True)
        return 1
    except Skip as why:
        print(f"skipped {name}: {why}", flush=True)
        return SKIP
    except Exception as error:  # a program or a tool that broke: its traceback says where
        traceback.print_exc()
        print(f"FAILED {name}: {error!r}", file=sys.stderr, flush=True)
        return 1
    print(f"passed {name} in {time.monotonic() - started:.1f} s", flush=True)
    return 0


def main(cases, usage="ARGUMENT", parse=None):
    """The command line of a test file: CASE followed by its arguments, one (the default) or what
    parse(arguments) reads. Exit status: 0 passed, 1 failed, 2 misused, SKIP skipped; for
    `all`, 1 when any case failed."""
    names = list(cases)
    if len(sys.argv) < 2 or sys.argv[1] not in names + ["all"] or (parse is None and len(sys.argv) != 3):
        print(f"usage: {sys.argv[0]} {{{'|'.join(names)}|all}} {usage}", file=sys.stderr)
        return 2
    try:
        value = parse(sys.argv[2:]) if parse else sys.argv[2]
    except TestFailure as failure:
        print(f"FAILED {sys.argv[1]}: {failure}", file=sys.stderr)
        return 1
    if sys.argv[1] != "all":
        return run_one(sys.argv[1], cases[sys.argv[1]], value)
    failed = sum(1 for name in names if run_one(name, cases[name], value) == 1)
    print(f"{len(names) - failed} of {len(names)} cases did not fail")
    return 1 if failed else 0
