#!/bin/sh
# convert --to cals of PDFs that other programs wrote: img2pdf, libtiff's tiff2pdf, GraphicsMagick
# (Group 4, and 8-bit grey of black and white through Flate, LZW, RunLength and ASCII85),
# Ghostscript's pdfwrite, qpdf's linearized and object-stream rewrites, a damaged cross-reference
# and a turned page. Each CALS file holds the reference page's pels (ImageMagick reads it), a Group 4
# stream that fits is kept byte for byte, a turned page comes out upright as MuPDF draws it, and
# PDFs of other projects' tests give Poppler's pels page by page; what cannot be read is named.
#   pdf-in.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
differ() { compare -metric AE "$1" "$2" null: 2>&1 | sed 's/ .*//' || true; }
record() { head -c 2048 "$1" | tr -c '[:print:]' ' ' | grep -o "$2: *[0-9,]*" | sed "s/$2: *//"; }
mkdir -p "$work/in" "$work/out" "$work/ref"
in="$work/in"

# The reference page: Ghostscript's own Group 4 encoder, one strip, 300 dpi.
gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r300 -g1400x900 -o "$work/ref/page.tif" \
    -c "/Helvetica findfont 70 scalefont setfont 40 500 moveto (Plan 42 rev B) show 6 setlinewidth" \
    -c "20 20 moveto 300 200 lineto stroke 200 120 90 0 360 arc stroke showpage"
convert "$work/ref/page.tif" "$work/ref/page.pbm"
python3 "$(dirname "$0")/tiffstrip.py" "$work/ref/page.tif" "$work/ref/page.strip"

img2pdf "$work/ref/page.tif" -o "$in/img2pdf.pdf"
tiff2pdf -o "$in/tiff2pdf.pdf" "$work/ref/page.tif"
for c in Fax Zip LZW RLE None; do
    gm convert "$work/ref/page.tif" -compress $c "$in/gm-$c.pdf"
done
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o "$in/ghostscript.pdf" "$in/img2pdf.pdf"
qpdf --linearize "$in/img2pdf.pdf" "$in/linearized.pdf"
qpdf --object-streams=generate "$in/img2pdf.pdf" "$in/object-streams.pdf"
# startxref pointing nowhere: the objects are found by a scan.
python3 - "$in/img2pdf.pdf" "$in/damaged-xref.pdf" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
at = data.rindex(b'startxref') + len(b'startxref\n')
end = data.index(b'\n', at)
open(sys.argv[2], 'wb').write(data[:at] + b'17' + data[end:])
PY
while read -r source kept; do
    name=${source%.pdf}
    card convert --to cals -o "$(win "$work/out")" "$(win "$in/$source")" >"$work/log.txt" 2>&1 ||
        fail "$source: $(cat "$work/log.txt")"
    cal="$work/out/$name.cal"
    [ "$(record "$cal" rpelcnt)" = "001400,000900" ] && [ "$(record "$cal" rdensty)" = 0300 ] &&
        [ "$(record "$cal" rorient)" = "000,270" ] || fail "$source: header $(head -c 1408 "$cal" | tr -s ' ')"
    [ "$(differ "$cal" "$work/ref/page.pbm")" = 0 ] || fail "$source: ImageMagick reads other pels"
    if [ "$kept" = yes ]; then
        grep -q '(its Group 4 stream kept)' "$work/log.txt" && cmp -s -i 2048:0 "$cal" "$work/ref/page.strip" ||
            fail "$source: the Group 4 stream is not kept: $(cat "$work/log.txt")"
    fi
    ok
done <<EOF2
img2pdf.pdf yes
tiff2pdf.pdf yes
gm-Fax.pdf yes
gm-Zip.pdf no
gm-LZW.pdf no
gm-RLE.pdf no
gm-None.pdf no
ghostscript.pdf no
linearized.pdf yes
object-streams.pdf yes
damaged-xref.pdf yes
EOF2
card convert --to cals --overwrite -o "$(win "$work/out")" "$(win "$in/damaged-xref.pdf")" >"$work/log.txt" 2>&1
grep -q 'its cross-reference is damaged (.*); its objects were found by a scan' "$work/log.txt" ||
    fail "a damaged cross-reference is not named: $(cat "$work/log.txt")"
ok

# A page turned by /Rotate comes out upright as MuPDF draws it, its stream kept and rorient saying how.
qpdf --rotate=+90 "$in/img2pdf.pdf" "$work/turned.pdf"
card convert --to cals -o "$(win "$work/turned.cal")" "$(win "$work/turned.pdf")" >/dev/null 2>&1 || fail "a turned page"
[ "$(record "$work/turned.cal" rorient)" = "270,270" ] || fail "a turned page: rorient $(record "$work/turned.cal" rorient)"
card render --size 1400 -o "$(win "$work/turned.png")" "$(win "$work/turned.cal")" >/dev/null 2>&1 || fail "render"
mutool draw -q -r 300 -c gray -o "$work/turned-mupdf.png" "$work/turned.pdf" 2>/dev/null
[ "$(differ "$work/turned.png" "$work/turned-mupdf.png")" = 0 ] || fail "a turned page is not shown as MuPDF draws it"
ok

