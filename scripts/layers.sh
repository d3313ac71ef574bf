#!/bin/sh
# Fails when a source includes a header of a layer above its own. Each area lists the areas its
# files may include (its own always); tests are outside the layers. Run by the build before
# anything is compiled, and as a test: sh scripts/layers.sh [SOURCE-ROOT]. The build asks it what
# an area may include (sh scripts/layers.sh --may AREA) to give each target only those folders.
set -eu

# AREA: what it may include, lowest first. The core's rooms: the base (core), the fax codes, the
# CALS header with how it travels (XMP), TIFF, PDF and the drawing's view; an area above the core
# may include any room of it.
allowed() {
    case $1 in
    core | core/native) echo "core" ;;
    core/fax) echo "core" ;;
    core/cals) echo "core core/fax" ;;
    core/tiff) echo "core core/fax core/cals" ;;
    core/pdf) echo "core core/fax core/cals core/tiff" ;;
    core/view) echo "core core/fax core/cals" ;;
    cardcore) echo "core" ;;
    hostenv) echo "core" ;;
    comframe) echo "core hostenv" ;;
    host) echo "" ;;
    navigator) echo "core hostenv comframe host" ;;
    format) echo "core hostenv comframe host navigator" ;;
    preview) echo "core hostenv comframe host" ;;
    codec/api) echo "" ;;
    codec) echo "core hostenv comframe host codec/api" ;;
    module) echo "core hostenv comframe host navigator format preview" ;;
    tools/common) echo "core hostenv host" ;;
    tools/card/batch) echo "core cardcore hostenv" ;;
    tools/card/cards) echo "core cardcore hostenv host tools/common tools/card/batch" ;;
    tools/card/picture) echo "core cardcore hostenv host tools/common tools/card/batch tools/card/cards" ;;
    tools/card/commands) echo "core cardcore hostenv host tools/common tools/card/batch tools/card/cards tools/card/picture" ;;
    tools/card) echo "tools/card/batch tools/card/commands" ;;
    tools/bench) echo "core hostenv host codec/api tools/common" ;;
    tools/regrows) echo "core hostenv host codec/api" ;;
    *) echo "?" ;;
    esac
}

# The area of a file or of an included header: its folder, the card tool's layers by name.
area() {
    case $1 in
    tools/card/batch/* | tools/card/cards/* | tools/card/picture/* | tools/card/commands/*) echo "$1" | cut -d/ -f1-3 ;;
    */*) dirname "$1" ;;
    *) echo "" ;;
    esac
}

if [ "${1:-}" = "--may" ]; then
    may=$(allowed "$2")
    [ "$may" = "?" ] && exit 1
    echo "$may"
    exit 0
fi
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

faults=0
folders=""
for f in core cardcore hostenv comframe host navigator format preview codec module tools; do
    [ -d "$f" ] && folders="$folders $f"
done
# shellcheck disable=SC2086
for file in $(find $folders -name '*.cpp' -o -name '*.h' -o -name '*.c' | sort); do
    own=$(area "$file")
    may=$(allowed "$own")
    if [ "$may" = "?" ]; then
        echo "layers: $file: its folder $own is in no layer (add it to scripts/layers.sh)"
        faults=$((faults + 1))
        continue
    fi
    # Every form a preprocessor reads: indented, "# include", quotes or angle brackets.
    for header in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^">]*\/[^">]*\)[">].*/\1/p' "$file"); do
        to=$(area "$header")
        [ "$to" = "$own" ] && continue
        # Above the core, its rooms are the core.
        case $own in core | core/*) ;; *) case $to in core/*) to=core ;; esac ;; esac
        # A header of no folder of this tree (<sys/stat.h>, say) is the system's.
        [ -e "$root/$header" ] || continue
        case " $may " in *" $to "*) continue ;; esac
        echo "layers: $file includes $header, of $to, which $own is below or beside"
        faults=$((faults + 1))
    done
done
if [ "$faults" -gt 0 ]; then
    echo "layers: $faults include(s) against the layers"
    exit 1
fi
echo "layers: every include points down"
