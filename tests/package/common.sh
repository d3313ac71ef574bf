# Sourced by the package tests: WINE-RUN SOURCE-DIR BUILD32 [BUILD64] as arguments; sets up a
# fresh Wine prefix and a work folder of the test's own, and small helpers.
set -eu
run=$1
src=$2
build32=$3
build64=${4:-}
[ -n "$build64" ] && [ ! -f "$build64/bin/Scanleaf.dll" ] && build64=""
work="$build32/package-tests/$test_name"
rm -rf "$work"
mkdir -p "$work"
export SCANLEAF_WINEPREFIX="$work/prefix"
# The fresh prefix's Wine server and services end with the test.
trap 'WINEPREFIX="$SCANLEAF_WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT
version=$(head -n 1 "$src/VERSION")
checks=0

fail() { echo "FAILED: $*" >&2; exit 1; }
ok() { checks=$((checks + 1)); }
wine_() { "$run" "$@" | tr -d '\r'; }
win() { "$run" winepath -w "$1" | tr -d '\r'; }
package() { sh "$src/scripts/package-msi.sh" "$@" >"$work/package.log" 2>&1; }
finish() { echo "$checks passed, 0 failed"; }
