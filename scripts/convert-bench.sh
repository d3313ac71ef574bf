#!/bin/sh
# What a page costs when drawings are handed on as one PDF: scanleaf-card convert with and
# without its check, against verify, GraphicsMagick and img2pdf, on the same A4 drawings at
# 300 dpi (Ghostscript's pages of text and lines, wrapped into CALS files). The cost of a page is
# the time that PAGES more pages add (so that a program's start does not count), the median of
# RUNS runs taken in turns; the ratios are printed, with the PDF's size against the streams'.
# A start varies by a few tenths of a second here, so the ratios hold to a few hundredths only
# over 1,000 pages; GraphicsMagick, 50 times slower, is timed over 40 (GM_PAGES).
#
#   sh scripts/convert-bench.sh [PAGES [RUNS]]      (1000 and 5; builds and installs what it lacks)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
more=${1:-1000}
gm_more=${GM_PAGES:-40}
runs=${2:-5}
extra=img2pdf
. "$root/scripts/bench-common.sh"

# Ten distinct A4 pages, each a one-strip Group 4 TIFF of Ghostscript's and the same stream as CALS.
for i in 0 1 2 3 4 5 6 7 8 9; do page "$i" 300 a4 "$work/page$i.tif"; done
python3 - "$work" <<'EOF'
import struct, sys
work = sys.argv[1]
for i in range(10):
    data = open('%s/page%d.tif' % (work, i), 'rb').read()
    ifd = struct.unpack_from('<I', data, 4)[0]
    tags = {}
    for k in range(struct.unpack_from('<H', data, ifd)[0]):
        tag, kind, count, value = struct.unpack_from('<HHII', data, ifd + 2 + 12 * k)
        tags[tag] = value if kind == 4 else value & 0xFFFF
    records = ['srcdocid: A4-%06d 001 A' % i, 'rtype: 1', 'rorient: 000,270',
               'rpelcnt: %06d,%06d' % (tags[256], tags[257]), 'rdensty: 0300', 'notes: NONE']
    header = b''.join(r.encode().ljust(128, b' ') for r in records).ljust(2048, b' ')
    open('%s/page%d.cal' % (work, i), 'wb').write(header + data[tags[273]:tags[273] + tags[279]])
EOF
# Two folders of drawings: 10, and 10 + PAGES, the pages taken in turn; GraphicsMagick's own 10 + 40.
spread page "$work/few" "$work/many" cal tif
pages=$more
more=$gm_more
spread page "$work/few" "$work/gm-many" cal
more=$pages

tool() { # NAME DIR
    case $1 in
    convert) card convert --to pdf --overwrite -o "$(win "$work/$2.pdf")" "$(win "$work/$2")" ;;
    nocheck) card convert --to pdf --no-check --overwrite -o "$(win "$work/$2.pdf")" "$(win "$work/$2")" ;;
    verify) card verify "$(win "$work/$2")" ;;
    gm) gm convert "$work/$([ "$2" = many ] && echo gm-many || echo few)"/*.cal "$work/$2-gm.pdf" ;;
    img2pdf) img2pdf -o "$work/$2-img2pdf.pdf" "$work/$2"/*.tif ;;
    esac
}
tools="convert nocheck verify gm img2pdf"
page_costs convert nocheck verify img2pdf
more=$gm_more
page_costs gm
more=$pages
streams=$(stream_bytes "$work/many")
pdf=$(stat -c %s "$work/many.pdf")
echo "== a page's cost in ms (the median of $runs runs, $more pages more), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
for t in $tools; do printf '%-8s %8.3f\n' "$t" "$(cost "$t")"; done
echo "== ratios"
printf 'GraphicsMagick / convert         %8.1f  (at least 20)\n' "$(echo "$(cost gm) / $(cost convert)" | bc -l)"
printf 'convert / verify                 %8.2f  (at most 1.15)\n' "$(echo "$(cost convert) / $(cost verify)" | bc -l)"
printf 'convert --no-check / img2pdf     %8.2f  (at most 1.4)\n' "$(echo "$(cost nocheck) / $(cost img2pdf)" | bc -l)"
printf 'PDF bytes over the streams, a page %6.0f  (at most 1500)\n' "$(echo "($pdf - $streams) / ($more + 10)" | bc -l)"
peakMany=$(peak convert --to pdf --overwrite -o "$(win "$work/peak.pdf")" "$(win "$work/many")")
peakFew=$(peak convert --to pdf --overwrite -o "$(win "$work/peak-few.pdf")" "$(win "$work/few")")
echo "== peak memory: 10 pages: $peakFew; $((10 + more)) pages: $peakMany"
