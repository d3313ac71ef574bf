#!/bin/sh
# Installs what is missing, builds Scanleaf and its tests for 32-bit (build/) and 64-bit
# (build64/), and runs the whole suite of each under Wine. The 32-bit run also registers both
# DLLs side by side, tests the installer packages, and runs once more under Wine's heap check
# (any heap fault Wine reports fails the case). SCANLEAF_ARCHS="32" (or "64") limits the run
# to one build. Then the core natively: its unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, and every fuzz target for SCANLEAF_FUZZ_SECONDS (20) seconds.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build32=${SCANLEAF_BUILD:-"$root/build"}
build64=${SCANLEAF_BUILD64:-"$root/build64"}
archs=${SCANLEAF_ARCHS:-"64 32"}
jobs=$(nproc)

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
fi

. "$root/scripts/configure.sh"
for arch in $archs; do
    if [ "$arch" = 64 ]; then
        configure_build 64 "$build64"
        cmake --build "$build64" -j "$jobs"
    else
        other=""
        case " $archs " in *" 64 "*) other=$build64 ;; esac
        configure_build 32 "$build32" "$other"
        cmake --build "$build32" -j "$jobs"
    fi
done

# Ends a prefix's Wine server and its services once its suite is done: nothing stays running.
end_wine() { WINEPREFIX="$1" wineserver -k 2>/dev/null || true; }

status=0
for arch in $archs; do
    dir=$build32
    [ "$arch" = 64 ] && dir=$build64
    echo "== $arch-bit suite ($dir)"
    (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300) || status=1
    end_wine "$dir/wineprefix"
    if [ "$arch" = 32 ]; then
        echo "== 32-bit suite under Wine's heap check ($dir)"
        (cd "$dir" && SCANLEAF_HEAPCHECK=1 ctest -j "$jobs" --output-on-failure --timeout 300 -LE 'msi|long') || status=1
        end_wine "$dir/wineprefix"
    fi
done
echo "== core, natively with AddressSanitizer and UndefinedBehaviorSanitizer"
native=${SCANLEAF_NATIVE_BUILD:-"$root/build-native"}
if cmake -S "$root/tests/native" -B "$native" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null &&
    cmake --build "$native" -j "$jobs" >/dev/null; then
    "$native/core_tests" --gtest_brief=1 || status=1
else
    status=1
fi
echo "== fuzz targets"
sh "$root/scripts/fuzz.sh" "${SCANLEAF_FUZZ_SECONDS:-20}" || status=1
exit $status
