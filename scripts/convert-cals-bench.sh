#!/bin/sh
# What a page costs when scans are made CALS files: scanleaf-card convert --to cals from one-strip
# Group 4 TIFFs (the strip kept), from LZW TIFFs of many strips (decoded by the imaging
# component, encoded by the core) and from PDFs of them (img2pdf's: the Group 4 stream kept;
# GraphicsMagick's of the LZW pages: Flate samples decoded and encoded by the core), against
# GraphicsMagick and GDAL run once a file as a script converts a folder with them, on the same A4
# pages at 300 dpi (Ghostscript's pages of text and lines). The cost of a page is the time that PAGES more pages add, the median of RUNS runs taken
# in turns; then the peak memory of convert --to cals for an A0 page at 400 dpi.
#
#   sh scripts/convert-cals-bench.sh [PAGES [RUNS]]      (100 and 3; builds and installs what it lacks)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
more=${1:-100}
runs=${2:-3}
. "$root/scripts/bench-common.sh"

for i in 0 1 2 3 4 5 6 7 8 9; do
    page "$i" 300 a4 "$work/page$i.tif"
    tiffcp -c lzw -r 64 "$work/page$i.tif" "$work/lzw$i.tif"
    img2pdf "$work/page$i.tif" -o "$work/g4pdf$i.pdf"
    gm convert "$work/lzw$i.tif" -compress Zip "$work/zippdf$i.pdf"
done
# Folders of 10 and of 10 + PAGES pictures of each kind, the pages taken in turn.
for kind in page lzw; do
    spread "$kind" "$work/$kind-few" "$work/$kind-many" tif
done
for kind in g4pdf zippdf; do
    spread "$kind" "$work/$kind-few" "$work/$kind-many" pdf
done

each() { # PROGRAM DIR OUT: the program once a file, as a script does it
    rm -rf "$3" && mkdir -p "$3"
    for f in "$2"/*.tif "$2"/*.pdf; do
        [ -e "$f" ] || continue
        name=$(basename "$f")
        case $1 in
        gm) gm convert "$f" "$3/${name%.*}.cal" ;;
        gmpdf) gm convert -density 300 "$f" -monochrome "$3/${name%.*}.cal" ;;
        gdal) gdal_translate -q -of CALS "$f" "$3/${name%.*}.cal" ;;
        esac
    done
}
tool() { # NAME SIZE
    case $1 in
    g4) card convert --to cals --overwrite -o "$(win "$work/out-$1-$2")" "$(win "$work/page-$2")" ;;
    lzw) card convert --to cals --overwrite -o "$(win "$work/out-$1-$2")" "$(win "$work/lzw-$2")" ;;
    gm) each gm "$work/lzw-$2" "$work/out-$1-$2" ;;
    gdal) each gdal "$work/lzw-$2" "$work/out-$1-$2" ;;
    pdf) card convert --to cals --overwrite -o "$(win "$work/out-$1-$2")" "$(win "$work/g4pdf-$2")" ;;
    zippdf) card convert --to cals --overwrite -o "$(win "$work/out-$1-$2")" "$(win "$work/zippdf-$2")" ;;
    gmpdf) each gmpdf "$work/g4pdf-$2" "$work/out-$1-$2" ;;
    esac
}
tools="g4 lzw gm gdal pdf zippdf gmpdf"
page_costs $tools
echo "== a page's cost in ms (the median of $runs runs, $more pages more), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
printf '%-30s %8.1f\n' "convert, Group 4 one strip" "$(cost g4)" "convert, LZW strips" "$(cost lzw)" \
    "gm convert a file, LZW strips" "$(cost gm)" "gdal_translate a file, LZW" "$(cost gdal)" \
    "convert, PDF of Group 4" "$(cost pdf)" "convert, PDF of Flate samples" "$(cost zippdf)" \
    "gm convert a file, PDF" "$(cost gmpdf)"
echo "== ratios"
printf 'GraphicsMagick / convert (LZW)   %8.1f  (at least 10)\n' "$(echo "$(cost gm) / $(cost lzw)" | bc -l)"
printf 'GDAL / convert (LZW)             %8.1f  (at least 5)\n' "$(echo "$(cost gdal) / $(cost lzw)" | bc -l)"
printf 'GraphicsMagick / convert (G4)    %8.1f\n' "$(echo "$(cost gm) / $(cost g4)" | bc -l)"
printf 'GraphicsMagick / convert (PDF)   %8.1f  (at least 20)\n' "$(echo "$(cost gmpdf) / $(cost pdf)" | bc -l)"
printf 'GraphicsMagick / convert (Flate) %8.1f\n' "$(echo "$(cost gmpdf) / $(cost zippdf)" | bc -l)"
cmp -s "$work/out-g4-many/d00001.cal" "$work/out-lzw-many/d00001.cal" || echo "note: the two kinds gave different files"

# Peak memory for an A0 page at 400 dpi, from one Group 4 strip and from LZW strips.
mkdir -p "$work/a0"
page 0 400 a0 "$work/a0/a0-g4.tif"
tiffcp -c lzw -r 64 "$work/a0/a0-g4.tif" "$work/a0/a0-lzw.tif"
for kind in g4 lzw; do
    peak=$(peak convert --to cals --overwrite -o "$(win "$work/a0/out-$kind.cal")" "$(win "$work/a0/a0-$kind.tif")")
    echo "== peak memory, A0 at 400 dpi ($(tiffinfo "$work/a0/a0-g4.tif" 2>/dev/null | grep -o 'Image Width: [0-9]* Image Length: [0-9]*')), $kind: $peak (at most 64 MB)"
done
