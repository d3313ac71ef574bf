#!/bin/sh
# The card tool at archive scale, as programs no one here wrote see its output:
#  - every batch command gives the same output and the same files with --jobs 1, 2 and 3;
#  - a run killed part-way and run again (--skip-existing, --resume) ends as an unbroken run;
#  - repair mends what a stream proves, names the rest, and undo gives back every byte;
#  - every command works on a drawing whose path is longer than 260 characters.
#   archive.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
# A stopped run's programs go with the test.
on_exit='pkill -9 -f "scanleaf-card.exe.*$work" 2>/dev/null || true'

mkdir -p "$work/pages" "$work/d"
vault

# Eight pages of Ghostscript's, made CALS by convert; 48 drawings of them, one cut short and one
# that is a PNG under a CALS name.
for i in 1 2 3 4 5 6 7 8; do
    gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r100 -g800x500 -o "$work/pages/page$i.tif" \
        -c "/Helvetica findfont 40 scalefont setfont 30 200 moveto (Sheet $i of 8) show 3 setlinewidth" \
        -c "10 10 moveto $((i * 90)) 180 lineto stroke showpage"
done
card convert --to cals -o "$(win "$work/pages")" "$(win "$work/pages")" >/dev/null 2>&1 || fail "making the drawings"
n=0
while [ $n -lt 48 ]; do
    cp "$work/pages/page$((n % 8 + 1)).cal" "$work/d/$(printf 'd%03d' $n).cal"
    n=$((n + 1))
done
head -c 2150 "$work/d/d005.cal" >"$work/d/d005-cut.cal"
cp "$bin/samples/foreign.png" "$work/d/d007-png.cal"

