#!/bin/sh
# The core's fuzz targets (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer), natively:
#
#   sh scripts/fuzz.sh SECONDS     each target for SECONDS over its corpus; ends "N passed, M failed"
#   sh scripts/fuzz.sh --long      the PDF reader's and the carried header's targets for 10 minutes each
#   sh scripts/fuzz.sh --coverage  the core's line coverage by the committed corpus (llvm-cov)
#   sh scripts/fuzz.sh --merge     the committed corpus merged with what runs found, minimized
#                                  (inputs named regression-* are always kept)
#
# The committed corpus (tests/fuzz/corpus/TARGET) is read; what a run adds goes to
# build-fuzz/corpus/TARGET. A failing input is kept in build-fuzz/crashes with a one-line
# replay command. Targets run side by side, one a processor (SCANLEAF_FUZZ_JOBS sets how many).
# SCANLEAF_FUZZ_TARGETS="DateFuzz ..." runs only those targets; SCANLEAF_FUZZ_BUILD
# picks another build folder, so that long runs can go on beside each other. Installs what it
# lacks (as root).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCANLEAF_FUZZ_BUILD:-"$root/build-fuzz"}
arg=${1:-}
case $arg in
--coverage | --merge) ;;
--long)
    arg=600
    SCANLEAF_FUZZ_TARGETS=${SCANLEAF_FUZZ_TARGETS:-"PdfFuzz CarriedHeaderFuzz"}
    ;;
'' | *[!0-9]*) echo "usage: fuzz.sh SECONDS | --long | --coverage | --merge" >&2; exit 2 ;;
esac

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh" native
fi

configure() { # DIR [cmake options...]
    dir=$1
    shift
    cmake -S "$root/tests/native" -B "$dir" -DCMAKE_CXX_COMPILER=clang++-14 -DSCANLEAF_FUZZ=ON "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)" >/dev/null
}
targets() {
    if [ -n "${SCANLEAF_FUZZ_TARGETS:-}" ]; then echo "$SCANLEAF_FUZZ_TARGETS"; return; fi
    (cd "$root/tests/fuzz" && ls ./*Fuzz.cpp | sed 's|^\./||; s|\.cpp$||')
}
dict() { [ -f "$root/tests/fuzz/$1.dict" ] && echo "-dict=$root/tests/fuzz/$1.dict" || true; }

if [ "$arg" = --coverage ]; then
    cov="$build-coverage"
    configure "$cov" -DSCANLEAF_COVERAGE=ON
    rm -rf "$cov/profiles"
    mkdir -p "$cov/profiles"
    objects=""
    for t in $(targets); do
        mkdir -p "$root/tests/fuzz/corpus/$t"
        LLVM_PROFILE_FILE="$cov/profiles/$t.profraw" "$cov/$t" -runs=0 "$root/tests/fuzz/corpus/$t" >/dev/null 2>&1
        if [ -z "$objects" ]; then objects="$cov/$t"; else objects="$objects -object=$cov/$t"; fi
    done
    llvm-profdata-14 merge -sparse "$cov"/profiles/*.profraw -o "$cov/core.profdata"
    # The core and the card tool's own logic beside it: not the native stand-ins, not the targets.
    # shellcheck disable=SC2086
    llvm-cov-14 report -instr-profile="$cov/core.profdata" $objects "$root"/core/*.cpp "$root"/core/*/*.cpp "$root"/cardcore/*.cpp 2>/dev/null >"$cov/report.txt"
    # Columns: file, regions (3), functions (3), lines, missed lines, line cover, branches (3).
    awk '$1 != "Filename" && $1 !~ /^-/ {printf "%-20s lines %5s, missed %4s, %s\n", $1, $8, $9, $10}' "$cov/report.txt"
    awk '$1 == "TOTAL" {printf "core line coverage: %.1f%%\n", 100 * ($8 - $9) / $8}' "$cov/report.txt"
    exit 0
fi

configure "$build"
if [ "$arg" = --merge ]; then
    for t in $(targets); do
        mkdir -p "$root/tests/fuzz/corpus/$t" "$build/corpus/$t"
        merged="$build/merged/$t"
        rm -rf "$merged"
        mkdir -p "$merged"
        "$build/$t" -merge=1 -max_len=8192 "$merged" "$root/tests/fuzz/corpus/$t" "$build/corpus/$t" >/dev/null 2>&1
        # Inputs kept by name (regression-*) stay, whatever they add to the coverage.
        for kept in "$root/tests/fuzz/corpus/$t"/regression-*; do
            [ -f "$kept" ] && cp "$kept" "$merged/"
        done
        rm -rf "$root/tests/fuzz/corpus/$t"
        mv "$merged" "$root/tests/fuzz/corpus/$t"
        echo "$t: $(ls "$root/tests/fuzz/corpus/$t" | wc -l) inputs"
    done
    exit 0
fi

passed=0
failed=0
mkdir -p "$build/crashes" "$build/logs"
# One target on each processor at a time: each runs for its full time whatever the others do.
fuzz_one() { # TARGET: its log, and its exit code in LOG.rc
    t=$1
    log="$build/logs/$t.log"
    # shellcheck disable=SC2046
    if "$build/$t" -max_total_time="$arg" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$t-" $(dict "$t") "$build/corpus/$t" "$root/tests/fuzz/corpus/$t" >"$log" 2>&1; then
        echo 0 >"$log.rc"
    else
        echo 1 >"$log.rc"
    fi
}
report() { # TARGET
    t=$1
    log="$build/logs/$t.log"
    if [ "$(cat "$log.rc" 2>/dev/null)" = 0 ]; then
        passed=$((passed + 1))
        verdict=passed
    else
        failed=$((failed + 1))
        verdict=FAILED
    fi
    runs=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    coverage=$(grep -a -o 'cov: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
    echo "$t: $verdict, ${runs:-0} executions, coverage ${coverage:-0} edges"
    if [ "$verdict" = FAILED ]; then
        grep -a -m 3 -E 'check failed|runtime error|ERROR: ' "$log" | sed 's/^/  /'
        artifact=$(grep -a -o "Test unit written to [^ ]*" "$log" | tail -n 1 | sed 's/Test unit written to //')
        echo "  replay: $build/$t ${artifact:-(no input kept; see $log)}"
    fi
}
at_once=${SCANLEAF_FUZZ_JOBS:-$(nproc)}
running=""
for t in $(targets); do
    mkdir -p "$build/corpus/$t" "$root/tests/fuzz/corpus/$t"
    rm -f "$build/logs/$t.log.rc"
    fuzz_one "$t" &
    running="$running $t"
    if [ "$(echo $running | wc -w)" -ge "$at_once" ]; then
        wait
        for g in $running; do report "$g"; done
        running=""
    fi
done
wait
for g in $running; do report "$g"; done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
