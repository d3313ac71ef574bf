#!/bin/sh
# convert --to cals, proved by programs that no one here wrote: sources that Ghostscript,
# libtiff's tools and ImageMagick wrote, in a table of kinds; ImageMagick, GraphicsMagick and
# GDAL read every CALS file made with the pels of its source, the plug-in opens it and verify
# passes; a one-strip Group 4 page keeps its strip, and comes back from convert --to tiff byte for
# byte; the card is filled as asked; each source that lies is refused and leaves nothing behind.
#   convert-cals.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
differ() { compare -metric AE "$1" "$2" null: 2>&1 | sed 's/ .*//' || true; }
record() { head -c 2048 "$1" | tr -c '[:print:]' ' ' | grep -o "$2: *[0-9,]*" | sed "s/$2: *//"; }
strip() { python3 "$(dirname "$0")/tiffstrip.py" "$1" "$2"; }

mkdir -p "$work/share/FileFormats" "$work/in" "$work/out" "$work/ref"
printf '[rtype]\nReadonly=1\n' >"$work/share/FileFormats/Scanleaf.ini"
card settings --shared-folder "$(win "$work/share")" >/dev/null

# The reference page: Ghostscript's own Group 4 encoder, one strip, 300 dpi.
gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r300 -g1400x900 -o "$work/ref/page.tif" \
    -c "/Helvetica findfont 70 scalefont setfont 40 500 moveto (Plan 42 rev B) show 6 setlinewidth" \
    -c "20 20 moveto 300 200 lineto stroke 200 120 90 0 360 arc stroke showpage"
convert "$work/ref/page.tif" "$work/ref/page.pbm"
strip "$work/ref/page.tif" "$work/ref/page.strip"

# Source kinds: name, options, and how to make it from the reference page.
in="$work/in"
cp "$work/ref/page.tif" "$in/g4-one-strip.tif"
tiffcp -c g4 -r 64 "$work/ref/page.tif" "$in/g4-strips.tif"
tiffcp -c g4 -t -w 256 -l 256 "$work/ref/page.tif" "$in/g4-tiles.tif"
tiffcp -c g4 -f lsb2msb "$work/ref/page.tif" "$in/g4-fill-order-2.tif"
# ImageMagick writes an uncompressed bilevel page with 0 as black; tiffcp codes it as it stands.
convert "$work/ref/page.tif" -type bilevel -compress none "$work/ref/plain.tif"
tiffinfo "$work/ref/plain.tif" | grep -q 'min-is-black' || fail "ImageMagick wrote no page with 0 as black"
tiffcp -c g4 "$work/ref/plain.tif" "$in/g4-0-is-black.tif"
tiffcp -c lzw -r 50 "$work/ref/page.tif" "$in/lzw-strips.tif"
tiffcp -c none "$work/ref/page.tif" "$in/uncompressed.tif"
convert "$work/ref/page.tif" -type bilevel -density 300 -units PixelsPerInch "$in/png-bilevel.png"
convert "$work/ref/page.tif" -type bilevel -density 300 -units PixelsPerInch "BMP3:$in/bmp-bilevel.bmp"
convert "$work/ref/page.tif" "$in/no-resolution.gif"
convert "$work/ref/page.tif" -colorspace gray -density 300 -units PixelsPerInch -quality 95 "$in/grey.jpg"
convert "$work/ref/page.tif" -density 300 -units PixelsPerInch -fill red -opaque black "$in/red.png"
while read -r source options; do
    name=${source%.*}
    # shellcheck disable=SC2086
    card convert --to cals $options -o "$(win "$work/out")" "$(win "$in/$source")" >"$work/log.txt" 2>&1 ||
        fail "$source: $(cat "$work/log.txt")"
    cal="$work/out/$name.cal"
    [ "$(record "$cal" rpelcnt)" = "001400,000900" ] && [ "$(record "$cal" rdensty)" = 0300 ] &&
        [ "$(record "$cal" rorient)" = "000,270" ] || fail "$source: header $(head -c 1408 "$cal" | tr -s ' ')"
    ok
    # The readers: each gives the reference page's pels (a JPEG's threshold is allowed a few).
    limit=0
    [ "$source" = grey.jpg ] && limit=200
    [ "$(differ "$cal" "$work/ref/page.pbm")" -le $limit ] || fail "$source: ImageMagick reads other pels"
    gm convert "$cal" "$work/out/$name-gm.pbm" && [ "$(differ "$work/out/$name-gm.pbm" "$work/ref/page.pbm")" -le $limit ] ||
        fail "$source: GraphicsMagick reads other pels"
    gdal_translate -q -of PNG "$cal" "$work/out/$name-gdal.png" &&
        [ "$(differ "$work/out/$name-gdal.png" "$work/ref/page.pbm")" -le $limit ] || fail "$source: GDAL reads other pels"
    ok
    # Same pels, same stream: the encoder writes what libtiff (in Ghostscript) wrote.
    if [ $limit = 0 ]; then
        tail -c +2049 "$cal" | cmp -s - "$work/ref/page.strip" || fail "$source: the stream is not the reference strip"
        ok
    fi
    grep -q "(its Group 4 strip kept)" "$work/log.txt" && kept=yes || kept=no
    [ "$kept" = "$(case $source in g4-one-strip.tif) echo yes ;; *) echo no ;; esac)" ] || fail "$source: kept=$kept"
