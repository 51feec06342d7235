"""sim_identical.py -- the runner built as WebAssembly against the native runner, on the fingerprint plays.

Usage: /usr/bin/python3 sim_identical.py NATIVE_SIM WASM_SIM_JS FRAMES
Runs tests/soak/fingerprint.py's plays with both runners for FRAMES frames
and compares every output; exit status 0 when all are byte-identical, else
the comparison names each play that differs and its first differing frame.
"""

import os
import shlex
import subprocess
import sys
import tempfile

FINGERPRINT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "soak", "fingerprint.py")
# Node 18 and later make a fetch that this Emscripten's loader mistakes for a browser's.
NODE = "node --no-experimental-fetch"


def main():
    if len(sys.argv) != 4:
        print(__doc__.splitlines()[2], file=sys.stderr)
        return 2
    native, wasm, frames = sys.argv[1:]
    if not os.path.isfile(wasm):
        print(f"FAILED: no {wasm}: run scripts/setup.sh web", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="pelmaric-sim-") as work:
        outs = []
        for name, command in (("native", shlex.quote(native)), ("wasm", f"{NODE} {shlex.quote(wasm)}")):
            out = os.path.join(work, name)
            subprocess.run([sys.executable, FINGERPRINT, "run", "--sim", command, "--out", out, "--frames", frames],
                           check=True, stdout=subprocess.DEVNULL)
            outs.append(out)
        return subprocess.run([sys.executable, FINGERPRINT, "compare", *outs]).returncode


if __name__ == "__main__":
    sys.exit(main())
