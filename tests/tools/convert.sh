#!/bin/sh
# convert, proved by programs that no one here wrote, on drawings that ImageMagick, GraphicsMagick,
# GDAL (in four orientations) and Ghostscript's own Group 4 encoder wrote: qpdf finds nothing
# wrong; Ghostscript and MuPDF draw exactly the pels of render --size 0, Poppler nearly; the
# stream that pdfimages takes out, and the TIFF's strip, are the drawing's stream byte for byte;
# libtiff decodes the TIFF to the same pels upright; the bookmarks and the title are there.
#   convert.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
# Pels that differ between two pictures (ImageMagick's compare prints the count on stderr).
differ() { compare -metric AE "$1" "$2" null: 2>&1 | sed 's/ .*//' || true; }

mkdir -p "$work/share/FileFormats" "$work/in" "$work/out"
cp "$bin/samples/Scanleaf.ini" "$work/share/FileFormats/" 2>/dev/null ||
    printf '[rtype]\nReadonly=1\n' >"$work/share/FileFormats/Scanleaf.ini"
card settings --shared-folder "$(win "$work/share")" >/dev/null

writers_drawings "$work/in" "000 270" "090 270" "180 090" "270 090"

for f in "$work"/in/*.cal; do
    name=$(basename "$f" .cal)
    pdf="$work/out/$name.pdf"
    tif="$work/out/$name.tif"
    card convert --to pdf -o "$(win "$pdf")" "$(win "$f")" >/dev/null || fail "$name: convert to PDF"
    card convert --to tiff -o "$(win "$tif")" "$(win "$f")" >/dev/null || fail "$name: convert to TIFF"
    card render --size 0 -o "$(win "$work/out/$name.png")" "$(win "$f")" >/dev/null || fail "$name: render"
    dpi=$(head -c 2048 "$f" | tr -c '[:print:]' ' ' | grep -o 'rdensty: *[0-9]*' | grep -o '[0-9]*$' | sed 's/^0*//')
    dpi=${dpi:-200}
    tail -c +2049 "$f" >"$work/out/$name.stream"

    qpdf --check "$pdf" >/dev/null || fail "$name: qpdf --check"
    ok
    images=$(pdfimages -list "$pdf" | tail -n +3)
    size=$(head -c 2048 "$f" | tr -c '[:print:]' ' ' | grep -o 'rpelcnt: *[0-9]*,[0-9]*' | sed 's/rpelcnt: *//; s/,/ /')
    [ "$(echo "$images" | wc -l)" = 1 ] && echo "$images" | grep -q ' ccitt ' &&
        [ "$(echo "$images" | awk '{print $4 + 0, $5 + 0}')" = "$(echo "$size" | awk '{print $1 + 0, $2 + 0}')" ] ||
        fail "$name: pdfimages -list: $images (rpelcnt $size)"
    ok
    pdfimages -ccitt "$pdf" "$work/out/$name-x"
    cmp -s "$work/out/$name-x-000.ccitt" "$work/out/$name.stream" || fail "$name: the PDF's stream differs"
    ok
    gs -q -dSAFER -sDEVICE=pbmraw -r"$dpi" -o "$work/out/$name-gs.pbm" "$pdf"
    [ "$(differ "$work/out/$name-gs.pbm" "$work/out/$name.png")" = 0 ] || fail "$name: Ghostscript draws other pels"
    ok
    mutool draw -q -r "$dpi" -o "$work/out/$name-mu.pbm" "$pdf" 2>/dev/null
    [ "$(differ "$work/out/$name-mu.pbm" "$work/out/$name.png")" = 0 ] || fail "$name: MuPDF draws other pels"
    ok
    # Poppler resamples: on the line drawings it differs in a few pels; on the writers' random
    # noise, where a pel's neighbours tell nothing, in a few more, so those are left to the others.
    case $name in imagemagick-* | graphicsmagick-*) ;; *)
        pdftoppm -r "$dpi" -mono -singlefile "$pdf" "$work/out/$name-pop"
        pels=$(identify -format '%[fx:w*h]' "$work/out/$name.png")
        [ $(($(differ "$work/out/$name-pop.pbm" "$work/out/$name.png") * 50)) -lt "$pels" ] ||
            fail "$name: Poppler differs in 2% or more"
        ok
        ;;
    esac

    info=$(tiffinfo "$tif" 2>&1)
    echo "$info" | grep -q 'Compression Scheme: CCITT Group 4' || fail "$name: tiffinfo: $info"
    echo "$info" | grep -q "Resolution: $dpi, $dpi pixels/inch" || fail "$name: resolution: $info"
    ok
    python3 "$(dirname "$0")/tiffstrip.py" "$tif" "$work/out/$name.strip"
    cmp -s "$work/out/$name.strip" "$work/out/$name.stream" || fail "$name: the TIFF's strip differs"
    ok
    tiffcp -c none "$tif" "$work/out/$name-plain.tif" 2>/dev/null
    convert "$work/out/$name-plain.tif" -auto-orient "$work/out/$name-tiff.png"
    [ "$(differ "$work/out/$name-tiff.png" "$work/out/$name.png")" = 0 ] || fail "$name: libtiff's pels, upright, differ"
    ok
    gdalinfo "$tif" >/dev/null 2>&1 || fail "$name: GDAL cannot read the TIFF"
    identify "$tif" >/dev/null 2>&1 || fail "$name: ImageMagick cannot read the TIFF"
    ok
