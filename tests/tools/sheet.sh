#!/bin/sh
# The review page of a folder of drawings, as a browser shows it (Debian's Chromium, headless):
# one thumbnail per drawing, the damaged one named, no console message, and the thumbnails
# really drawn (the screenshot differs from the same page with white pictures in their place).
#   sheet.sh WINE-RUN BIN
set -eu
run=$1
bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
win() { "$run" winepath -w "$1" | tr -d '\r'; }
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || fail "Chromium is not installed (scripts/setup.sh installs it)"

# The two noisy samples: their thumbnails differ from white in thousands of pixels.
cp "$bin/samples/imagemagick-64x48.cal" "$bin/samples/graphicsmagick-97x61.cal" "$work/"
sound=2
head -c 2200 "$bin/samples/imagemagick-64x48.cal" >"$work/cut.cal"
cp "$bin/samples/foreign.png" "$work/photo.cal"
# A damaged drawing on the page, and a file of another format left out: both make the exit 1.
status=0
"$run" "$bin/scanleaf-card.exe" --dll "$(win "$bin/Scanleaf.dll")" sheet -o "$(win "$work/review.html")" \
    "$(win "$work")" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] || fail "sheet exited $status: $(cat "$work/out.txt" "$work/err.txt")"
grep -q "drawings $((sound + 1)), sound $sound, damaged 1, not type 1 0, left out (not CALS) 1" "$work/out.txt" ||
    fail "summary: $(cat "$work/out.txt")"
grep -q 'photo.cal: not a CALS file' "$work/err.txt" || fail "the foreign file is not named: $(cat "$work/err.txt")"
grep -q "<h1>$((sound + 1)) drawing(s), 1 damaged</h1>" "$work/review.html" || fail "the heading does not count the damaged"
[ "$(grep -c '<img' "$work/review.html")" = $((sound + 1)) ] || fail "not one thumbnail per drawing"
! grep -q 'photo.cal' "$work/review.html" || fail "the foreign file is on the page"
grep -q 'damaged: the data ends after line' "$work/review.html" || fail "the cut drawing is not named"
! grep -q '<script\|http:\|https:' "$work/review.html" || fail "the page fetches or runs something"

shot() { # PAGE PNG [VIRTUAL-MILLISECONDS]
    "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
        --window-size=800,900 --run-all-compositor-stages-before-draw --virtual-time-budget="${3:-3000}" \
        --screenshot="$2" "file://$1" 2>>"$work/browser.log" >/dev/null
}
# What ImageMagick makes of the page's first three thumbnails, for a failure's message.
thumbnails() {
    grep -o 'data:image/png;base64,[^"]*' "$1" | head -n 3 | while read -r uri; do
        printf '%s' "${uri#data:image/png;base64,}" | base64 -d >"$work/thumb.png" 2>/dev/null
        printf '[%s] ' "$(identify "$work/thumb.png" 2>&1 | head -c 160)"
    done
}
# The same page with every thumbnail a white picture of the same size: only the drawings differ.
white=$(convert -size 1x1 xc:white png:- | base64 -w0)
sed "s|src=\"data:image/png;base64,[^\"]*\"|src=\"data:image/png;base64,$white\"|g" "$work/review.html" >"$work/bare.html"
shot "$work/bare.html" "$work/without.png"
# On a heavily loaded machine Chromium now and then takes its picture before it has decoded the
# thumbnails (253 or 264 of the usual thousands of pixels drawn, seen under Wine's heap check):
# five tries, each with twice the time of the one before; the page's own fault fails them all.
budget=3000
for try in 1 2 3 4 5; do
    shot "$work/review.html" "$work/with.png" "$budget"
    [ -s "$work/with.png" ] || fail "no screenshot"
    # compare prints the number of pixels that differ on standard error.
    differ=$(compare -metric AE "$work/with.png" "$work/without.png" null: 2>&1 || true)
    [ "${differ%%.*}" -gt 2000 ] 2>/dev/null && break
    [ "$try" = 5 ] && fail "thumbnails not drawn ($differ pixels differ from white pictures, five tries); the page's first thumbnails as ImageMagick reads them: $(thumbnails "$work/review.html")"
    budget=$((budget * 2))
    sleep 1
done
! grep -q 'CONSOLE' "$work/browser.log" || fail "console messages: $(grep CONSOLE "$work/browser.log")"
echo "sheet: page shown, thumbnails drawn ($differ pixels differ from white pictures)"
