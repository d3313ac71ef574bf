#!/bin/sh
# Installs what is missing, builds Scanleaf and its tests, and runs the whole suite under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCANLEAF_BUILD:-"$root/build"}

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest -j "$(nproc)" --output-on-failure --timeout 300