done

# Several drawings into one document: a page and a bookmark each, in path order.
card convert --to pdf -o "$(win "$work/all.pdf")" "$(win "$work/in")" >/dev/null || fail "convert a folder"
count=$(ls "$work"/in/*.cal | wc -l)
[ "$(pdfinfo "$work/all.pdf" | grep '^Pages:' | awk '{print $2}')" = "$count" ] || fail "not a page per drawing"
[ "$(mutool show "$work/all.pdf" outline | wc -l)" = "$count" ] || fail "not a bookmark per drawing"
mutool show "$work/all.pdf" outline | head -n 1 | grep -q '"gdal-000-270"' || fail "bookmarks not in path order"
card convert --to tiff -o "$(win "$work/all.tif")" "$(win "$work/in")" >/dev/null || fail "convert a folder to TIFF"
[ "$(tiffinfo "$work/all.tif" 2>/dev/null | grep -c 'TIFF Directory at')" = "$count" ] || fail "not a TIFF page per drawing"
ok

# A title with the characters a PDF string must escape, and letters beyond ASCII.
one="$work/in/imagemagick-64x48.cal"
card set "$(win "$one")" 'notes=Plan (rev B) \ café' >/dev/null || fail "set notes"
card convert --to pdf --title notes --overwrite -o "$(win "$work/titled.pdf")" "$(win "$one")" >/dev/null
pdfinfo "$work/titled.pdf" | grep -q '^Title: *Plan (rev B) \\ café$' || fail "title: $(pdfinfo "$work/titled.pdf" | grep Title)"
grep -a -q ' card:notes="Plan (rev B) \\ café"' "$work/titled.pdf" || fail "the card is not in the XMP"
ok

# Nothing broken leaves, and nothing is overwritten unasked.
head -c 2300 "$bin/samples/graphicsmagick-97x61.cal" >"$work/in/cut.cal"
status=0
card convert --to pdf -o "$(win "$work/checked.pdf")" "$(win "$work/in")" >/dev/null 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] && grep -q 'cut.cal: .*; left out' "$work/err.txt" || fail "a damaged drawing: $(cat "$work/err.txt")"
[ "$(pdfinfo "$work/checked.pdf" | grep '^Pages:' | awk '{print $2}')" = "$count" ] || fail "the sound drawings are not all there"
status=0
card convert --to pdf -o "$(win "$work/checked.pdf")" "$(win "$one")" >/dev/null 2>"$work/err.txt" || status=$?
[ "$status" = 1 ] && grep -q 'exists; --overwrite replaces it' "$work/err.txt" || fail "an existing document: $(cat "$work/err.txt")"
ok
echo "convert: $checks checks passed"