done <<EOF2
g4-one-strip.tif
g4-strips.tif
g4-tiles.tif
g4-fill-order-2.tif
g4-0-is-black.tif
lzw-strips.tif
uncompressed.tif
png-bilevel.png
bmp-bilevel.bmp
no-resolution.gif --dpi 300
grey.jpg --threshold 50
red.png --threshold 50
EOF2
card verify "$(win "$work/out")" >"$work/log.txt" 2>&1 || fail "verify: $(cat "$work/log.txt")"
ok

# Back to TIFF: the one-strip page gives its strip back byte for byte.
card convert --to tiff -o "$(win "$work/back.tif")" "$(win "$work/out/g4-one-strip.cal")" >/dev/null 2>&1
strip "$work/back.tif" "$work/back.strip"
cmp -s "$work/back.strip" "$work/ref/page.strip" || fail "CALS and back: the strip differs"
ok

# Several pages, an orientation, and a folder.
mkdir -p "$work/pages" "$work/out-pages"
tiffcp "$work/ref/page.tif" "$in/g4-strips.tif" "$work/pages/two.tif"
cp "$work/ref/page.tif" "$work/pages/turned.tif"
tiffset -s 274 6 "$work/pages/turned.tif"
card convert --to cals -o "$(win "$work/out-pages")" "$(win "$work/pages")" >/dev/null 2>&1 || fail "a folder of pages"
for page in two-p001 two-p002; do
    tail -c +2049 "$work/out-pages/$page.cal" | cmp -s - "$work/ref/page.strip" || fail "$page: not the page's stream"
done
[ "$(record "$work/out-pages/turned.cal" rorient)" = "270,270" ] || fail "Orientation 6: $(record "$work/out-pages/turned.cal" rorient)"
card convert --to tiff -o "$(win "$work/turned-back.tif")" "$(win "$work/out-pages/turned.cal")" >/dev/null 2>&1
tiffinfo "$work/turned-back.tif" 2>/dev/null | grep -q 'Orientation: row 0 rhs, col 0 top' || fail "the orientation does not come back"
ok

# The card: a table row by SourceFile, and --set over it; read back through the plug-in.
printf 'SourceFile,srcdocid,notes,width [ro]\r\n%s,PLAN-42,from the table,999\r\n' "$(win "$in/png-bilevel.png")" >"$work/cards.csv"
card convert --to cals --table "$(win "$work/cards.csv")" --set "notes=from --set" -o "$(win "$work/carded.cal")" \
    "$(win "$in/png-bilevel.png")" >/dev/null 2>&1 || fail "a card from a table"
