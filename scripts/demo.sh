#!/bin/sh
# The main job: a real CALS drawing's data card, as the host sees it, shown, edited and shown
# again, with proof that the image itself is untouched.
#
#   sh scripts/demo.sh [CALS-FILE [SETTINGS-FILE]]
#
# Without arguments it draws a CALS file with ImageMagick and uses samples/Scanleaf.ini.
# A given CALS file is copied first; the copy is edited, never the original.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCANLEAF_BUILD:-"$root/build"}
source_file=${1:-}
settings=${2:-"$root/samples/Scanleaf.ini"}

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
fi
echo "== building"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target Scanleaf scanleaf-card >/dev/null

run="$build/wine-run"
card() { "$run" "$build/bin/scanleaf-card.exe" "$@"; }
winpath() { "$run" winepath -w "$1" | tr -d '\r'; }

work="$build/demo"
rm -rf "$work"
mkdir -p "$work/share/FileFormats"
cp "$settings" "$work/share/FileFormats/Scanleaf.ini"
drawing="$work/drawing.cal"
if [ -n "$source_file" ]; then
    cp "$source_file" "$drawing"
else
    # A 200 dpi drawing: a frame, a title block and a few lines, stored as CALS type 1.
    /usr/bin/convert -size 1700x1100 xc:white -fill none -stroke black -strokewidth 4 \
        -draw "rectangle 40,40 1660,1060" -draw "rectangle 1100,860 1660,1060" \
        -draw "line 1100,930 1660,930" -draw "line 200,200 900,700" -draw "circle 600,450 600,650" \
        -monochrome "$drawing"
fi
cp "$drawing" "$work/original.cal"
file=$(winpath "$drawing")

# The prefix's Wine server and services end with the demo.
trap 'WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true' EXIT
echo "== registering the plug-in (private Wine prefix: $build/wineprefix)"
card register
echo "== the host's shared folder, with the sample settings file"
card settings --shared-folder "$(winpath "$work/share")"
card check
before=$(/usr/bin/identify -format '%w %h %#' "$drawing")

echo "== data card of $drawing"
card show "$file"

echo "== changing two fields and a date"
card set "$file" drawingno=A3-000471-00 revision=C notes="Rescanned after revision C" \
    --date scandate="$(date +%Y-%m-%d)" --style 120 || echo "(the values were refused and nothing was written; see above)"

echo "== data card after saving"
card show "$file"

echo "== the image itself"
after=$(/usr/bin/identify -format '%w %h %#' "$drawing")
echo "before: $before"
echo "after:  $after"
if [ "$before" = "$after" ] && cmp -s -i 1408 "$work/original.cal" "$drawing" &&
    [ "$(stat -c %s "$work/original.cal")" = "$(stat -c %s "$drawing")" ]; then
    echo "unchanged: same size and pixel signature, same length, every byte from 1408 on identical"
else
    echo "THE IMAGE CHANGED" >&2
    exit 1
fi
