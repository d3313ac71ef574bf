#!/bin/sh
# Randomized cases by the thousand or the million, on every core:
#
#   sh scripts/soak.sh N
#
# runs N cases over seven kinds: the three model-checked random runs (random settings, headers
# and sequences of reads, writes, saves and reopens, checked against a reference model; code
# page 1252), the hostile-input run (any header bytes, any settings, values beyond the code page;
# no model, only what must always hold) under the code pages 1252, 932 (Japanese, double-byte)
# and 1251, and the open's caches against a fresh read (random changes to the host's key, the
# shared folder and the settings file; 200 steps a case). Cases run in chunks of
# SCANLEAF_SOAK_CHUNK (5000; a hundredth of it for the caches, whose cases are long), the kinds
# taking turns, each chunk a process of its own in a Wine prefix per worker; each worker takes
# the next chunk when it is free, so the slow kinds do not pile up on one core. A failing case
# prints the command that replays it; a crash prints the case it crashed in. Ends with
# "N passed, M failed".
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCANLEAF_BUILD:-"$root/build"}
total=${1:-}
chunk=${SCANLEAF_SOAK_CHUNK:-5000}
first_seed=${SCANLEAF_SOAK_SEED:-100000000}
workers=$(nproc)
case $total in '' | *[!0-9]*) echo "usage: soak.sh N (a number of cases)" >&2; exit 2 ;; esac

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
    # Wine takes its ANSI code page from the locale, which must exist.
    for loc in ja_JP ru_RU; do
        locale -a 2>/dev/null | grep -qix "$loc.utf8" || localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
    done
fi
. "$root/scripts/configure.sh"
configure_build 32 "$build"
cmake --build "$build" -j "$workers" --target Scanleaf test_navigator_random >/dev/null

work="$build/soak"
rm -rf "$work/results" "$work/chunks"
mkdir -p "$work/results"
# kind: locale, test, its chunk's share of SCANLEAF_SOAK_CHUNK (1 = all, 100 = a hundredth)
kinds="C.UTF-8 RandomRuns.SequencesUnderLastingSettings 1
C.UTF-8 RandomRuns.SequencesUnderChangingSettings 1
C.UTF-8 RandomRuns.HeadersOpenSaveAndReopen 1
C.UTF-8 HostileInput.AnyHeaderSettingsAndValuesKeepTheImageAndTheLength 1
ja_JP.UTF-8 HostileInput.AnyHeaderSettingsAndValuesKeepTheImageAndTheLength 1
ru_RU.UTF-8 HostileInput.AnyHeaderSettingsAndValuesKeepTheImageAndTheLength 1
C.UTF-8 OpenCaches.EveryOpenSeesWhatAFreshReadSees 100"
nkinds=7
# The chunk list: every kind in turn, seeds apart by kind and by chunk.
left=$total
index=0
while [ "$left" -gt 0 ]; do
    k=$((index % nkinds))
    read -r loc test share <<EOL
$(echo "$kinds" | sed -n "$((k + 1))p")
EOL
    n=$((chunk / share))
    [ "$n" -lt 1 ] && n=1
    [ "$n" -gt "$left" ] && n=$left
    echo "$index $loc $test $((first_seed + k * 10000000 + (index / nkinds) * chunk)) $n"
    left=$((left - n))
    index=$((index + 1))
done >"$work/chunks"

echo 0 >"$work/next"
# The next chunk's line, or nothing when every chunk is taken.
claim() {
    flock 8
    n=$(cat "$work/next")
    echo $((n + 1)) >"$work/next"
    sed -n "$((n + 1))p" "$work/chunks"
} 8>"$work/next.lock"

worker() {
    w=$1
    export SCANLEAF_WINEPREFIX="$work/prefix-$w"
    state="$work/results/state-$w"
    export SCANLEAF_SOAK_STATE=$(SCANLEAF_LOCALE=C.UTF-8 "$build/wine-run" winepath -w "$state" | tr -d '\r')
    while line=$(claim) && [ -n "$line" ]; do
        read -r idx loc test seed count <<EOL
$line
EOL
        out="$work/results/chunk-$idx"
        rm -f "$state"
        SCANLEAF_LOCALE=$loc SCANLEAF_SEED=$seed SCANLEAF_RANDOM_ITERATIONS=$count \
            "$build/wine-run" "$build/bin/test_navigator_random.exe" --gtest_filter="$test" >"$out.log" 2>&1 || true
        summary=$(grep -a '^soak: ' "$out.log" | tail -n 1)
        if [ -n "$summary" ]; then
            echo "$summary" | awk '{print $2, $4}' >"$out.count"
        else # crashed: the tally and the case it was in are in the state file
            tally=$(sed -n 1p "$state" 2>/dev/null | awk '{print $2, $3 + 1}')
            echo "${tally:-0 1}" >"$out.count"
            echo "CRASH in chunk $idx ($loc): $(sed -n 2p "$state" 2>/dev/null)" >>"$out.log"
        fi
        grep -a -o 'rerun: [^)]*' "$out.log" | sort -u | sed "s/^rerun: /FAILED ($loc): SCANLEAF_LOCALE=$loc /" >"$out.failed" || true
        grep -a '^CRASH' "$out.log" >>"$out.failed" || true
    done
    WINEPREFIX="$SCANLEAF_WINEPREFIX" wineserver -k 2>/dev/null || true
}

start=$(date +%s)
echo "== $total cases in $(wc -l <"$work/chunks") chunks on $workers workers"
w=0
while [ "$w" -lt "$workers" ]; do
    worker "$w" &
    w=$((w + 1))
done
wait
cat "$work"/results/*.failed 2>/dev/null | sort -u
passed=$(cat "$work"/results/*.count | awk '{s += $1} END {print s + 0}')
failed=$(cat "$work"/results/*.count | awk '{s += $2} END {print s + 0}')
echo "code pages seen: $(grep -a -h '^ANSI code page' "$work"/results/*.log | sort | uniq -c | awk '{print $5 " (" $1 " chunks)"}' | tr '\n' ' ')"
echo "time: $(( $(date +%s) - start )) s"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && [ "$((passed + failed))" -ge "$total" ]
