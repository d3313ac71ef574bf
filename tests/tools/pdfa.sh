#!/bin/sh
# convert --pdfa, proved by Apache PDFBox's Preflight (PDF/A-1b) on drawings that ImageMagick,
# GraphicsMagick, GDAL (all eight orientations) and Ghostscript wrote, with titles and card values
# beyond ASCII, and on a hundred drawings in one document, each page holding its own card; the
# PDF/A-2b items Preflight does not check; a drawing longer than PDF/A-1 holds; and the card that a
# TIFF carries back to CALS.
#   pdfa.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
jars=/usr/share/java
preflight() {
    java -cp "$jars/preflight.jar:$jars/pdfbox2.jar:$jars/fontbox2.jar:$jars/xmpbox.jar:$jars/commons-logging.jar:$jars/javax.activation.jar:$jars/jaxb-api.jar" \
        org.apache.pdfbox.preflight.Validator_A1b "$1" >"$work/preflight.txt" 2>&1 ||
        fail "Preflight: $(cat "$work/preflight.txt")"
    grep -q 'is a valid PDF/A-1b file' "$work/preflight.txt" || fail "Preflight: $(cat "$work/preflight.txt")"
}
differ() { compare -metric AE "$1" "$2" null: 2>&1 | sed 's/ .*//' || true; }
records() { card show "$(win "$1")" | tail -n +2; }

mkdir -p "$work/share/FileFormats" "$work/in" "$work/out"
card settings --shared-folder "$(win "$work/share")" >/dev/null
writers_drawings "$work/in" "000 270" "090 270" "180 270" "270 270" "000 090" "090 090" "180 090" "270 090"
# A title beyond ASCII (the file's name) and card values beyond it (the ANSI code page's letters).
cp "$bin/samples/imagemagick-64x48.cal" "$work/in/Größe ✓ 図面.cal"
for f in "$work/in/Größe ✓ 図面.cal" "$work/in/gdal-090-270.cal"; do
    card set "$(win "$f")" 'notes=Maße (rev B) & <café>' >/dev/null || fail "set notes"
done

# Each drawing alone: valid PDF/A-1b, its stream unchanged, drawn as render draws it by Ghostscript
# and MuPDF.
for f in "$work"/in/*.cal; do
    name=$(basename "$f" .cal)
    pdf="$work/out/$name.pdf"
    card convert --to pdf --pdfa 1b -o "$(win "$pdf")" "$(win "$f")" >/dev/null || fail "$name: convert --pdfa 1b"
    preflight "$pdf"
    qpdf --check "$pdf" >/dev/null || fail "$name: qpdf --check"
    ok
    tail -c +2049 "$f" >"$work/out/$name.stream"
    pdfimages -ccitt "$pdf" "$work/out/$name-x"
    cmp -s "$work/out/$name-x-000.ccitt" "$work/out/$name.stream" || fail "$name: the PDF/A's stream differs"
    dpi=$(head -c 2048 "$f" | tr -c '[:print:]' ' ' | grep -o 'rdensty: *[0-9]*' | grep -o '[0-9]*$' | sed 's/^0*//')
    card render --size 0 -o "$(win "$work/out/$name.png")" "$(win "$f")" >/dev/null || fail "$name: render"
    gs -q -dSAFER -sDEVICE=pbmraw -r"${dpi:-200}" -o "$work/out/$name-gs.pbm" "$pdf"
    [ "$(differ "$work/out/$name-gs.pbm" "$work/out/$name.png")" = 0 ] || fail "$name: Ghostscript draws other pels"
    mutool draw -q -r "${dpi:-200}" -o "$work/out/$name-mu.pbm" "$pdf" 2>/dev/null
    [ "$(differ "$work/out/$name-mu.pbm" "$work/out/$name.png")" = 0 ] || fail "$name: MuPDF draws other pels"
    ok
done
pdfinfo "$work/out/Größe ✓ 図面.pdf" | grep -q '^Title: *Größe ✓ 図面$' || fail "a title beyond ASCII"
ok