card show "$(win "$work/carded.cal")" >"$work/show.txt"
grep -q 'srcdocid *PLAN-42' "$work/show.txt" && grep -q 'notes *from --set' "$work/show.txt" &&
    grep -q 'width *\[ro\] 1400' "$work/show.txt" || fail "the card: $(cat "$work/show.txt")"
ok

# --table as careful as import: a row of no picture, a picture without a row, and a relative
# SourceFile read from the current folder; ANSI with --encoding ansi and ";" with --delimiter.
mkdir -p "$work/tabled" "$work/out-tabled"
cp "$in/png-bilevel.png" "$work/tabled/one.png"
cp "$in/png-bilevel.png" "$work/tabled/two.png"
printf 'SourceFile,notes\r\n%s,first\r\n%s,stray\r\n' "$(win "$work/tabled/one.png")" "$(win "$work/tabled/none.png")" >"$work/rows.csv"
status=0
card convert --to cals --table "$(win "$work/rows.csv")" -o "$(win "$work/out-tabled")" "$(win "$work/tabled")" \
    >"$work/log.txt" 2>&1 || status=$?
[ $status = 1 ] && grep -q 'row 3: .*none.png is no picture of this run' "$work/log.txt" &&
    grep -q 'two.png has no row' "$work/log.txt" && [ -z "$(ls -A "$work/out-tabled")" ] ||
    fail "--table rows and pictures: $(cat "$work/log.txt")"
printf 'SourceFile;notes\r\none.png;caf\351\r\ntwo.png;second\r\n' >"$work/tabled/rows.csv"
(cd "$work/tabled" && card convert --to cals --table rows.csv --encoding ansi --delimiter ';' \
    -o "$(win "$work/out-tabled")" "$(win "$work/tabled/one.png")" "$(win "$work/tabled/two.png")") >"$work/log.txt" 2>&1 ||
    fail "--table relative, ansi, ';': $(cat "$work/log.txt")"
card show "$(win "$work/out-tabled/one.cal")" | grep -q 'notes *café' || fail "--table ansi: $(card show "$(win "$work/out-tabled/one.cal")")"
ok

# Refused, by name, with nothing left behind: sources that lie, values that cannot be stored,
# grey without a threshold, and a file that exists.
mkdir -p "$work/bad" "$work/out-bad"
python3 - "$work/ref/page.tif" "$work/bad" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
ifd = struct.unpack_from('<I', data, 4)[0]
entries = {}
for i in range(struct.unpack_from('<H', data, ifd)[0]):
    at = ifd + 2 + 12 * i
    entries[struct.unpack_from('<H', data, at)[0]] = at
def edit(name, changes):
    copy = bytearray(data)
    for tag, value in changes:
        struct.pack_into('<HI', copy, entries[tag] + 2, 4, 1)
        struct.pack_into('<I', copy, entries[tag] + 8, value)
    open(sys.argv[2] + '/' + name, 'wb').write(copy)
edit('strip-past-end.tif', [(273, len(data) + 1000)])
edit('width-0.tif', [(256, 0)])
edit('huge.tif', [(256, 100000), (257, 100000)])
edit('rows-missing.tif', [(257, 5000), (278, 5000)])
open(sys.argv[2] + '/truncated.tif', 'wb').write(data[:len(data) // 2])
edit('three-planes.tif', [(277, 3)])
PY
head -c 3000 "$in/grey.jpg" >"$work/bad/damaged.jpg"
for f in strip-past-end:'lies past the file' width-0:'a size of 0' huge:'claims 100000 by 100000' \
    rows-missing:'holds 900 of 5000 rows' truncated:'lies past the file' \
    three-planes:'gives 3 sample(s) of 1 bit(s)' damaged.jpg:'not a picture that Windows can read'; do
    name=${f%%:*}
    case $name in *.*) ;; *) name=$name.tif ;; esac
    status=0
    card convert --to cals -o "$(win "$work/out-bad")" "$(win "$work/bad/$name")" >"$work/log.txt" 2>&1 || status=$?
    [ $status = 1 ] && grep -q "$name: .*${f#*:}.*; nothing written" "$work/log.txt" || fail "$name: $(cat "$work/log.txt")"
    # Only the plug-in's own open speaks of the settings file.
    ! grep -q 'Scanleaf.ini' "$work/log.txt" || fail "$name: a settings file named for no reason: $(cat "$work/log.txt")"
