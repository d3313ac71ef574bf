#!/bin/sh
# A batch run does what it reports, every time:
#  - random sets of sources (pictures of several pages, names that differ in case only, the same
#    stem in several folders, names that look like page names) give byte-identical outputs,
#    messages and exit codes at --jobs 1 to 4, and no output lands on another's name;
#  - --skip-existing after random edits, undos, additions and deletions gives what a clean run gives;
#  - shards of a plan cover every source once, and their tables join to the whole table;
#  - the table of cases that once went wrong: -o of the wrong kind, deep -o folders, summaries on
#    every path, one wording for a missing file, repair's journal before its report.
#   plan.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"

mkdir -p "$work/share/FileFormats" "$work/pages"
printf '[rtype]\nReadonly=1\n' >"$work/share/FileFormats/Scanleaf.ini"
card settings --shared-folder "$(win "$work/share")" >/dev/null
# Six distinct one-page Group 4 pictures, and the multi-page ones made of them.
for i in 1 2 3 4 5 6; do
    gs -q -dSAFER -sDEVICE=tiffg4 -dMaxStripSize=0 -r50 -g240x120 -o "$work/pages/p$i.tif" \
        -c "3 setlinewidth 10 10 moveto $((i * 35)) 110 lineto stroke $((i * 30)) 20 moveto 5 0 rlineto stroke showpage"
done
tiffcp "$work/pages/p1.tif" "$work/pages/p2.tif" "$work/pages/p3.tif" "$work/pages/three.tif"
tiffcp "$work/pages/p4.tif" "$work/pages/p5.tif" "$work/pages/two.tif"

# 1. Random sets of sources at jobs 1 to 4.
names="multi multi-p001 Multi-P002 multi-p003 plan PLAN a a-p001"
seed=1
while [ $seed -le 6 ]; do
    src="$work/set$seed"
    rm -rf "$src"
    mkdir -p "$src/x" "$src/y"
    python3 - "$seed" "$work/pages" "$src" $names <<'PY'
import random, shutil, sys
seed, pages, src, names = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
r = random.Random(seed)
kinds = ['p1', 'p2', 'p3', 'p4', 'p5', 'p6', 'three', 'two']
taken = set()
for _ in range(r.randint(4, 9)):
    folder = r.choice(['x', 'y', 'x', 'x/deeper'])
    name = r.choice(names) + r.choice(['.tif', '.TIF', '.tiff'])
    if (folder + '/' + name).lower() in taken:
        continue
    taken.add((folder + '/' + name).lower())
    import os
    os.makedirs(src + '/' + folder, exist_ok=True)
    shutil.copy(pages + '/' + r.choice(kinds) + '.tif', src + '/' + folder + '/' + name)
PY
    for jobs in 1 2 3 4; do
        out="$work/out$seed-$jobs"
        rc=0
        card convert --to cals --recursive --jobs $jobs -o "$(win "$out")" "$(win "$src")" >"$out.txt" 2>&1 || rc=$?
        # Wine's own diagnostics (a new prefix's first start, the heap check) are not the tool's.
        grep -v '^[0-9a-f]\{4\}:[a-z]*:' "$out.txt" | sed "s/out$seed-$jobs/OUT/g" >"$out.norm" || true
        echo "exit $rc" >>"$out.norm"
        if [ $jobs -gt 1 ]; then
            cmp -s "$work/out$seed-1.norm" "$out.norm" || fail "set $seed, --jobs $jobs: other messages: $(diff "$work/out$seed-1.norm" "$out.norm" | head -4)"
            diff -r "$work/out$seed-1" "$out" >"$work/files.diff" 2>&1 || fail "set $seed, --jobs $jobs: other files: $(head -c 600 "$work/files.diff")"
        fi
    done
    # Every output holds the page its line names: its stream is that page's strip.
    grep ' -> ' "$work/out$seed-1.txt" | while IFS= read -r line; do
        source=$(printf '%s' "${line%% -> *}" | sed 's/^Z://; s/\\/\//g')
        target=$(printf '%s' "${line#* -> }" | sed 's/ (no header came with it: a new card)$//; s/ (its Group 4 strip kept)$//; s/^Z://; s/\\/\//g')
        page=1
        base=$(basename "$source")
        [ "$(basename "$target" .cal)" = "${base%.*}" ] ||
            case "$target" in *-p00[1-9].cal) page=$(printf '%s' "$target" | sed 's/.*-p00\([1-9]\)\.cal/\1/') ;; esac
        tail -c +2049 "$target" >"$work/stream"
        python3 "$(dirname "$0")/tiffstrip.py" "$source" "$work/strip" "$page"
        cmp -s "$work/stream" "$work/strip" || fail "set $seed: $target does not hold page $page of $source"
    done
    [ "$(grep -c ' -> ' "$work/out$seed-1.txt")" = "$(find "$work/out$seed-1" -name '*.cal' | wc -l)" ] ||
        fail "set $seed: a name was written twice"
    seed=$((seed + 1))