# Other projects' PDFs: each page of one picture gives Poppler's pels of it; the others are named.
# Pages named by their bookmarks (pdfcpu's) are found among the document's pictures by their pels.
real="$(dirname "$0")/../data/realfiles"
while read -r file written expect; do
    rm -rf "$work/real" "$work/poppler"
    mkdir -p "$work/real" "$work/poppler"
    status=0
    card convert --to cals -o "$(win "$work/real")" "$(win "$real/$file")" >"$work/log.txt" 2>&1 || status=$?
    [ "$(ls "$work/real" | wc -l)" = "$written" ] || fail "$file: $(cat "$work/log.txt")"
    [ "$expect" = - ] || grep -q -- "$expect" "$work/log.txt" || fail "$file: $(cat "$work/log.txt")"
    for cal in "$work/real"/*.cal; do
        [ -e "$cal" ] || continue
        page=$(basename "$cal" .cal | sed -n 's/.*-p0*\([0-9]*\)$/\1/p')
        if [ -n "$page" ]; then
            pdfimages -png -f "$page" -l "$page" "$real/$file" "$work/real/poppler"
            [ "$(differ "$cal" "$work/real/poppler-000.png")" = 0 ] || fail "$file page $page: not Poppler's pels"
            rm -f "$work/real/poppler-"*
        else
            [ -n "$(ls "$work/poppler")" ] || pdfimages -png "$real/$file" "$work/poppler/i"
            found=no
            for png in "$work/poppler"/*.png; do
                [ "$(differ "$cal" "$png")" = 0 ] && found=yes && break
            done
            [ $found = yes ] || fail "$file: $(basename "$cal") is none of Poppler's pictures"
        fi
    done
    ok
done <<EOF2
pdfcpu-T6.pdf 2 page.5:.its.page.holds.3.pictures,.not.one.drawing;.left.out
qpdf-fax-decode-parms.pdf 2 page.6:.its.picture.is.a.JPEG.(DCTDecode):.--threshold.N
pdfjs-ccitt_EndOfBlock_false.pdf 0 its.page.holds.6.pictures,.not.one.drawing
pdfjs-images_1bit_grayscale.pdf 0 its.page.holds.9.pictures,.not.one.drawing
EOF2

# --threshold takes the grey, colour and JPEG pages (Windows decodes the JPEG) of the qpdf test
# PDF; --dpi fills in the one page placed at 72 dpi. The JPEG's pels are Poppler's thresholded,
# but for one in a hundred (another decoder, another lightness).
mkdir -p "$work/thresholded"
card convert --to cals --threshold 50 --dpi 72 -o "$(win "$work/thresholded")" "$(win "$real/qpdf-fax-decode-parms.pdf")" \
    >"$work/log.txt" 2>&1 || [ $? = 1 ] || fail "--threshold: $(cat "$work/log.txt")"
[ "$(ls "$work/thresholded" | wc -l)" = 8 ] && grep -q 'pages left out 2' "$work/log.txt" || fail "--threshold: $(cat "$work/log.txt")"
pdfimages -png -f 6 -l 6 "$real/qpdf-fax-decode-parms.pdf" "$work/thresholded/poppler"
convert "$work/thresholded/poppler-000.png" -colorspace gray -threshold 50% "$work/thresholded/poppler.pbm"
[ "$(differ "$work/thresholded/qpdf-fax-decode-parms-p006.cal" "$work/thresholded/poppler.pbm")" -le 3072 ] ||
    fail "the JPEG page: $(differ "$work/thresholded/qpdf-fax-decode-parms-p006.cal" "$work/thresholded/poppler.pbm") pels differ"
ok

# Refused by name, nothing left behind.
mkdir -p "$work/bad" "$work/out-bad"
qpdf --encrypt user owner 256 -- "$in/img2pdf.pdf" "$work/bad/encrypted.pdf"
head -c 700 "$in/img2pdf.pdf" >"$work/bad/cut.pdf"
for f in encrypted:'encrypted: its contents cannot be read without its key' cut:'not a PDF that can be read: its cross-reference is damaged'; do
    name=${f%%:*}
    status=0
    card convert --to cals -o "$(win "$work/out-bad")" "$(win "$work/bad/$name.pdf")" >"$work/log.txt" 2>&1 || status=$?
    [ $status = 1 ] && grep -q "${f#*:}" "$work/log.txt" || fail "$name: $(cat "$work/log.txt")"
done
[ -z "$(ls -A "$work/out-bad")" ] || fail "refused PDFs left $(ls "$work/out-bad")"
ok
echo "PDFs in: $checks checks passed"