done
ok
# A 1-bit palette of white and yellow is a colour picture: --threshold decides, and a threshold
# that leaves it blank is named, not written.
convert -size 64x48 xc:white -fill yellow -draw 'rectangle 10,10 40,30' -define png:bit-depth=1 \
    -define png:color-type=3 -density 300 -units PixelsPerInch "$work/yellow.png"
while read -r expect options; do
    status=0
    # shellcheck disable=SC2086
    card convert --to cals $options -o "$(win "$work/out-bad")" "$(win "$work/yellow.png")" >"$work/log.txt" 2>&1 || status=$?
    [ $status = 1 ] && grep -q -- "$expect" "$work/log.txt" || fail "yellow $options: $(cat "$work/log.txt")"
done <<EOF2
colour.pels:.--threshold.N
the.drawing.would.be.blank --threshold 50
EOF2
card convert --to cals --threshold 95 -o "$(win "$work/yellow.cal")" "$(win "$work/yellow.png")" >/dev/null 2>&1 ||
    fail "yellow --threshold 95"
convert -size 64x48 xc:white -fill black -draw 'rectangle 10,10 40,30' "$work/yellow-ref.pbm"
[ "$(differ "$work/yellow.cal" "$work/yellow-ref.pbm")" = 0 ] || fail "yellow --threshold 95: other pels"
ok
while read -r expect options; do
    status=0
    # shellcheck disable=SC2086
    card convert --to cals $options -o "$(win "$work/out-bad")" "$(win "$in/grey.jpg")" >"$work/log.txt" 2>&1 || status=$?
    [ $status = 1 ] && grep -q -- "$expect" "$work/log.txt" || fail "$options: $(cat "$work/log.txt")"
done <<EOF2
--threshold
nosuch:.not.a.variable --threshold 50 --set nosuch=1
rtype:.read-only --threshold 50 --set rtype=2
does.not.fit --threshold 50 --set notes=$(printf '%0200d' 0)
EOF2
# One resolution rule: none stated, 72 or 96 (what programs write, and decoders report, when they
# know none), not the same both ways, or outside 50 to 2400 gives no density, and --dpi N is asked
# for with the reason; -o naming one CALS file takes one picture.
mkdir -p "$work/dpi"
cp "$work/ref/page.tif" "$work/dpi/at-72.tif" && tiffset -s 282 72 "$work/dpi/at-72.tif" && tiffset -s 283 72 "$work/dpi/at-72.tif"
cp "$work/ref/page.tif" "$work/dpi/200-by-100.tif" && tiffset -s 283 100 "$work/dpi/200-by-100.tif"
tiffset -s 282 200 "$work/dpi/200-by-100.tif"
cp "$work/ref/page.tif" "$work/dpi/no-unit.tif" && tiffset -s 296 1 "$work/dpi/no-unit.tif"
cp "$work/ref/page.tif" "$work/dpi/at-10.tif" && tiffset -s 282 10 "$work/dpi/at-10.tif" && tiffset -s 283 10 "$work/dpi/at-10.tif"
convert "$work/ref/page.tif" -type bilevel -density 96 -units PixelsPerInch "$work/dpi/at-96.png"
cp "$in/no-resolution.gif" "$work/dpi/"
while read -r source expect; do
    status=0
    card convert --to cals -o "$(win "$work/out-bad")" "$(win "$work/dpi/$source")" >"$work/log.txt" 2>&1 || status=$?
    [ $status = 1 ] && grep -q -- "$source: $expect: --dpi N says its pels per inch" "$work/log.txt" ||
        fail "$source: $(cat "$work/log.txt")"