done
ok

# 2. --skip-existing after random changes equals a clean run: per-drawing PDFs and one document.
mkdir -p "$work/d"
for i in 1 2 3 4; do cp "$work/pages/p$i.tif" "$work/d/s$i.tif"; done
card convert --to cals -o "$(win "$work/d")" "$(win "$work/d")" >/dev/null 2>&1 || fail "making the drawings"
rm "$work/d"/*.tif
mkdir -p "$work/d/sub"
cp "$work/d/s1.cal" "$work/d/sub/s1.cal"
python3 - "$work/steps" <<'PY'
import random, sys
r = random.Random(11)
ops = ['set', 'set', 'importundo', 'add', 'addold', 'delete', 'touch', 'none', 'title']
open(sys.argv[1], 'w').write('\n'.join(r.choice(ops) for _ in range(10)) + '\n')
PY
step=0
title=""
while read -r op; do
    step=$((step + 1))
    case $op in
    set) f=$(ls "$work/d"/*.cal | head -n $((step % 3 + 1)) | tail -n 1)
        card set "$(win "$f")" "notes=step $step" >/dev/null 2>&1 || fail "set at step $step" ;;
    importundo) f=$(ls "$work/d"/*.cal | head -n 1)
        printf 'SourceFile,notes\r\n%s,undone %s\r\n' "$(win "$f")" "$step" >"$work/t.csv"
        card import --journal "$(win "$work/t$step.journal")" "$(win "$work/t.csv")" >/dev/null 2>&1 || fail "import at step $step"
        card convert --to pdf --skip-existing -o "$(win "$work/skip")" "$(win "$work/d")" >/dev/null 2>&1 || true
        card undo "$(win "$work/t$step.journal")" >/dev/null 2>&1 || fail "undo at step $step" ;;
    add) cp "$work/d/s2.cal" "$work/d/n$step.cal" ;;
    addold) cp "$work/d/s3.cal" "$work/d/a$step.cal" && touch -d '2001-02-03' "$work/d/a$step.cal" ;;
    delete) f=$(ls "$work/d"/*.cal | tail -n 1) && rm "$f" ;;
    touch) touch -d '2002-01-01' "$work/d"/*.cal ;;
    title) title="--title notes" ;;
    esac
    rm -rf "$work/clean"
    # shellcheck disable=SC2086
    card convert --to pdf --recursive $title -o "$(win "$work/clean")" "$(win "$work/d")" >/dev/null 2>&1 || fail "clean run at step $step"
    # shellcheck disable=SC2086
    card convert --to pdf --recursive $title --skip-existing -o "$(win "$work/skip")" "$(win "$work/d")" >"$work/skip.txt" 2>&1 ||
        fail "skip run at step $step: $(tail -n 2 "$work/skip.txt")"
    for f in "$work/clean"/*.pdf; do
        cmp -s "$f" "$work/skip/$(basename "$f")" || fail "step $step ($op): $(basename "$f") is not what a clean run makes: $(grep "$(basename "$f")" "$work/skip.txt")"
    done
    mkdir -p "$work/one"
    # shellcheck disable=SC2086
    card convert --to pdf --recursive $title -o "$(win "$work/clean/all.pdf")" "$(win "$work/d")" >/dev/null 2>&1
    # shellcheck disable=SC2086
    card convert --to pdf --recursive $title --skip-existing -o "$(win "$work/one/all.pdf")" "$(win "$work/d")" >"$work/one.txt" 2>&1 ||
        fail "one document at step $step: $(cat "$work/one.txt")"
    cmp -s "$work/clean/all.pdf" "$work/one/all.pdf" || fail "step $step ($op): all.pdf is not what a clean run makes: $(cat "$work/one.txt")"
done <"$work/steps"
grep -q 'up to date' "$work/skip.txt" || fail "the last skip run made everything again"
ok

# 3. Shards: each source once, and the tables join to the whole one.
card verify --format csv --recursive "$(win "$work")" >"$work/whole.csv" 2>/dev/null || true
: >"$work/joined.csv"
for k in 1 2 3; do
    card verify --format csv --recursive --shard $k/3 "$(win "$work")" >"$work/shard$k.csv" 2>/dev/null || true
    # Each shard's table names it in a last column, which the whole table has not.
    sed "1s/,Shard\r\$/\r/; 2,\$s/,$k\/3\r\$/\r/" "$work/shard$k.csv" >"$work/bare$k.csv"
    if [ $k = 1 ]; then cat "$work/bare$k.csv" >"$work/joined.csv"; else tail -n +2 "$work/bare$k.csv" >>"$work/joined.csv"; fi
done
[ "$(sort "$work/whole.csv")" = "$(sort "$work/joined.csv")" ] || fail "three shards do not join to the whole table"
[ "$(wc -l <"$work/shard1.csv")" -lt "$(wc -l <"$work/whole.csv")" ] || fail "shard 1 of 3 took everything"
card verify --shard 4/3 "$(win "$work/d")" >/dev/null 2>&1 && fail "--shard 4/3 taken" || [ $? = 2 ] || fail "--shard 4/3 is no usage error"
ok

# 4. The cases that once went wrong, each with its exit status and what it must say.
mkdir -p "$work/w"
cp "$work/d/s1.cal" "$work/w/a.cal"
cp "$work/d/s2.cal" "$work/w/b.cal"
: >"$work/exists.pdf"
mkdir -p "$work/taken/a.pdf" "$work/taken/p.html"
W=$(win "$work/w")
while IFS='|' read -r expect say command; do
    rc=0
    eval "card $command" >"$work/case.txt" 2>&1 || rc=$?
    [ "$rc" = "$expect" ] || fail "$command: exit $rc, not $expect: $(cat "$work/case.txt")"
    grep -qF -- "$say" "$work/case.txt" || fail "$command: does not say \"$say\": $(cat "$work/case.txt")"
done <<EOF
2|names a pdf file, but --to tiff writes|convert --to tiff -o "$(win "$work/x.pdf")" "$W"
2|names a tif file, but --to pdf writes|convert --to pdf -o "$(win "$work/x.tif")" "$W"
0|convert: files 2, written 2|convert --to tiff -o "$(win "$work/a/b/c")" "$W"
1|exists; --overwrite replaces it|convert --to pdf -o "$(win "$work/exists.pdf")" "$W"
1|convert: files 2, written 0|convert --to pdf -o "$(win "$work/exists.pdf")" "$W"
1|taken\\a.pdf is a folder; name another output|convert --to pdf --overwrite -o "$(win "$work/taken")" "$W"
1|up to date 1, left out 0, failed 1|convert --to pdf --skip-existing -o "$(win "$work/taken")" "$W"
1|cannot make the folder|convert --to pdf -o "$(win "$work/exists.pdf/sub")" "$W"
1|convert: files 2, written 0, left out 0, failed 2|convert --to pdf -o "$(win "$work/exists.pdf/sub")" "$W"
0|convert: files 2, written 0, up to date 2|convert --to tiff --skip-existing -o "$(win "$work/a/b/c")" "$W"
1|nowhere.cal: no such file or folder|verify "$(win "$work/nowhere.cal")" "$W"
1|not found 1|verify "$(win "$work/nowhere.cal")" "$W"
1|nowhere.cal: no such file or folder|show "$(win "$work/nowhere.cal")" "$W"
1|nowhere.cal: no such file or folder|convert --to pdf -o "$(win "$work/m")" "$(win "$work/nowhere.cal")" "$W"
1|nowhere.cal: no such file or folder|render -o "$(win "$work/m")" "$(win "$work/nowhere.cal")" "$W"
1|export: files 3, exported 2, failed 1|export "$(win "$work/nowhere.cal")" "$W"
1|render: pictures 0, failed 2|render -o "$(win "$work/one.png")" "$W"
1|sheet: $(win "$work/taken/p.html") not written|sheet -o "$(win "$work/taken/p.html")" "$W"
2|names a pdf file, but sheet writes .html, .htm files|sheet -o "$(win "$work/page.pdf")" "$W"
2|sheet needs -o naming a file ending in .html, not a folder|sheet -o "$(win "$work/pages")" "$W"
EOF
ok

# repair: nothing said as mended before its journal holds it; a dry run says "would mend".
python3 - "$work/w/a.cal" "$work/r.cal" <<'PY'
import re, sys
data = bytearray(open(sys.argv[1], 'rb').read())
m = re.search(rb'rpelcnt: *(\d+),(\d+)', data[:2048])
lines = m.group(2)
data[m.start(2):m.end(2)] = str(int(lines) + 7).zfill(len(lines)).encode()
open(sys.argv[2], 'wb').write(data)
PY
card repair --dry-run "$(win "$work/r.cal")" >"$work/rep.txt" 2>&1 || true
grep -q 'r.cal: would mend: rpelcnt' "$work/rep.txt" && grep -q 'would mend 1, not mended 0; nothing written' "$work/rep.txt" ||
    fail "repair --dry-run: $(cat "$work/rep.txt")"
printf 'SCANLEAF-CARD-JOURNAL 1\n' >"$work/kept.journal"
cp "$work/r.cal" "$work/r-before.cal"
rc=0
card repair --journal "$(win "$work/kept.journal")" "$(win "$work/r.cal")" >"$work/rep.txt" 2>&1 || rc=$?
[ $rc = 1 ] && ! grep -q 'rpelcnt' "$work/rep.txt" && grep -q 'no file was changed' "$work/rep.txt" &&
    grep -q 'repair: files read 1, changed 0' "$work/rep.txt" && cmp -s "$work/r.cal" "$work/r-before.cal" ||
    fail "repair behind a journal not undone: $(cat "$work/rep.txt")"
card repair --journal "$(win "$work/r.journal")" "$(win "$work/r.cal")" >"$work/rep.txt" 2>&1 || fail "repair: $(cat "$work/rep.txt")"
grep -q 'r.cal: rpelcnt' "$work/rep.txt" || fail "repair does not say what it mended"
card set "$(win "$work/r.cal")" "notes=changed after" >/dev/null 2>&1
card undo "$(win "$work/r.journal")" >"$work/undo.txt" 2>&1 && fail "undo over a later change"
grep -q 'changed since the repair' "$work/undo.txt" || fail "undo of a repair journal: $(cat "$work/undo.txt")"
ok
echo "plan: $checks checks passed"
