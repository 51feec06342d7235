#!/bin/bash
# run_output_cases.sh -- output_cases.py in a /dev of its own, as root and then as an ordinary user.
#
# Usage: tests/runner/run_output_cases.sh [--web] [--sanitized] RUNNER_FILE...
# RUNNER_FILE: the native pelmaric-sim, or pelmaric-sim.js and its .wasm
# (the first one named is run, under Node for a .js). As root, the files are
# copied where the user nobody can read them, and the cases run in a private
# mount namespace whose /dev is a fresh tmpfs with its own stdout links and
# devices: a faulty runner can replace nothing of the machine's /dev. Run by
# another user, the cases run once, as that user, and those needing a
# private /dev are skipped.
set -u
here=$(cd "$(dirname "$0")" && pwd)
flags=()
while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do
    flags+=("$1")
    shift
done
if [ $# -lt 1 ]; then
    echo "usage: $0 [--web] [--sanitized] RUNNER_FILE..." >&2
    exit 2
fi
command_for() {
    case $1 in
    *.js) echo /usr/bin/node --no-experimental-fetch "$1" ;;
    *) echo "$1" ;;
    esac
}
if [ "$(id -u)" != 0 ]; then
    # shellcheck disable=SC2046
    PYTHONPATH="$here/.." exec /usr/bin/python3 "$here/output_cases.py" all "${flags[@]}" $(command_for "$1")
fi

stage=$(mktemp -d /tmp/pelmaric-output-cases.XXXXXX)
trap 'rm -rf "$stage"' EXIT
chmod 755 "$stage"
cp "$here/output_cases.py" "$stage/"
cp -r "$here/../lib" "$stage/lib"
# The staged copy of tests/lib, for root and nobody alike.
export PYTHONPATH="$stage"
for f in "$@"; do
    cp "$f" "$stage/"
done
chmod -R a+rX "$stage"
runner=$(command_for "$stage/$(basename "$1")")

if ! unshare -m --propagation private true 2>/dev/null; then
    # No mount namespace here (a container without the capability): the
    # cases run on the machine's /dev, the one touching it skipped.
    echo "run_output_cases.sh: no private mount namespace; the case needing a /dev of its own is skipped"
    /usr/bin/python3 "$stage/output_cases.py" all "${flags[@]}" $runner; as_root=$?
    runuser -u nobody -- /usr/bin/python3 "$stage/output_cases.py" all "${flags[@]}" $runner; as_user=$?
    [ $as_root = 0 ] && [ $as_user = 0 ]
    exit
fi
# shellcheck disable=SC2016
unshare -m --propagation private /bin/bash -c '
    set -e
    mount -t tmpfs -o mode=755 pelmaric-dev /dev
    mknod -m 666 /dev/null c 1 3
    mknod -m 666 /dev/zero c 1 5
    mknod -m 666 /dev/full c 1 7
    mknod -m 666 /dev/random c 1 8
    mknod -m 666 /dev/urandom c 1 9
    ln -s /proc/self/fd /dev/fd
    ln -s /proc/self/fd/0 /dev/stdin
    ln -s /proc/self/fd/1 /dev/stdout
    ln -s /proc/self/fd/2 /dev/stderr
    set +e
    export PELMARIC_PRIVATE_DEV=1
    /usr/bin/python3 "$0" all "$@"; as_root=$?
    runuser -u nobody -- /usr/bin/python3 "$0" all "$@"; as_user=$?
    [ $as_root = 0 ] && [ $as_user = 0 ]
' "$stage/output_cases.py" "${flags[@]}" $runner
