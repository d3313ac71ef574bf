#!/bin/sh
# Runs a test program that measures windows under Wine on a real X display: an Xvfb server
# started here on a display number of its own and ended with the program, in a prefix of its own
# whose desktop uses Wine's X11 driver. Wine's server for that prefix ends with it too: its
# desktop would hold on to a display that is gone.
#   xvfb.sh WINE-RUN PROGRAM [ARGS...]
set -eu
run=$1
shift
command -v Xvfb >/dev/null 2>&1 || {
    echo "xvfb.sh: no Xvfb (scripts/setup.sh installs the xvfb package)" >&2
    exit 1
}
prefix="$(dirname "$run")/wineprefix-x11"
export SCANLEAF_WINEPREFIX="$prefix"
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$number" 2>/dev/null &
server=$!
ended() {
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    rm -f "$number"
}
trap ended EXIT
for _ in $(seq 100); do
    [ -s "$number" ] && break
    sleep 0.1
done
[ -s "$number" ] || {
    echo "xvfb.sh: Xvfb did not start" >&2
    exit 1
}
export SCANLEAF_DISPLAY=":$(cat "$number")"
rc=0
"$run" "$@" || rc=$?
exit $rc