done <<EOF2
at-72.tif gives 72 dpi, which programs write when they know none
200-by-100.tif gives 200 by 100 dpi, not the same both ways
no-unit.tif gives no resolution
at-10.tif gives 10 dpi, outside 50 to 2400
at-96.png gives 96 dpi, which programs write when they know none
no-resolution.gif gives 96 dpi, which programs write when they know none
EOF2
status=0
card convert --to cals -o "$(win "$work/out-bad/one.cal")" "$(win "$in")" >"$work/log.txt" 2>&1 || status=$?
[ $status = 1 ] && grep -q 'names one file, for 12 pictures; name a folder' "$work/log.txt" || fail "-o FILE: $(cat "$work/log.txt")"
[ -z "$(ls -A "$work/out-bad")" ] || fail "refused sources left $(ls "$work/out-bad")"
ok
status=0
card convert --to cals -o "$(win "$work/out")" "$(win "$in/png-bilevel.png")" >"$work/log.txt" 2>&1 || status=$?
[ $status = 1 ] && grep -q 'exists; --overwrite replaces it' "$work/log.txt" || fail "an existing file: $(cat "$work/log.txt")"
card convert --to cals --overwrite -o "$(win "$work/out")" "$(win "$in/png-bilevel.png")" >/dev/null 2>&1 || fail "--overwrite"
ok
# Real Group 4 files from other projects' tests (tests/data/realfiles): each page gives the pels
# libtiff (through ImageMagick) reads, or the file is refused with the true reason.
real="$(dirname "$0")/../data/realfiles"
mkdir -p "$work/real" "$work/out-real"
while read -r file pages expect; do
    cp "$real/$file" "$work/real/$file"
    status=0
    card convert --to cals --dpi 200 -o "$(win "$work/out-real")" "$(win "$work/real/$file")" >"$work/log.txt" 2>&1 ||
        status=$?
    if [ "$expect" != - ]; then
        [ $status = 1 ] && grep -q -- "$expect" "$work/log.txt" || fail "$file: $(cat "$work/log.txt")"
        continue
    fi
    [ $status = 0 ] || fail "$file: $(cat "$work/log.txt")"
    p=0
    while [ $p -lt "$pages" ]; do
        name=${file%.*}
        [ "$pages" -gt 1 ] && name=$(printf '%s-p%03d' "$name" $((p + 1)))
        convert "$work/real/$file[$p]" "$work/real/page.pbm"
        [ "$(differ "$work/out-real/$name.cal" "$work/real/page.pbm")" = 0 ] || fail "$file page $((p + 1)): other pels"
        p=$((p + 1))
    done
    ok
