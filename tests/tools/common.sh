# Sourced by the card tool's script tests, whose arguments are WINE-RUN BIN: a work folder and a
# fresh Wine prefix of the test's own, both gone at the end (after `on_exit`, a command a test may
# set), and the helpers every script uses. The prefix is the test's own, so the shared folder it
# sets touches no other test.
set -eu
run=$1
bin=$2
work=$(mktemp -d)
export SCANLEAF_WINEPREFIX="$work/prefix"
on_exit=true
trap 'eval "$on_exit"; WINEPREFIX="$SCANLEAF_WINEPREFIX" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }
# Written by hand (the prefix maps Z: to /): winepath cuts paths at 260 characters.
win() { printf 'Z:%s' "$1" | tr / '\\'; }
card() { "$run" "$bin/scanleaf-card.exe" --dll "$(win "$bin/Scanleaf.dll")" "$@"; }
checks=0
ok() { checks=$((checks + 1)); }
# The test's vault: a shared folder with a settings file (rtype read-only), set in its prefix.
vault() {
    mkdir -p "$work/share/FileFormats"
    printf '[rtype]\nReadonly=1\n' >"$work/share/FileFormats/Scanleaf.ini"
    card settings --shared-folder "$(win "$work/share")" >/dev/null
}
# N pages of Ghostscript's Group 4 encoder (text and lines, one strip) at DPI on PAPER, as
# DIR/pageK.tif and, made CALS files by convert --to cals, DIR/pageK.cal (K from 0).
gs_drawings() { # DIR N DPI PAPER
    k=0
    while [ $k -lt "$2" ]; do
        gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r"$3" -sPAPERSIZE="$4" -o "$1/page$k.tif" -c "
            /Helvetica findfont 11 scalefont setfont
            0 1 60 { /r exch def 50 780 r 12 mul sub moveto (Drawing $k line ) show r 20 string cvs show } for
            0.5 setlinewidth 0 1 40 { /j exch def 40 40 j $k add 12 mul add moveto 555 100 j 15 mul add lineto stroke } for
            showpage"
        k=$((k + 1))
    done
    card convert --to cals -o "$(win "$1")" "$(win "$1")" >/dev/null 2>&1 || fail "making the drawings"
}
# The writers' drawings into the folder DIR: ImageMagick's and GraphicsMagick's samples, GDAL's
# in each orientation given ("PATH LINES", as "000 270"), and a page of Ghostscript's own Group 4
# encoder, one strip, wrapped into a CALS header.
writers_drawings() { # DIR ORIENTATION...
    into=$1
    shift
    cp "$bin/samples/imagemagick-64x48.cal" "$bin/samples/graphicsmagick-97x61.cal" "$into/"
    for o in "$@"; do
        set -- $o
        gdal_translate -q -of CALS -mo PIXEL_PATH=$1 -mo LINE_PROGRESSION=$2 "$bin/samples/foreign.tif" "$into/gdal-$1-$2.cal"
    done
    gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r300 -g1200x700 -o "$work/gs.tif" \
        -c "/Helvetica findfont 60 scalefont setfont 40 300 moveto (Scanleaf 0123) show 20 20 moveto 280 150 lineto stroke showpage"
    python3 "$(dirname "$0")/gscals.py" "$work/gs.tif" "$into/ghostscript-1200x700.cal"
}
