#!/bin/sh
# The 32-bit and the 64-bit DLL registered side by side in one prefix: each lands in its own
# registry view, the card tool of each build loads its own, and unregistering one leaves the
# other's class keys.
#   side_by_side.sh WINE-RUN BIN32 BIN64
set -eu
run=$1
bin32=$2
bin64=$3
clsid='{A45B9238-123E-4BB4-96D4-AC34A5020DE5}'
win() { "$run" winepath -w "$1" | tr -d '\r'; }
dll32=$(win "$bin32/Scanleaf.dll")
dll64=$(win "$bin64/Scanleaf.dll")
fail() { echo "FAILED: $*" >&2; exit 1; }
server() { "$run" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve "/reg:$1" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }

"$run" "$bin32/scanleaf-card.exe" register >/dev/null || fail "32-bit registration"
"$run" "$bin64/scanleaf-card.exe" register >/dev/null || fail "64-bit registration"
[ "$(server 32)" = "$dll32" ] || fail "32-bit view names $(server 32)"
[ "$(server 64)" = "$dll64" ] || fail "64-bit view names $(server 64)"
"$run" "$bin32/scanleaf-card.exe" info | grep -qF "registered: $dll32" || fail "32-bit tool loads its own"
"$run" "$bin64/scanleaf-card.exe" info | grep -qF "registered: $dll64" || fail "64-bit tool loads its own"

"$run" "$bin64/scanleaf-card.exe" unregister >/dev/null || fail "64-bit unregistration"
[ -z "$(server 64)" ] || fail "64-bit class left behind"
[ "$(server 32)" = "$dll32" ] || fail "unregistering the 64-bit DLL touched the 32-bit view"
# Program identifiers are not kept per view: unregistering either build removes them, and
# registering the remaining build again brings them back.
"$run" "$bin32/scanleaf-card.exe" register >/dev/null || fail "32-bit registration again"
"$run" "$bin32/scanleaf-card.exe" info | grep -qF "registered: $dll32" || fail "32-bit tool after 64-bit unregistration"
"$run" "$bin32/scanleaf-card.exe" unregister >/dev/null || fail "32-bit unregistration"
[ -z "$(server 32)" ] || fail "32-bit class left behind"
echo "1 passed, 0 failed"