done <<EOF2
pillow-g4-fillorder-test.tif 1 -
imagetiff-fax4.tiff 1 -
serenity-ccitt4.tiff 1 -
pillow-g4-multi.tiff 3 -
leptonica-minisblack.tif 1 -
leptonica-miniswhite.tif 1 -
twelvemonkeys-fivepages-scan-causingerrors.tif 5 -
golang-bw-gopher_ccittGroup4.tiff 1 -
twelvemonkeys-ccitt-too-many-changes.tif 1 -
pdfbox-ccittg4multi.tif 3 -
pillow-crash-74d2a784.tif 1 ImageWidth.is.given.twice:.88.and.590
commonsimaging-1pagefax.tif 1 -
imagetiff-libtiffpic-fax2d.tif 1 -
pillow-total-pages-zero.tif 3 -
serenity-ccitt_rle.tiff 1 -
twelvemonkeys-group3_2d_lsb2msb.tif 1 -
twelvemonkeys-contrib-multipage.tif 3 -
twelvemonkeys-g3aoe.tif 1 strip.1,.row.1:.no.end-of-line.code.before.the.row
EOF2
# Pictures that state what they are: a strip that holds more rows than ImageLength is coded
# again from the page's own rows (libtiff reads those); a stated resolution is kept and a --dpi
# that differs named; a fax page of a two-colour palette (light grey and dark brown) is mapped
# through it, by --threshold where it is not black and white.
mkdir -p "$work/stated" "$work/out-stated"
python3 - "$work/ref/page.tif" "$work/stated" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
ifd = struct.unpack_from('<I', data, 4)[0]
count = struct.unpack_from('<H', data, ifd)[0]
entries = [list(struct.unpack_from('<HHII', data, ifd + 2 + 12 * i)) for i in range(count)]
def write(name, entries, extra=b''):
    out = bytearray(data) + extra
    if len(out) % 2:
        out += b'\0'
    at = len(out)
    out += struct.pack('<H', len(entries))
    for e in sorted(entries):
        out += struct.pack('<HHII', *e)
    out += struct.pack('<I', 0)
    struct.pack_into('<I', out, 4, at)
    open(sys.argv[2] + '/' + name, 'wb').write(out)
# ImageLength and RowsPerStrip of 700: the strip codes 900.
write('more-rows.tif', [[t, k, c, 700 if t in (257, 278) else v] for t, k, c, v in entries])
# A palette: index 0 light grey, 1 dark brown (ColorMap after the file's bytes).
colours = struct.pack('<6H', 0xD3D3, 0x6565, 0xD3D3, 0x4343, 0xD3D3, 0x2121)
palette = [[t, k, c, 3 if t == 262 else v] for t, k, c, v in entries] + [[320, 3, 6, len(data) + len(data) % 2]]
write('palette.tif', palette, (b'\0' if len(data) % 2 else b'') + colours)
PY
card convert --to cals -o "$(win "$work/out-stated")" "$(win "$work/stated/more-rows.tif")" >"$work/log.txt" 2>&1 ||
    fail "more rows: $(cat "$work/log.txt")"
grep -q 'coded again from its first 700 rows: its strip holds more than ImageLength names' "$work/log.txt" ||
    fail "more rows, not named: $(cat "$work/log.txt")"
convert "$work/stated/more-rows.tif" "$work/stated/more-rows.pbm" 2>/dev/null
[ "$(record "$work/out-stated/more-rows.cal" rpelcnt)" = "001400,000700" ] &&
    [ "$(differ "$work/out-stated/more-rows.cal" "$work/stated/more-rows.pbm")" = 0 ] || fail "more rows: not libtiff's pels"
card verify "$(win "$work/out-stated/more-rows.cal")" >/dev/null 2>&1 || fail "more rows: verify calls it damaged"
card convert --to cals --dpi 200 -o "$(win "$work/out-stated/stated.cal")" "$(win "$work/ref/page.tif")" >"$work/log.txt" 2>&1 ||
    fail "--dpi over a stated resolution: $(cat "$work/log.txt")"
[ "$(record "$work/out-stated/stated.cal" rdensty)" = 0300 ] &&
    grep -q '(it states 300 dpi, which it keeps; --dpi 200 is for pictures that state none)' "$work/log.txt" ||
    fail "--dpi over a stated resolution: $(record "$work/out-stated/stated.cal" rdensty) $(cat "$work/log.txt")"
status=0
card convert --to cals -o "$(win "$work/out-stated")" "$(win "$work/stated/palette.tif")" >"$work/log.txt" 2>&1 || status=$?
[ $status = 1 ] && grep -q 'a palette of two colours other than black and white: --threshold N' "$work/log.txt" ||
    fail "a palette without --threshold: $(cat "$work/log.txt")"
card convert --to cals --threshold 50 -o "$(win "$work/out-stated")" "$(win "$work/stated/palette.tif")" >"$work/log.txt" 2>&1 ||
    fail "a palette: $(cat "$work/log.txt")"