# --jobs: each command's output and files, with the run's folder named X in both.
same() { # WHAT DIR1 DIRJ
    [ "$(ls "$2" | wc -l)" = "$(ls "$3" | wc -l)" ] || fail "$1: not the same files"
    [ -z "$(ls "$2")" ] && return 0
    for f in "$2"/*; do
        cmp -s "$f" "$3/$(basename "$f")" || fail "$1: $(basename "$f") differs"
    done
}
for jobs in 1 2 3; do
    o="$work/j$jobs"
    mkdir -p "$o"
    while read -r name command; do
        mkdir -p "$o/$name"
        # shellcheck disable=SC2086
        eval "card $command" >"$o/$name.out" 2>"$o/$name.err" || true
        sed "s/\\\\j$jobs\\\\/\\\\jX\\\\/g" "$o/$name.out" >"$o/$name.txt"
        tail -n 1 "$o/$name.err" >>"$o/$name.txt"
    done <<EOF2
verify verify --jobs $jobs --format csv "$(win "$work/d")"
text verify --jobs $jobs "$(win "$work/d")"
render render --jobs $jobs -o "$(win "$o/render")" "$(win "$work/d")"
sheet sheet --jobs $jobs -o "$(win "$o/sheet/sheet.html")" "$(win "$work/d")"
export export --jobs $jobs "$(win "$work/d")"
pdf convert --to pdf --jobs $jobs -o "$(win "$o/pdf/all.pdf")" "$(win "$work/d")"
tiff convert --to tiff --jobs $jobs -o "$(win "$o/tiff")" "$(win "$work/d")"
cals convert --to cals --jobs $jobs -o "$(win "$o/cals")" "$(win "$work/pages")"
EOF2
done
for name in verify text render sheet export pdf tiff cals; do
    [ -s "$work/j1/$name.txt" ] || fail "$name: no output"
    for jobs in 2 3; do
        cmp -s "$work/j1/$name.txt" "$work/j$jobs/$name.txt" || fail "$name --jobs $jobs: other output: $(diff "$work/j1/$name.txt" "$work/j$jobs/$name.txt" | head -5)"
        same "$name --jobs $jobs" "$work/j1/$name" "$work/j$jobs/$name"
    done
    ok
done
qpdf --check "$work/j3/pdf/all.pdf" >/dev/null || fail "the PDF of three jobs"
grep -q "d005-cut.cal: damaged" "$work/j3/text.out" || fail "the cut drawing is not reported"
ok

# Stopped runs: a bigger folder, each run killed once a few outputs are there, then run again.
mkdir -p "$work/big" "$work/bigpics"
n=0
while [ $n -lt 240 ]; do
    cp "$work/pages/page$((n % 8 + 1)).cal" "$work/big/$(printf 'b%04d' $n).cal"
    [ $n -lt 60 ] && cp "$work/pages/page$((n % 8 + 1)).tif" "$work/bigpics/$(printf 'p%04d' $n).tif"
    n=$((n + 1))
done
count() { find "$1" -name "$2" 2>/dev/null | wc -l; }
stopped() { # NAME WATCH PATTERN AT COMMAND...: COMMAND killed once WATCH holds AT files (or lines) of PATTERN
    name=$1 watch=$2 pattern=$3 at=$4
    shift 4
    card "$@" >/dev/null 2>&1 &
    i=0
    while [ $i -lt 600 ]; do
        if [ "$pattern" = lines ]; then have=$(cat "$watch" 2>/dev/null | wc -l); else have=$(count "$watch" "$pattern"); fi
        [ "$have" -ge "$at" ] && break
        sleep 0.05
        i=$((i + 1))
    done
    pkill -9 -f "scanleaf-card.exe.*$name" || true
    wait || true
}
card render --jobs 2 -o "$(win "$work/render-whole")" "$(win "$work/big")" >/dev/null 2>&1
stopped render-part "$work/render-part" '*.png' 40 render --jobs 2 -o "$(win "$work/render-part")" "$(win "$work/big")"
[ "$(count "$work/render-part" '*.png')" -lt 240 ] || fail "render was not stopped"
card render --jobs 2 --skip-existing -o "$(win "$work/render-part")" "$(win "$work/big")" >"$work/again.txt" 2>&1 ||
    fail "render again: $(tail -n 2 "$work/again.txt")"
grep -q '(up to date)' "$work/again.txt" || fail "render --skip-existing redid everything"
same "render stopped and run again" "$work/render-whole" "$work/render-part"
ok
card convert --to cals --jobs 2 -o "$(win "$work/cals-whole")" "$(win "$work/bigpics")" >/dev/null 2>&1
stopped cals-part "$work/cals-part" '*.cal' 10 convert --to cals --jobs 2 -o "$(win "$work/cals-part")" "$(win "$work/bigpics")"
card convert --to cals --jobs 2 --skip-existing -o "$(win "$work/cals-part")" "$(win "$work/bigpics")" >/dev/null 2>&1 ||
    fail "convert --to cals again"
same "convert --to cals stopped and run again" "$work/cals-whole" "$work/cals-part"
ok
# Ten times the drawings for verify and export, which keep a row a drawing: a run of 240 can end
# between two looks of the watch, and a finished run leaves nothing to continue.
mkdir -p "$work/bigger"
for f in "$work/big"/*.cal; do
    for k in 0 1 2 3 4 5 6 7 8 9; do ln "$f" "$work/bigger/$k-$(basename "$f")"; done
done
card verify --format csv "$(win "$work/bigger")" >"$work/verify-whole.csv" 2>/dev/null
stopped verify-part "$work/verify-part.csv.rows" lines 30 verify --jobs 2 --resume "$(win "$work/verify-part.csv")" "$(win "$work/bigger")"
[ -f "$work/verify-part.csv.rows" ] && [ ! -f "$work/verify-part.csv" ] || fail "verify was not stopped"
card verify --jobs 2 --resume "$(win "$work/verify-part.csv")" "$(win "$work/bigger")" >/dev/null 2>"$work/again.txt" ||
    fail "verify --resume: $(cat "$work/again.txt")"
cmp -s "$work/verify-whole.csv" "$work/verify-part.csv" || fail "verify stopped and resumed: another table"
grep -q 'files 2400, sound 2400' "$work/again.txt" || fail "verify --resume counts: $(cat "$work/again.txt")"
grep -q 'kept from the stopped run [1-9]' "$work/again.txt" || fail "verify --resume kept nothing: $(cat "$work/again.txt")"
[ ! -f "$work/verify-part.csv.rows" ] || fail "verify --resume left its rows"
ok
card export -o "$(win "$work/export-whole.csv")" "$(win "$work/bigger")" >/dev/null 2>&1
stopped export-part "$work/export-part.csv.rows" lines 30 export --jobs 2 --resume "$(win "$work/export-part.csv")" "$(win "$work/bigger")"
[ -f "$work/export-part.csv.rows" ] && [ ! -f "$work/export-part.csv" ] || fail "export was not stopped"
card export --jobs 2 --resume "$(win "$work/export-part.csv")" "$(win "$work/bigger")" >/dev/null 2>&1 || fail "export --resume"
cmp -s "$work/export-whole.csv" "$work/export-part.csv" || fail "export stopped and resumed: another table"
[ ! -f "$work/export-part.csv.rows" ] || fail "export --resume left its rows"
ok

# repair: a table of damage; what the stream proves is mended, the rest named; undo gives back
# every byte.
mkdir -p "$work/rep"
python3 - "$work/pages/page1.cal" "$work/rep" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data[:2048].index(b'rpelcnt: 000800,000500')
def make(name, record=None, size=None):
    copy = bytearray(data)
    if record:
        copy[at:at + len(record)] = record
    open(sys.argv[2] + '/' + name, 'wb').write(copy[:size] if size else copy)
make('sound.cal')
make('count-too-high.cal', b'rpelcnt: 000800,000620')
make('count-too-low.cal', b'rpelcnt: 000800,000003')
make('cut-short.cal', size=2048 + (len(data) - 2048) // 2)
make('wrong-width.cal', b'rpelcnt: 000300,000500')
PY
cp -r "$work/rep" "$work/rep-before"
while read -r file expect; do
    card repair --dry-run "$(win "$work/rep/$file")" >"$work/rep.txt" 2>&1 || true
    grep -q "$expect" "$work/rep.txt" || fail "repair --dry-run $file: $(cat "$work/rep.txt")"
done <<EOF2
count-too-high.cal rpelcnt 800,620 -> 800,500: the stream ends cleanly after 500 lines
count-too-low.cal rpelcnt 800,3 -> 800,500
cut-short.cal not mended: the stream is cut short
wrong-width.cal not mended: the stream fails after
sound.cal files 1, sound 1, would mend 0, not mended 0
EOF2
status=0
card repair --journal "$(win "$work/rep.journal")" "$(win "$work/rep")" >"$work/rep.txt" 2>&1 || status=$?
[ $status = 1 ] && grep -q 'repair: files 5, sound 1, mended 2, not mended 2' "$work/rep.txt" || fail "repair: $(cat "$work/rep.txt")"
cmp -s "$work/rep/cut-short.cal" "$work/rep-before/cut-short.cal" && cmp -s "$work/rep/wrong-width.cal" "$work/rep-before/wrong-width.cal" ||
    fail "repair changed what it could not prove"
[ "$(cmp -l "$work/rep/count-too-high.cal" "$work/rep-before/count-too-high.cal" | wc -l)" = 2 ] || fail "repair changed more than the digits"
card verify "$(win "$work/rep/count-too-high.cal")" "$(win "$work/rep/count-too-low.cal")" >/dev/null 2>&1 || fail "mended drawings are not sound"
card undo "$(win "$work/rep.journal")" >/dev/null 2>&1 || fail "undo of the repair"
for f in "$work/rep-before"/*; do cmp -s "$f" "$work/rep/$(basename "$f")" || fail "undo: $(basename "$f") differs"; done
ok

# Deep folders: a drawing and a picture whose paths are longer than 260 characters.
deep="$work/deep"
for i in 1 2 3 4 5 6; do deep="$deep/folder-$i-of-an-archive-nested-as-a-company-keeps-it"; done
mkdir -p "$deep"
cp "$work/pages/page2.cal" "$deep/a-drawing-of-the-deep-archive.cal"
cp "$work/pages/page3.tif" "$deep/a-scan-of-the-deep-archive.tif"
long="$deep/a-drawing-of-the-deep-archive.cal"
[ ${#long} -gt 260 ] || fail "the path is only ${#long} characters"
L=$(win "$long")
printf 'SourceFile,notes\r\n%s,set deep\r\n' "$L" >"$work/deep.csv"
printf '[notes]\r\nReadonly=0\r\n' >"$deep/Scanleaf.ini"
while read -r command; do
    eval "card $command" >"$work/deep.txt" 2>&1 || fail "on a long path: $command: $(cat "$work/deep.txt")"
done <<EOF2
show "$L"
set "$L" "notes=a long way down"
verify "$L"
verify --recursive --jobs 2 "$(win "$work/deep")"
render -o "$(win "$deep")" "$L"
render --size 0 -o "$(win "$deep/full.png")" "$L"
sheet -o "$(win "$deep/sheet.html")" --recursive "$(win "$work/deep")"
export -o "$(win "$deep/cards.csv")" --recursive "$(win "$work/deep")"
import --journal "$(win "$deep/import.journal")" "$(win "$work/deep.csv")"
undo "$(win "$deep/import.journal")"
convert --to pdf -o "$(win "$deep")" "$L"
convert --to tiff -o "$(win "$deep")" "$L"
convert --to cals --set "notes=from deep" -o "$(win "$deep/converted")" "$(win "$deep/a-scan-of-the-deep-archive.tif")"
repair --dry-run "$L"
check "$(win "$deep/Scanleaf.ini")"
EOF2
card show "$L" | grep -q 'notes *a long way down' || fail "set on a long path"
[ -s "$deep/a-drawing-of-the-deep-archive.png" ] && [ -s "$deep/a-drawing-of-the-deep-archive.pdf" ] &&
    [ -s "$deep/a-drawing-of-the-deep-archive.tif" ] && [ -s "$deep/converted/a-scan-of-the-deep-archive.cal" ] &&
    [ -s "$deep/cards.csv" ] && [ -s "$deep/sheet.html" ] || fail "outputs on a long path: $(ls "$deep")"
identify "$deep/full.png" >/dev/null 2>&1 && qpdf --check "$deep/a-drawing-of-the-deep-archive.pdf" >/dev/null ||
    fail "the long path's outputs do not read"
ok
echo "archive: $checks checks passed"