# All of them in one document, 1b and 2b: every page's image holds its own card.
count=$(ls "$work"/in/*.cal | wc -l)
card convert --to pdf --pdfa 1b -o "$(win "$work/all-1b.pdf")" "$(win "$work/in")" >/dev/null || fail "convert a folder, 1b"
preflight "$work/all-1b.pdf"
[ "$(grep -a -c ' card:notes="Maße (rev B) &amp; &lt;café&gt;"' "$work/all-1b.pdf")" = 2 ] ||
    fail "the two cards with notes are not both there"
[ "$(grep -a -c '<pdfaProperty:name>notes</pdfaProperty:name>' "$work/all-1b.pdf")" = 1 ] || fail "notes is not described once"
ok
card convert --to pdf --pdfa -o "$(win "$work/all-2b.pdf")" "$(win "$work/in")" >/dev/null || fail "convert a folder, 2b"
pdf=$work/all-2b.pdf
head -c 8 "$pdf" | grep -q '%PDF-1.7' || fail "2b: not PDF 1.7"
grep -a -q '<pdfaid:part>2</pdfaid:part>' "$pdf" && grep -a -q '<pdfaid:conformance>B</pdfaid:conformance>' "$pdf" ||
    fail "2b: no PDF/A-2b identification"
qpdf --check "$pdf" >/dev/null || fail "2b: qpdf --check"
qpdf --json --json-key=qpdf "$pdf" >"$work/2b.json"
python3 - "$work/2b.json" "$count" <<'EOF' || fail "2b: the document's structure"
import json, sys
doc = json.load(open(sys.argv[1]))['qpdf'][1]
objects = {k[4:].split(' ')[0] if k.startswith('obj:') else k: v for k, v in doc.items()}
trailer = objects['trailer']['value']
ids = trailer['/ID']
assert len(ids) == 2 and ids[0] == ids[1] and len(ids[0]) == 34, ids   # b:32 hex digits
catalog = objects[trailer['/Root'].split(' ')[0]]['value']
intents = catalog['/OutputIntents']
assert len(intents) == 1
intent = objects[intents[0].split(' ')[0]]['value']
assert intent['/S'] == '/GTS_PDFA1', intent
profile = objects[intent['/DestOutputProfile'].split(' ')[0]]['stream']['dict']
assert profile['/N'] == 1, profile
images = [v['stream']['dict'] for v in objects.values() if 'stream' in v and v['stream']['dict'].get('/Subtype') == '/Image']
assert len(images) == int(sys.argv[2]), len(images)
for image in images:
    assert '/Interpolate' not in image and '/Metadata' in image, image
EOF
ok

# A hundred drawings, each with its own value: every card in the one valid document.
python3 - "$bin/samples/imagemagick-64x48.cal" "$work/hundred" <<'EOF'
import os, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(b'notes:')
os.makedirs(sys.argv[2])
for n in range(100):
    data[at:at + 128] = ('notes: Blatt %03d Größe' % n).encode('cp1252').ljust(128, b' ')
    open(os.path.join(sys.argv[2], 'sheet-%03d.cal' % n), 'wb').write(data)
EOF
card convert --to pdf --pdfa 1b -o "$(win "$work/hundred.pdf")" "$(win "$work/hundred")" >/dev/null || fail "a hundred drawings"
preflight "$work/hundred.pdf"
[ "$(pdfinfo "$work/hundred.pdf" | grep '^Pages:' | awk '{print $2}')" = 100 ] || fail "not a hundred pages"
for n in $(seq -w 0 99); do
    grep -a -q " card:notes=\"Blatt 0$n Größe\"" "$work/hundred.pdf" || fail "the card of sheet $n is missing"
done
ok

# Longer than 200 inches (60,100 by 300 pels at 300 dpi): left out of PDF/A-1b, named; kept at its size by PDF/A-2b.
gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r300 -g60100x300 -o "$work/long.tif" -c "0 0 moveto 14424 72 lineto stroke showpage"
python3 "$(dirname "$0")/gscals.py" "$work/long.tif" "$work/long.cal"
status=0
card convert --to pdf --pdfa 1b -o "$(win "$work/long-1b.pdf")" "$(win "$work/long.cal")" >/dev/null 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] && grep -q 'long.cal: larger than 200 inches, which PDF/A-1 cannot hold.*; left out' "$work/err.txt" &&
    [ ! -e "$work/long-1b.pdf" ] || fail "a long drawing in 1b: $status $(cat "$work/err.txt")"
card convert --to pdf --pdfa 2b -o "$(win "$work/long-2b.pdf")" "$(win "$work/long.cal")" >/dev/null || fail "a long drawing in 2b"
grep -a -q '/UserUnit 2' "$work/long-2b.pdf" && qpdf --check "$work/long-2b.pdf" >/dev/null || fail "a long drawing's page in 2b"
ok

# CALS to TIFF to CALS: the same records and stream; --set wins over the carried card; a carried
# value that does not fit its slot is refused.
one="$work/in/gdal-090-270.cal"
card convert --to tiff -o "$(win "$work/one.tif")" "$(win "$one")" >/dev/null || fail "to TIFF"
card convert --to cals -o "$(win "$work/back.cal")" "$(win "$work/one.tif")" >/dev/null || fail "back to CALS"
[ "$(records "$one")" = "$(records "$work/back.cal")" ] || fail "the records differ: $(records "$work/back.cal")"
tail -c +2049 "$work/back.cal" | cmp -s - "$work/out/gdal-090-270.stream" || fail "the stream differs"
card convert --to cals --set notes=Other -o "$(win "$work/set.cal")" "$(win "$work/one.tif")" >/dev/null || fail "--set"
records "$work/set.cal" | grep -q 'notes.*Other' || fail "--set does not win: $(records "$work/set.cal")"
ok
python3 - "$work/one.tif" "$work/long-note.tif" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
end = '<' if data[:2] == b'II' else '>'
ifd = struct.unpack_from(end + 'I', data, 4)[0]
for i in range(struct.unpack_from(end + 'H', data, ifd)[0]):
    at = ifd + 2 + 12 * i
    tag, kind, count, offset = struct.unpack_from(end + 'HHII', data, at)
    if tag == 700:
        packet = bytes(data[offset:offset + count])
        start = packet.index(b' card:notes="') + len(b' card:notes="')
        stop = packet.index(b'"', start)
        packet = packet[:start] + b'x' * 300 + packet[stop:]
        struct.pack_into(end + 'II', data, at + 4, len(packet), len(data))
        data += packet
open(sys.argv[2], 'wb').write(data)
EOF
status=0
card convert --to cals -o "$(win "$work/long-note.cal")" "$(win "$work/long-note.tif")" >/dev/null 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] && grep -q 'notes: .* does not fit its slot' "$work/err.txt" && [ ! -e "$work/long-note.cal" ] ||
    fail "a carried value too long: $status $(cat "$work/err.txt")"
ok
echo "pdfa: $checks checks passed"
