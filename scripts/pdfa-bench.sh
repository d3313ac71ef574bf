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
mkdir -p "$work/few" "$work/many"
n=0
while [ "$n" -lt $((10 + more)) ]; do
    i=$((n % 10))
    name=$(printf 'd%05d' "$n")
    [ "$n" -lt 10 ] && cp "$work/page$i.cal" "$work/few/$name.cal"
    cp "$work/page$i.cal" "$work/many/$name.cal"
    n=$((n + 1))
done

tool() { # NAME DIR
    case $1 in
    plain) card convert --to pdf --overwrite -o "$(win "$work/$2.pdf")" "$(win "$work/$2")" ;;
    pdfa) card convert --to pdf --pdfa --overwrite -o "$(win "$work/$2-pdfa.pdf")" "$(win "$work/$2")" ;;
    esac
}
page_costs plain pdfa
streams=$(for f in "$work"/many/*.cal; do echo $(($(stat -c %s "$f") - 2048)); done | awk '{s += $1} END {print s}')
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
