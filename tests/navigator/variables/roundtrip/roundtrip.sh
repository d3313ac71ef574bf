#!/bin/sh
# Round trip on a CALS file written by ImageMagick or GraphicsMagick: the navigator changes
# srcdocid and notes and saves; the values read back, the length and every byte from 1408
# on stay, and both tools still decode the same image.
#   roundtrip.sh imagemagick|graphicsmagick <wine-run> <edit program>
set -u
writer=$1 winerun=$2 edit=$3
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
file=$work/drawing.cal

fail() { echo "FAIL ($writer): $*" >&2; exit 1; }

case $writer in
imagemagick) convert -size 173x91 xc:gray +noise Random -monochrome "$file" || fail "convert" ;;
graphicsmagick) gm convert -size 173x91 xc:gray +noise Random -monochrome "$file" || fail "gm convert" ;;
*) fail "unknown writer" ;;
esac
cp "$file" "$work/original.cal"

decode() { # the size and pixel signature by both tools
    identify -format '%w %h %#' "$1" && echo && gm identify -format '%w %h %#' "$1"
}
before=$(decode "$file") || fail "identify before"

notes='Revised after review: sheet 2 of 7, scale 1:50'
out=$("$winerun" "$edit" "Z:$(echo "$file" | tr / '\\')" "DRW-4711-B" "$notes" | tr -d '\r') ||
    fail "the edit program: $out"
expected="srcdocid=DRW-4711-B
notes=$notes
width=173
height=91"
[ "$out" = "$expected" ] || fail "read back:
$out"

[ "$(stat -c %s "$file")" = "$(stat -c %s "$work/original.cal")" ] || fail "the length changed"
cmp -s -i 1408 "$file" "$work/original.cal" || fail "bytes from 1408 on changed"
head -c 128 "$file" | grep -q '^srcdocid: DRW-4711-B  *$' || fail "slot 0 is not the new srcdocid"
head -c 1408 "$file" | tail -c 128 | grep -q "^notes: $notes  *\$" || fail "slot 10 is not the new notes"
# The records that were not written come back as they were.
cmp -s -n 1152 -i 128 "$file" "$work/original.cal" || fail "slots 1 to 9 changed"

after=$(decode "$file") || fail "identify after"
[ "$after" = "$before" ] || fail "decodes differently:
$before
$after"
echo "ok ($writer): $after" | tr '\n' ' '
echo
