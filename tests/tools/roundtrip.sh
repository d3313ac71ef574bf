#!/bin/sh
# Drawings that come back: every drawing the tests know, handed on as TIFF, PDF and PDF/A and
# converted to CALS again, is the same file byte for byte, under no settings file (no shared
# folder), a flat one and one of sub-fields; headers as other programs write them included. A
# record edited since by another program is named, and the picture's own records win.
#   roundtrip.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
mkdir -p "$work/drawings" "$work/share/FileFormats" "$work/real"
writers_drawings "$work/drawings" "000 270" "090 270" "180 270" "270 270" "000 090" "090 090" "180 090" "270 090"

# Headers as other programs write them, around GraphicsMagick's stream: capitals, a docls record,
# numbers without padding, NUL padding, tabs, records out of the standard's order.
python3 - "$bin/samples/graphicsmagick-97x61.cal" "$work/drawings" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
stream = data[2048:]
def header(records, pad=b' ', fill=b' '):
    return b''.join(r.ljust(128, pad) for r in records).ljust(2048, fill)
variants = {
    'capitals': header([b'SRCDOCID: A3-000471-00 001 B', b'RTYPE: 1', b'RORIENT: 000,270', b'RPELCNT: 000097,000061', b'RDENSTY: 0200']),
    'docls': header([b'srcdocid: NONE', b'docls: 3', b'rtype: 1', b'rorient: 000,270', b'rpelcnt: 000097,000061', b'rdensty: 0200', b'notes: NONE']),
    'unpadded': header([b'rtype: 1', b'rpelcnt: 97,61', b'rdensty: 200', b'rorient: 0,270', b'notes: x']),
    'nul-padded': header([b'srcdocid: NUL', b'rtype: 1', b'rpelcnt: 000097,000061', b'rdensty: 0200'], b'\0', b'\0'),
    'tabs': header([b'srcdocid:\tTAB\t1', b'rtype:\t1', b'rpelcnt:\t000097,000061', b'rorient: 000,270', b'rdensty: 0200\t']),
    'no-density': header([b'rpelcnt: 000097,000061', b'rtype: 1', b'dstdocid: 2026-12-09 MB', b'rdensty: NONE', b'srcdocid: A3-000471-00 002 C']),
}
for name, head in variants.items():
    assert len(head) == 2048
    open('%s/header-%s.cal' % (sys.argv[2], name), 'wb').write(head + stream)
PY

# Real Group 4 pages from other projects' tests, made CALS files here (their streams kept where
# they can be).
real="$(dirname "$0")/../data/realfiles"
for f in pillow-g4-fillorder-test.tif imagetiff-fax4.tiff serenity-ccitt4.tiff pillow-g4-multi.tiff leptonica-minisblack.tif \
    leptonica-miniswhite.tif twelvemonkeys-fivepages-scan-causingerrors.tif golang-bw-gopher_ccittGroup4.tiff \
    twelvemonkeys-ccitt-too-many-changes.tif pdfbox-ccittg4multi.tif commonsimaging-1pagefax.tif imagetiff-libtiffpic-fax2d.tif \
    pillow-total-pages-zero.tif serenity-ccitt_rle.tiff twelvemonkeys-group3_2d_lsb2msb.tif twelvemonkeys-contrib-multipage.tif \
    pdfcpu-T6.pdf qpdf-fax-decode-parms.pdf; do
    cp "$real/$f" "$work/real/"
done
# (The PDFs' pages of no drawing are left out: exit status 1.)
card convert --to cals --dpi 200 -o "$(win "$work/drawings")" "$(win "$work/real")" >"$work/log.txt" 2>&1 ||
    grep -q 'pictures refused 0, pages left out' "$work/log.txt" || fail "real files to CALS: $(cat "$work/log.txt")"
count=$(ls "$work/drawings" | wc -l)
[ "$count" -ge 45 ] || fail "only $count drawings"

