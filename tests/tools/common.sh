# Sourced by the card tool's script tests, whose arguments are WINE-RUN BIN: a work folder and a
# fresh Wine prefix of the test's own, both gone at the end (after `on_exit`, a command a test may
# set), and the helpers every script uses. The prefix is the test's own, so the shared folder it
# sets touches no other test.
set -eu
run=$1
bin=$2
work=$(mktemp -d)
export SCANLEAF_WINEPREFIX="$work/prefix"
on_exit=true
trap 'eval "$on_exit"; WINEPREFIX="$SCANLEAF_WINEPREFIX" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }
# Written by hand (the prefix maps Z: to /): winepath cuts paths at 260 characters.
win() { printf 'Z:%s' "$1" | tr / '\\'; }
card() { "$run" "$bin/scanleaf-card.exe" --dll "$(win "$bin/Scanleaf.dll")" "$@"; }
checks=0
ok() { checks=$((checks + 1)); }
