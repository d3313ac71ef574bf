# What the benchmark scripts share, sourced after they set `root` (and `extra`: packages beyond
# the setup's): the setup when run as root, the build, a prefix of their own with the sample
# settings, and the timing helpers.
build=${SCANLEAF_BUILD:-"$root/build"}
if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
    for p in bc ${extra:-}; do
        command -v "$p" >/dev/null || apt-get install -y -qq --no-install-recommends "$p" >/dev/null
    done
fi
cmake --build "$build" -j "$(nproc)" --target Scanleaf scanleaf-card scanleaf-bench >/dev/null
work=$(mktemp -d)
export SCANLEAF_WINEPREFIX="$work/prefix"
trap 'WINEPREFIX="$SCANLEAF_WINEPREFIX" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
run="$build/wine-run"
win() { "$run" winepath -w "$1" | tr -d '\r'; }
card() { "$run" "$build/bin/scanleaf-card.exe" --dll "$(win "$build/bin/Scanleaf.dll")" "$@"; }
mkdir -p "$work/share/FileFormats"
cp "$root/samples/Scanleaf.ini" "$work/share/FileFormats/"
card settings --shared-folder "$(win "$work/share")" >/dev/null

seconds() { # COMMAND...: wall-clock seconds of one run
    # What earlier runs wrote goes to the disk first, so that no run pays for another's writing.
    sync
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    e=$(date +%s.%N)
    echo "$e - $s" | bc -l
}
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
# Each tool's cost of a page, RUNS times in turns: what `tool NAME many` takes over `tool NAME few`,
# in milliseconds a page of the `more` pages between them (so that no program's start counts).
# The script defines `tool`; `cost NAME` is the median of the runs. Called again (with another
# `more`, say), it adds to the times.
: >"$work/times"
page_costs() {
    r=0
    while [ "$r" -lt "$runs" ]; do
        for t in "$@"; do
            few=$(seconds tool "$t" few)
            many=$(seconds tool "$t" many)
            echo "$t $(echo "($many - $few) / $more * 1000" | bc -l)" >>"$work/times"
        done
        r=$((r + 1))
    done
}
cost() { grep "^$1 " "$work/times" | awk '{print $2}' | median; }
# The peak memory of one scanleaf-card run with these arguments ("24.5MB").
peak() {
    "$run" "$build/bin/scanleaf-bench.exe" --card --dll "$(win "$build/bin/Scanleaf.dll")" "$@" 2>/dev/null | tr -d '\r' |
        grep 'peak memory' | sed 's/.*peak memory //; s/ //g'
}
# The folders FEW (10 files) and MANY (10 + `more`), named d00000 on, of the ten files
# $work/PREFIX0.EXT to PREFIX9.EXT taken in turn, for each EXT given.
spread() { # PREFIX FEW MANY EXT...
    prefix=$1 few_dir=$2 many_dir=$3
    shift 3
    mkdir -p "$few_dir" "$many_dir"
    n=0
    while [ "$n" -lt $((10 + more)) ]; do
        name=$(printf 'd%05d' "$n")
        for ext in "$@"; do
            [ "$n" -lt 10 ] && cp "$work/$prefix$((n % 10)).$ext" "$few_dir/$name.$ext"
            cp "$work/$prefix$((n % 10)).$ext" "$many_dir/$name.$ext"
        done
        n=$((n + 1))
    done
}
# The bytes of the Group 4 streams of the CALS files in DIR (each file less its 2048-byte header).
stream_bytes() { # DIR
    for f in "$1"/*.cal; do echo $(($(stat -c %s "$f") - 2048)); done | awk '{s += $1} END {print s}'
}
page() { # N DPI PAPER FILE: a page of text and lines as a one-strip Group 4 TIFF
    gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r"$2" -sPAPERSIZE="$3" -o "$4" -c "
        /Helvetica findfont 11 scalefont setfont
        0 1 60 { /r exch def 50 780 r 12 mul sub moveto (Drawing $1 line ) show r 20 string cvs show
            ( - the quick brown fox jumps over the lazy dog 0123456789) show } for
        0.5 setlinewidth 0 1 40 { /k exch def 40 40 k $1 add 12 mul add moveto 555 100 k 15 mul add lineto stroke } for
        showpage"
}
