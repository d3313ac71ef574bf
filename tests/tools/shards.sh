#!/bin/sh
# Shards as a scheduler runs them: --shard auto takes the task's share from Slurm's array
# variables (an array from 5, and one in steps of 2) or a Kubernetes indexed Job's index; the
# shards cover the archive once, each saying which it was; and one run given every shard's table
# (--resume, again and again) writes the table of one machine's run without reading a drawing.
#   shards.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"

mkdir -p "$work/pages" "$work/d"
vault
gs_drawings "$work/pages" 4 100 a6
n=0
while [ $n -lt 30 ]; do
    cp "$work/pages/page$((n % 4)).cal" "$work/d/$(printf 'd%02d' $n).cal"
    n=$((n + 1))
done
head -c 2100 "$work/d/d03.cal" >"$work/d/d03-cut.cal"
d=$(win "$work/d")
unset SLURM_ARRAY_TASK_ID SLURM_ARRAY_TASK_MIN SLURM_ARRAY_TASK_COUNT SLURM_ARRAY_TASK_STEP JOB_COMPLETION_INDEX

card verify --resume "$(win "$work/one.csv")" "$d" >/dev/null 2>&1 && fail "verify passed a cut drawing"
card export --resume "$(win "$work/one-export.csv")" "$d" >/dev/null 2>&1 || fail "export"

# No scheduler: a usage error that names what it reads.
rc=0
card verify --shard auto "$d" >/dev/null 2>"$work/none.txt" || rc=$?
[ $rc -eq 2 ] || fail "--shard auto without a scheduler exits $rc"
grep -q 'SLURM_ARRAY_TASK_ID.*JOB_COMPLETION_INDEX' "$work/none.txt" || fail "--shard auto without variables: $(cat "$work/none.txt")"
ok

# Slurm's array 5-7 and 1-5:2: each task its share, named on its closing line and in its table.
for array in "5 3 1" "1 3 2"; do
    set -- $array
    k=0
    rm -f "$work"/t*.csv "$work"/t*.csv.rows
    while [ $k -lt 3 ]; do
        id=$(($1 + k * $3))
        k=$((k + 1))
        SLURM_ARRAY_TASK_ID=$id SLURM_ARRAY_TASK_MIN=$1 SLURM_ARRAY_TASK_COUNT=$2 SLURM_ARRAY_TASK_STEP=$3 \
            card verify --shard auto --resume "$(win "$work/t$k.csv")" "$d" >/dev/null 2>"$work/t$k.err" || true
        grep -q "^verify (shard $k/3): files" "$work/t$k.err" || fail "task $id: $(cat "$work/t$k.err")"
        head -n 1 "$work/t$k.csv" | grep -q ',Problem,Shard' || fail "task $id's table has no shard column"
        [ "$(tail -n +2 "$work/t$k.csv" | tr -d '\r' | grep -vc ",$k/3\$")" = 0 ] || fail "task $id's rows name another shard"
        [ -f "$work/t$k.csv.rows" ] || fail "task $id did not keep its rows for the merge"
    done
    # Every drawing once.
    tail -q -n +2 "$work"/t1.csv "$work"/t2.csv "$work"/t3.csv | cut -d, -f1 | sort >"$work/shards.txt"
    tail -n +2 "$work/one.csv" | cut -d, -f1 | sort >"$work/whole.txt"
    cmp -s "$work/shards.txt" "$work/whole.txt" || fail "array $array: the shards do not cover the archive once"
    ok
done

# One table of the three, as one machine's; nothing read again.
card verify --resume "$(win "$work/all.csv")" --resume "$(win "$work/t1.csv")" --resume "$(win "$work/t2.csv")" \
    --resume "$(win "$work/t3.csv")" "$d" >/dev/null 2>"$work/merge.txt" && fail "the merge passed a cut drawing"
cmp -s "$work/one.csv" "$work/all.csv" || fail "the merged table is not one machine's: $(diff "$work/one.csv" "$work/all.csv" | head)"
grep -q 'kept from the stopped run 0, taken from the other tables 31' "$work/merge.txt" || fail "merge: $(cat "$work/merge.txt")"
[ ! -f "$work/all.csv.rows" ] && [ -f "$work/t1.csv.rows" ] || fail "the merge's rows: $(ls "$work")"
ok
# A drawing changed since its shard ran is read again.
printf 'x' >>"$work/d/d10.cal"
card verify --resume "$(win "$work/all2.csv")" --resume "$(win "$work/t1.csv")" --resume "$(win "$work/t2.csv")" \
    --resume "$(win "$work/t3.csv")" "$d" >/dev/null 2>"$work/merge2.txt" || true
grep -q 'taken from the other tables 30' "$work/merge2.txt" || fail "a changed drawing was taken: $(cat "$work/merge2.txt")"
truncate -s -1 "$work/d/d10.cal"

# A Kubernetes indexed Job of three: export's tables, merged.
for index in 0 1 2; do
    JOB_COMPLETION_INDEX=$index card export --shard auto/3 --resume "$(win "$work/e$index.csv")" "$d" >/dev/null 2>"$work/e.err" || true
    grep -q "^export (shard $((index + 1))/3): files" "$work/e.err" || fail "index $index: $(cat "$work/e.err")"
    # Not in export's table: import reads every column as a variable.
    head -n 1 "$work/e$index.csv" | grep -q Shard && fail "export's table has a shard column"
done
card export --resume "$(win "$work/eall.csv")" --resume "$(win "$work/e0.csv")" --resume "$(win "$work/e1.csv")" \
    --resume "$(win "$work/e2.csv")" "$d" >/dev/null 2>"$work/emerge.txt" || true
cmp -s "$work/one-export.csv" "$work/eall.csv" || fail "the merged export is not one machine's"
grep -q 'taken from the other tables 3[01]' "$work/emerge.txt" || fail "export merge: $(cat "$work/emerge.txt")"
ok
echo "$checks passed, 0 failed"
