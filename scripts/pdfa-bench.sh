#!/bin/sh
# What PDF/A costs a page: scanleaf-card convert --to pdf against convert --to pdf --pdfa on the
# same A4 drawings at 300 dpi (Ghostscript's pages of text and lines, wrapped into CALS files),
# both checking each drawing. A page's cost is the time that PAGES more pages add (so that a
# program's start does not count), the median of RUNS runs taken in turns; the ratio is printed,
# with what a PDF/A page takes over its stream beside a plain PDF's.
#
#   sh scripts/pdfa-bench.sh [PAGES [RUNS]]      (1000 and 5; builds and installs what it lacks)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
more=${1:-1000}
runs=${2:-5}
. "$root/scripts/bench-common.sh"

for i in 0 1 2 3 4 5 6 7 8 9; do
    page "$i" 300 a4 "$work/page$i.tif"
    python3 "$root/tests/tools/gscals.py" "$work/page$i.tif" "$work/page$i.cal"
done
spread page "$work/few" "$work/many" cal

tool() { # NAME DIR
    case $1 in
    plain) card convert --to pdf --overwrite -o "$(win "$work/$2.pdf")" "$(win "$work/$2")" ;;
    pdfa) card convert --to pdf --pdfa --overwrite -o "$(win "$work/$2-pdfa.pdf")" "$(win "$work/$2")" ;;
    esac
}
page_costs plain pdfa
streams=$(stream_bytes "$work/many")
plain=$(stat -c %s "$work/many.pdf")
pdfa=$(stat -c %s "$work/many-pdfa.pdf")
profile=$(grep -a -o '/N 1 /Length [0-9]*' "$work/many-pdfa.pdf" | grep -o '[0-9]*$')
echo "== a page's cost in ms (the median of $runs runs, $more pages more), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
for t in plain pdfa; do printf '%-8s %8.3f\n' "$t" "$(cost "$t")"; done
echo "== ratios"
printf 'convert --pdfa / convert               %8.2f  (at most 1.1)\n' "$(echo "$(cost pdfa) / $(cost plain)" | bc -l)"
printf 'PDF bytes over the streams, a page       %6.0f\n' "$(echo "($plain - $streams) / ($more + 10)" | bc -l)"
printf 'PDF/A bytes over the streams and the profile (%s bytes), a page %6.0f  (at most 4096)\n' "$profile" \
    "$(echo "($pdfa - $streams - $profile) / ($more + 10)" | bc -l)"