# Each settings file: none (the shared folder not set), flat, sub-fields.
for settings in none flat sub-fields; do
    case $settings in
    none) ;;
    flat) printf '[rtype]\nReadonly=1\n' >"$work/share/FileFormats/Scanleaf.ini" ;;
    sub-fields) cp "$(dirname "$0")/../../samples/Scanleaf.ini" "$work/share/FileFormats/Scanleaf.ini" ;;
    esac
    [ $settings = none ] || card settings --shared-folder "$(win "$work/share")" >/dev/null
    for to in tiff pdf pdfa; do
        out="$work/$settings-$to"
        mkdir -p "$out" "$out-back"
        case $to in
        tiff) options="--to tiff" ;;
        pdf) options="--to pdf" ;;
        pdfa) options="--to pdf --pdfa 1b" ;;
        esac
        # shellcheck disable=SC2086
        # (PDF/A holds no page narrower than 3 points: a few real files' pages at 200 dpi.)
        if ! card convert $options -o "$(win "$out")" "$(win "$work/drawings")" >"$work/out.txt" 2>&1; then
            [ $to = pdfa ] && ! grep '; left out' "$work/out.txt" | grep -qv "PDF/A's smallest page side" ||
                fail "$settings, $to: out: $(cat "$work/out.txt")"
        fi
        ! grep -qi 'settings\|shared folder' "$work/out.txt" || fail "$settings, $to: speaks of settings: $(cat "$work/out.txt")"
        card convert --to cals -o "$(win "$out-back")" "$(win "$out")" >"$work/log.txt" 2>&1 ||
            fail "$settings, $to: back: $(cat "$work/log.txt")"
        for d in "$work/drawings"/*.cal; do
            name=$(basename "$d")
            [ $to = pdfa ] && [ ! -e "$out/${name%.cal}.pdf" ] && grep -q "$name: narrower than PDF/A" "$work/out.txt" && continue
            cmp -s "$d" "$out-back/$name" || fail "$settings, $to: $name does not come back byte for byte: $(cat "$work/log.txt")"
        done
        ok
    done
done

# A TIFF's XMP packet (tag 700) edited as another program edits it: SRC DST, then OLD NEW pairs.
edit_packet() {
    python3 - "$@" <<'PY'
import struct, sys
source, target, pairs = sys.argv[1], sys.argv[2], sys.argv[3:]
data = bytearray(open(source, 'rb').read())
ifd = struct.unpack_from('<I', data, 4)[0]
for i in range(struct.unpack_from('<H', data, ifd)[0]):
    at = ifd + 2 + 12 * i
    tag, kind, count, offset = struct.unpack_from('<HHII', data, at)
    if tag == 700:
        packet = bytes(data[offset:offset + count])
        for old, new in zip(pairs[::2], pairs[1::2]):
            packet = packet.replace(old.encode(), new.encode())
        struct.pack_into('<II', data, at + 4, len(packet), len(data))
        data += packet
open(target, 'wb').write(data)
PY
}

# Edited since: a record of the TIFF's header records changed by another program is named, and
# taken; the picture's own size wins over an rpelcnt edited to lie.
edit_packet "$work/flat-tiff/header-docls.tif" "$work/edited.tif" \
    'docls: 3' 'docls: 4' \
    'rpelcnt: 000097,000061' 'rpelcnt: 000001,000001'
card convert --to cals -o "$(win "$work/edited.cal")" "$(win "$work/edited.tif")" >"$work/log.txt" 2>&1 ||
    fail "edited: $(cat "$work/log.txt")"
grep -q 'its header records were edited since' "$work/log.txt" || fail "edited, not named: $(cat "$work/log.txt")"
head -c 2048 "$work/edited.cal" | grep -q 'docls: 4' && head -c 2048 "$work/edited.cal" | grep -q 'rpelcnt: 000097,000061' ||
    fail "edited: $(head -c 1024 "$work/edited.cal" | tr -s ' ')"
cmp -s -i 2048 "$work/edited.cal" "$work/drawings/header-docls.cal" || fail "edited: the stream differs"
ok
# --set changes a record through the plug-in's checks, the rest of the header as it was.
card convert --to cals --set notes=changed -o "$(win "$work/set.cal")" "$(win "$work/flat-tiff/header-docls.tif")" \
    >"$work/log.txt" 2>&1 || fail "--set: $(cat "$work/log.txt")"
head -c 2048 "$work/set.cal" | grep -q 'notes: changed' && head -c 2048 "$work/set.cal" | grep -q 'docls: 3' ||
    fail "--set: $(head -c 1024 "$work/set.cal" | tr -s ' ')"
ok
# A header that lies is mended as any drawing's header must be, each mend named: rtype 2 made 1,
# a second rpelcnt beside the true one dropped.
edit_packet "$work/flat-tiff/header-docls.tif" "$work/lies.tif" \
    'rtype: 1' 'rtype: 2' \
    'rdensty: 0200' "$(printf 'rdensty: 0200\nrpelcnt: 009999,009999')"
card convert --to cals -o "$(win "$work/lies.cal")" "$(win "$work/lies.tif")" >"$work/log.txt" 2>&1 || fail "lies: $(cat "$work/log.txt")"
grep -q '(rtype: 2 made rtype: 1)' "$work/log.txt" && grep -q '(a second rpelcnt record (rpelcnt: 009999,009999) dropped)' "$work/log.txt" ||
    fail "lies, not named: $(cat "$work/log.txt")"
[ "$(head -c 2048 "$work/lies.cal" | grep -o 'rpelcnt: [0-9,]*')" = "rpelcnt: 000097,000061" ] &&
    head -c 2048 "$work/lies.cal" | grep -q 'rtype: 1' || fail "lies: $(head -c 1024 "$work/lies.cal" | tr -s ' ')"
card verify "$(win "$work/lies.cal")" >/dev/null 2>&1 || fail "lies: verify refuses what came home"
ok

# Re-saved by programs that drop the header (tiffcp, Ghostscript's pdfwrite): each page says so,
# and the summary counts them.
tiffcp "$work/flat-tiff/header-docls.tif" "$work/resaved.tif"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o "$work/resaved.pdf" "$work/flat-pdf/header-docls.pdf"
mkdir -p "$work/resaved"
card convert --to cals -o "$(win "$work/resaved")" "$(win "$work/resaved.tif")" "$(win "$work/resaved.pdf")" >"$work/log.txt" 2>&1 ||
    fail "re-saved: $(cat "$work/log.txt")"
[ "$(grep -c '(no header came with it: a new card)' "$work/log.txt")" = 2 ] && grep -q 'pages that came without a header 2' "$work/log.txt" ||
    fail "re-saved, not said: $(cat "$work/log.txt")"
ok

# Drawings of one document come home under the names its pages carry.
mkdir -p "$work/one" "$work/one-back"
cp "$work/drawings/header-docls.cal" "$work/drawings/header-tabs.cal" "$work/drawings/gdal-090-270.cal" "$work/one/"
card convert --to pdf -o "$(win "$work/all.pdf")" "$(win "$work/one")" >"$work/log.txt" 2>&1 || fail "one document: $(cat "$work/log.txt")"
card convert --to cals -o "$(win "$work/one-back")" "$(win "$work/all.pdf")" >"$work/log.txt" 2>&1 || fail "one document back: $(cat "$work/log.txt")"
for d in "$work/one"/*.cal; do
    cmp -s "$d" "$work/one-back/$(basename "$d")" || fail "one document: $(basename "$d") is not back by its name: $(ls "$work/one-back")"
done
ok
echo "round trips: $checks checks passed"
