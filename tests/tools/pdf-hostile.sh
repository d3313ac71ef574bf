#!/bin/sh
# convert --to cals of hand-made hostile PDFs (tests/tools/hostile.py): each one ends with exit 0
# or 1 and its reason, within 30 s and 600 MB of the 32-bit tool's process, nothing left where it
# is refused; masked pictures, an inline image and strips of one drawing give MuPDF's and Ghostscript's pels exactly and
# Poppler's within 3%; and one run of them all goes on past every refused one.
#   pdf-hostile.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
mkdir -p "$work/in"
python3 "$(dirname "$0")/hostile.py" "$work/in"
card --help >/dev/null 2>&1 || true # the prefix made before anything is timed

# NAME EXIT FILES WHAT-ITS-LINES-SAY
while read -r name code files said; do
    out="$work/out/$name"
    mkdir -p "$out"
    /usr/bin/time -f "%e %M" -o "$work/time" "$run" "$bin/scanleaf-card.exe" --dll "$(win "$bin/Scanleaf.dll")" \
        convert --to cals -o "$(win "$out")" "$(win "$work/in/$name.pdf")" >"$work/log" 2>&1 && got=0 || got=$?
    set -- $(tail -n 1 "$work/time")
    seconds=$1 kb=$2
    [ "$got" = "$code" ] || fail "$name: exit $got, not $code: $(cat "$work/log")"
    grep -q -- "$said" "$work/log" || fail "$name: its lines do not say '$said': $(cat "$work/log")"
    [ "$(ls "$out" | wc -l)" = "$files" ] || fail "$name: $(ls "$out" | wc -l) files written, not $files: $(ls "$out")"
    awk -v s="$seconds" 'BEGIN { exit !(s <= 30) }' || fail "$name: took $seconds s"
    [ "$kb" -le 614400 ] || fail "$name: took $kb KB"
    echo "$name: exit $got in $seconds s, $((kb / 1024)) MB"
    ok
done <<'EOF'
flate-twice-picture 0 1 flate-twice-picture.cal
flate-twice-content 1 0 object 4: it decodes to more than 67108864 bytes; nothing written
lzw-picture 0 1 lzw-picture.cal
lzw-content 1 0 object 4: it decodes to more than 67108864 bytes; nothing written
large-1bit 0 1 large-1bit.cal
large-grey 0 1 large-grey.cal
one-image-400-pages 0 400 one-image-400-pages-p400.cal
object-stream-chain 0 1 object-stream-chain.cal
page-tree-dag 1 0 its page tree names more than 200000 nodes; nothing written
forms-nested 0 1 forms-nested.cal
many-keys 0 1 many-keys.cal
rotate-1e30 1 0 its /Rotate 1e30 is not a multiple of 90; nothing written
rotate-45 1 0 its /Rotate 45 is not a multiple of 90; nothing written
rotate-90.5 1 0 its /Rotate 90.5 is not a multiple of 90; nothing written
width-1e34 1 0 its picture gives a size of 1e34 by 64 pels; nothing written
length-1e34 0 1 length-1e34.cal
mask-stencil 0 1 mask-stencil.cal
mask-soft 0 1 mask-soft.cal
mask-colour-key 0 1 mask-colour-key.cal
inline-image 0 1 inline-image.cal
wrong-checksum 0 1 its FlateDecode data ends with a wrong checksum, which is forgiven
catalog-by-scan 0 1 its objects were found by a scan
strips 0 1 strips.cal
open-strings 1 0 no catalog was found in it; nothing written
EOF

# The pages that draw one image share its stream, decoded once.
cmp -s -i 2048 "$work/out/one-image-400-pages/one-image-400-pages-p001.cal" "$work/out/one-image-400-pages/one-image-400-pages-p400.cal" ||
    fail "one image, 400 pages: the first and last page's streams differ"
ok

# The masked pictures, the inline image and the strips as the viewers draw them on white:
# Ghostscript's pels exactly, and MuPDF's but for the strips (it snaps a strip between two others
# a pel off); Poppler's black pels within 3% (it resamples, and smooths a colour key's edges away:
# that one is held to the exact two alone), and MuPDF's so for the strips.
black() { convert "$1" -threshold 50% -negate -format '%[fx:round(mean*w*h)]' info:; }
for name in mask-stencil mask-soft mask-colour-key inline-image strips; do
    convert "$work/out/$name/$name.cal" "$work/$name.pbm"
    mutool draw -q -A 0 -r 200 -c gray -o "$work/$name-mupdf.pgm" "$work/in/$name.pdf" 2>/dev/null
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r200 -o "$work/$name-gs.pgm" "$work/in/$name.pdf"
    pdftoppm -r 200 -gray -aa no -aaVector no -singlefile "$work/in/$name.pdf" "$work/$name-poppler"
    case $name in
    strips) exact=gs near="mupdf poppler" ;;
    mask-colour-key) exact="gs mupdf" near="" ;;
    *) exact="gs mupdf" near=poppler ;;
    esac
    for viewer in $exact; do
        [ "$(compare -metric AE "$work/$name.pbm" "$work/$name-$viewer.pgm" null: 2>&1 | sed 's/ .*//')" = 0 ] ||
            fail "$name: not $viewer's pels"
    done
    ours=$(black "$work/$name.pbm")
    for viewer in $near; do
        theirs=$(black "$work/$name-$viewer.pgm")
        awk -v a="$ours" -v b="$theirs" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(a > 0 && d <= 0.03 * a) }' ||
            fail "$name: $ours black pels, $viewer $theirs"
    done
    ok
done

# All of them in one run: every refused document named, every other one written.
card convert --to cals -o "$(win "$work/all")" "$(win "$work/in")" >"$work/log" 2>&1 && fail "one run of them all: exit 0"
grep -q 'pictures 24, CALS files written 415, pictures refused 8' "$work/log" || fail "one run of them all: $(tail -n 3 "$work/log")"
[ -z "$(find "$work/all" -name '*.partial')" ] || fail "one run of them all left partial files"
ok
# The 32-bit tool asks for all the address space 64-bit Windows gives it.
i686-w64-mingw32-objdump -p "$bin/scanleaf-card.exe" | grep -q 'large address aware' || fail "scanleaf-card.exe is not large-address aware"
ok
echo "$checks passed, 0 failed"
