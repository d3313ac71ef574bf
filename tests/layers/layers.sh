#!/bin/sh
# The layers check on this tree passes, and on a copy of a few files with an include that runs
# up (the walk including a command, the core including Windows' wrapper, a core room including
# one above it, in every form the preprocessor reads) it fails and names it. With a toolchain
# file, the build's own layers are tried too: a target that includes up does not compile.
set -eu
root=$1
toolchain=${2:-}
sh "$root/scripts/layers.sh" "$root" >/dev/null || { echo "the tree's own includes run up"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tools/card/batch" "$work/core/fax" "$work/hostenv" "$work/tools/card/commands"
printf '#include "tools/card/commands/Commands.h"\n' >"$work/tools/card/batch/Walk.cpp"
printf '#include "hostenv/LongPath.h"\n' >"$work/core/Text.cpp"
printf '#include "core/Text.h"\n' >"$work/hostenv/Fine.cpp"
printf '#include "tools/card/batch/Walk.h"\n#include <sys/stat.h>\n' >"$work/tools/card/commands/Fine.cpp"
mkdir -p "$work/codec" "$work/navigator" "$work/tools/card/commands" "$work/hostenv"
touch "$work/tools/card/commands/Commands.h" "$work/hostenv/LongPath.h" "$work/core/Text.h" "$work/tools/card/batch/Walk.h" \
    "$work/codec/CalsFrame.h" "$work/navigator/CalsFile.h" "$work/core/fax/Group4.h"
printf '#ifdef X\n    #include "codec/CalsFrame.h"\n#endif\n' >"$work/core/Indented.cpp"
printf '#  include <navigator/CalsFile.h>\n' >"$work/hostenv/Spaced.cpp"
printf '\t#include "core/fax/Group4.h"\n' >"$work/tools/card/batch/Tab.cpp"
# The core's rooms: the fax codes below the CALS header, the base below every room; PDF may read TIFF.
mkdir -p "$work/core/cals" "$work/core/view" "$work/core/pdf" "$work/core/tiff"
touch "$work/core/cals/CalsImage.h" "$work/core/view/Thumbnail.h" "$work/core/tiff/TiffReader.h"
printf '#include "core/cals/CalsImage.h"\n' >"$work/core/fax/Codes.cpp"
printf '#include "core/view/Thumbnail.h"\n' >"$work/core/Base.cpp"
printf '#include "core/tiff/TiffReader.h"\n#include "core/Text.h"\n' >"$work/core/pdf/Fine.cpp"
if out=$(sh "$root/scripts/layers.sh" "$work"); then
    echo "upward includes were let through: $out"
    exit 1
fi
for expected in "tools/card/batch/Walk.cpp includes tools/card/commands/Commands.h" "core/Text.cpp includes hostenv/LongPath.h" \
    "core/Indented.cpp includes codec/CalsFrame.h" "hostenv/Spaced.cpp includes navigator/CalsFile.h" \
    "core/fax/Codes.cpp includes core/cals/CalsImage.h" "core/Base.cpp includes core/view/Thumbnail.h" \
    "6 include(s) against the layers"; do
    case $out in *"$expected"*) ;; *) echo "missing: $expected in: $out"; exit 1 ;; esac
done
passed=1
if [ -n "$toolchain" ]; then
    # A tree built as the product is: navigator may include hostenv, hostenv not navigator, and
    # the CALS room not the view's.
    tree=$work/built
    mkdir -p "$tree/cmake" "$tree/scripts" "$tree/hostenv" "$tree/navigator" "$tree/core/cals" "$tree/core/view"
    cp "$root/cmake/Layers.cmake" "$tree/cmake/"
    cp "$root/scripts/layers.sh" "$tree/scripts/"
    touch "$tree/hostenv/Low.h" "$tree/navigator/High.h" "$tree/core/Text.h" "$tree/core/view/Thumbnail.h"
    printf '#include "hostenv/Low.h"\n#include "core/Text.h"\n#include "core/view/Thumbnail.h"\n' >"$tree/navigator/Fine.cpp"
    printf '#ifndef NOTHING\n  #  include <navigator/High.h>\n#endif\n' >"$tree/hostenv/Up.cpp"
    printf '#include "core/Text.h"\n#include "core/view/Thumbnail.h"\n' >"$tree/core/cals/Beside.cpp"
    cat >"$tree/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(layers CXX)
include(cmake/Layers.cmake)
foreach(case navigator/Fine hostenv/Up core/cals/Beside)
    get_filename_component(area ${case} DIRECTORY)
    get_filename_component(name ${case} NAME)
    add_library(${name} OBJECT ${case}.cpp)
    scanleaf_layer(${name} ${area})
endforeach()
EOF
    cmake -S "$tree" -B "$tree/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; exit 1; }
    cmake --build "$tree/build" --target Fine >"$work/fine.log" 2>&1 || { echo "a downward include did not compile:"; cat "$work/fine.log"; exit 1; }
    for case in Up:navigator/High.h Beside:core/view/Thumbnail.h; do
        if cmake --build "$tree/build" --target "${case%%:*}" >"$work/up.log" 2>&1; then
            echo "${case%%:*}.cpp compiled though it includes ${case#*:}"
            exit 1
        fi
        grep -q "${case#*:}: No such file" "$work/up.log" || { echo "${case%%:*}.cpp failed otherwise:"; cat "$work/up.log"; exit 1; }
    done
    passed=2
fi
echo "$passed passed, 0 failed"
