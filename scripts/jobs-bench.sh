#!/bin/sh
# What --jobs buys: verify, render, convert --to pdf and export of 1,000 A4 drawings at 300 dpi
# (Ghostscript's pages of text and lines, made CALS by convert) and of a fifth as many of mixed
# sizes (A4 to A0 at 300 dpi), each at --jobs 1 and --jobs 2, taking turns RUNS times; the median
# seconds, the ratio, and the peak memory of each (scanleaf-bench --card).
#
#   sh scripts/jobs-bench.sh [DRAWINGS [RUNS]]      (1000 and 3; builds and installs what it lacks)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-1000}
runs=${2:-3}
. "$root/scripts/bench-common.sh"
mkdir -p "$work/pages" "$work/a4" "$work/mixed"

for i in 0 1 2 3 4 5 6 7 8 9; do page "$i" 300 a4 "$work/pages/a4-$i.tif"; done
for p in a3 a2 a1 a0; do page 0 300 "$p" "$work/pages/$p.tif"; done
card convert --to cals -o "$(win "$work/pages")" "$(win "$work/pages")" >/dev/null 2>&1
n=0
while [ "$n" -lt "$count" ]; do
    cp "$work/pages/a4-$((n % 10)).cal" "$work/a4/$(printf 'd%05d' "$n").cal"
    n=$((n + 1))
done
# The mixed folder: a fifth as many drawings, A4, A3, A2, A1 and A0 in turn.
n=0
while [ "$n" -lt $((count / 5)) ]; do
    set -- a4-1 a3 a2 a1 a0
    shift $((n % 5))
    cp "$work/pages/$1.cal" "$work/mixed/$(printf 'm%04d' "$n").cal"
    n=$((n + 1))
done

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
            # shellcheck disable=SC2046
            peak=$(peak $(arguments "$c" "$j" "$folder"))
            peaks="$peaks ${peak:-?}"
        done
        printf '%-8s %-8s %9.2f %9.2f %7.2f %12s %12s\n' "$folder" "$c" "$one" "$two" "$(echo "$one / $two" | bc -l)" $peaks
    done
done
