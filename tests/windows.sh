#!/bin/sh
# Runs a test program that makes windows under Wine, where there is no display: in a prefix of
# its own whose desktop uses Wine's null graphics driver, so windows and GDI work and nothing is
# shown. The other suites' prefix keeps its own settings.
#   windows.sh WINE-RUN PROGRAM [ARGS...]
set -eu
run=$1
shift
prefix="$(dirname "$run")/wineprefix-windows"
export SCANLEAF_WINEPREFIX="$prefix"
if [ ! -f "$prefix/.scanleaf-null-display" ]; then
    mkdir -p "$prefix"
    (
        flock 9
        if [ ! -f "$prefix/.scanleaf-null-display" ]; then
            "$run" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
            # The desktop reads the driver when it starts: the next program starts it anew.
            WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
            WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
            touch "$prefix/.scanleaf-null-display"
        fi
    ) 9>"$prefix.windows.lock"
fi
exec "$run" "$@"
