#!/bin/sh
# The main job: builds Scanleaf.dll and shows its exports and what it says about the format.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCANLEAF_BUILD:-"$root/build"}

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target Scanleaf >/dev/null
echo "Built $build/bin/Scanleaf.dll"
i686-w64-mingw32-objdump -p "$build/bin/Scanleaf.dll" | sed -n '/Ordinal\/Name Pointer/,/^$/p'