[ "$(differ "$work/out-stated/palette.cal" "$work/ref/page.pbm")" = 0 ] || fail "a palette: other pels"
ok
# Pages of the kinds archives hold, made with libtiff's and ImageMagick's tools: one pel wide and
# 65,537 rows high, a strip of 0 bytes, and a second directory that lies past the file's end.
mkdir -p "$work/kinds" "$work/out-kinds"
# (ImageMagick refuses a picture that high: the page is written here, uncompressed, and tiffcp
# codes it in strips, and once in one strip as the reference.)
python3 - "$work/kinds/tall-raw.tif" <<'PY'
import struct, sys
rows = 65537
pels = bytearray(rows)
for r in (0, 100, 65536):
    pels[r] = 0x80
entries = [(256, 4, 1), (257, 4, rows), (258, 3, 1), (259, 3, 1), (262, 3, 0), (273, 4, 8), (277, 3, 1),
           (278, 4, rows), (279, 4, rows), (282, 5, None), (283, 5, None), (296, 3, 2)]
ifd = 8 + rows + (rows & 1)
rational = ifd + 2 + 12 * len(entries) + 4
out = bytearray(b'II*\0' + struct.pack('<I', ifd)) + pels + b'\0' * (rows & 1)
out += struct.pack('<H', len(entries))
for tag, kind, value in entries:
    out += struct.pack('<HHI', tag, kind, 1) + struct.pack('<I', rational if value is None else value)
out += struct.pack('<I', 0) + struct.pack('<II', 200, 1)
open(sys.argv[1], 'wb').write(out)
PY
tiffcp -c g4 -r 4096 "$work/kinds/tall-raw.tif" "$work/kinds/tall.tif"
tiffcp -c g4 -r 65537 "$work/kinds/tall-raw.tif" "$work/kinds/tall-one-strip.tif"
strip "$work/kinds/tall-one-strip.tif" "$work/kinds/tall.strip"
card convert --to cals -o "$(win "$work/out-kinds")" "$(win "$work/kinds/tall.tif")" >"$work/log.txt" 2>&1 ||
    fail "one pel wide: $(cat "$work/log.txt")"
[ "$(record "$work/out-kinds/tall.cal" rpelcnt)" = "000001,065537" ] || fail "one pel wide: $(record "$work/out-kinds/tall.cal" rpelcnt)"
tail -c +2049 "$work/out-kinds/tall.cal" | cmp -s - "$work/kinds/tall.strip" || fail "one pel wide: not libtiff's stream of its pels"
tiffcp -c g3 "$work/ref/page.tif" "$work/kinds/g3.tif" 2>/dev/null
python3 - "$work/kinds/g3.tif" "$work/kinds" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
ifd = struct.unpack_from('<I', data, 4)[0]
count = struct.unpack_from('<H', data, ifd)[0]
for i in range(count):
    at = ifd + 2 + 12 * i
    if struct.unpack_from('<H', data, at)[0] == 279:
        zero = bytearray(data)
        struct.pack_into('<I', zero, at + 8, 0)
        open(sys.argv[2] + '/strip-of-0.tif', 'wb').write(zero)
broken = bytearray(data)
struct.pack_into('<I', broken, ifd + 2 + 12 * count, len(data) + 4096)
open(sys.argv[2] + '/second-directory.tif', 'wb').write(broken)
PY
for f in strip-of-0:'strip 1, row 1: the data ends' second-directory:'not a sound TIFF file: a directory past the file'; do
    name=${f%%:*}
    status=0
    card convert --to cals -o "$(win "$work/out-kinds")" "$(win "$work/kinds/$name.tif")" >"$work/log.txt" 2>&1 || status=$?
    [ $status = 1 ] && grep -q "${f#*:}" "$work/log.txt" || fail "$name: $(cat "$work/log.txt")"
done
ok
echo "convert --to cals: $checks checks passed"
