#!/bin/sh
# What --jobs buys: verify, render, convert --to pdf and export of 1,000 A4 drawings at 300 dpi
# (Ghostscript's pages of text and lines, made CALS by convert) and of a folder of mixed sizes
# (A4 to A0 at 300 dpi), each at --jobs 1 and --jobs 2, taking turns RUNS times; the median
# seconds, the ratio, and the peak memory of each (scanleaf-bench --card).
#
#   sh scripts/jobs-bench.sh [DRAWINGS [RUNS]]      (1000 and 3; builds and installs what it lacks)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCANLEAF_BUILD:-"$root/build"}
count=${1:-1000}
runs=${2:-3}
if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
    command -v bc >/dev/null || apt-get install -y -qq --no-install-recommends bc >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target Scanleaf scanleaf-card scanleaf-bench >/dev/null
work=$(mktemp -d)
export SCANLEAF_WINEPREFIX="$work/prefix"
trap 'WINEPREFIX="$SCANLEAF_WINEPREFIX" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
run="$build/wine-run"
win() { "$run" winepath -w "$1" | tr -d '\r'; }
card() { "$run" "$build/bin/scanleaf-card.exe" --dll "$(win "$build/bin/Scanleaf.dll")" "$@"; }
mkdir -p "$work/share/FileFormats" "$work/pages" "$work/a4" "$work/mixed"
cp "$root/samples/Scanleaf.ini" "$work/share/FileFormats/"
card settings --shared-folder "$(win "$work/share")" >/dev/null

page() { # N PAPER FILE
    gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r300 -sPAPERSIZE="$2" -o "$3" -c "
        /Helvetica findfont 11 scalefont setfont
        0 1 60 { /r exch def 50 780 r 12 mul sub moveto (Drawing $1 line ) show r 20 string cvs show
            ( - the quick brown fox jumps over the lazy dog 0123456789) show } for
        0.5 setlinewidth 0 1 40 { /k exch def 40 40 k $1 add 12 mul add moveto 555 100 k 15 mul add lineto stroke } for
        showpage"
}
for i in 0 1 2 3 4 5 6 7 8 9; do page "$i" a4 "$work/pages/a4-$i.tif"; done
for p in a3 a2 a1 a0; do page 0 "$p" "$work/pages/$p.tif"; done
card convert --to cals -o "$(win "$work/pages")" "$(win "$work/pages")" >/dev/null 2>&1
n=0
while [ "$n" -lt "$count" ]; do
    cp "$work/pages/a4-$((n % 10)).cal" "$work/a4/$(printf 'd%05d' "$n").cal"
    n=$((n + 1))
done
# The mixed folder: 40 drawings, ten of each size from A4 to A0 (the A2 stands in for A3 every
# other time), in turn.
n=0
for size in a4-1 a3 a1 a0 a4-2 a2 a1 a0; do
    for k in 0 1 2 3 4; do cp "$work/pages/$size.cal" "$work/mixed/$(printf 'm%03d' "$n").cal"; n=$((n + 1)); done
done

seconds() { # COMMAND...
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    e=$(date +%s.%N)
    echo "$e - $s" | bc -l
}
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
arguments() { # COMMAND JOBS FOLDER
    case $1 in
    verify) printf '%s\n' "verify --jobs $2 $(win "$work/$3")" ;;
    render) printf '%s\n' "render --jobs $2 -o $(win "$work/out-render-$3-$2") $(win "$work/$3")" ;;
    convert) printf '%s\n' "convert --to pdf --overwrite --jobs $2 -o $(win "$work/out-convert-$3-$2") $(win "$work/$3")" ;;
    export) printf '%s\n' "export --jobs $2 -o $(win "$work/out-export-$3-$2.csv") $(win "$work/$3")" ;;
    esac
}
commands="verify render convert export"
: >"$work/times"
r=0
while [ "$r" -lt "$runs" ]; do
    for folder in a4 mixed; do
        for c in $commands; do
            for j in 1 2; do
                # shellcheck disable=SC2046
                echo "$folder $c $j $(seconds card $(arguments "$c" "$j" "$folder"))" >>"$work/times"
            done
        done
    done
    r=$((r + 1))
done
echo "== seconds (the median of $runs runs), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?'), $(nproc) processors"
printf '%-8s %-8s %9s %9s %7s %12s %12s\n' folder command "jobs 1" "jobs 2" ratio "peak, 1" "peak, 2"
for folder in a4 mixed; do
    for c in $commands; do
        one=$(grep "^$folder $c 1 " "$work/times" | awk '{print $4}' | median)
        two=$(grep "^$folder $c 2 " "$work/times" | awk '{print $4}' | median)
        peaks=""
        for j in 1 2; do
            # shellcheck disable=SC2046
            peak=$("$run" "$build/bin/scanleaf-bench.exe" --card --dll "$(win "$build/bin/Scanleaf.dll")" \
                $(arguments "$c" "$j" "$folder") 2>/dev/null | tr -d '\r' | grep "peak memory" | sed "s/.*peak memory //; s/ //g")
            peaks="$peaks ${peak:-?}"
        done
        printf '%-8s %-8s %9.2f %9.2f %7.2f %12s %12s\n' "$folder" "$c" "$one" "$two" "$(echo "$one / $two" | bc -l)" $peaks
    done
done
