#!/bin/sh
# Building a package: stripped binaries within the size limit, signing with a throw-away
# certificate (and a failed signing that leaves nothing behind), and the refused versions.
#   build.sh WINE-RUN SOURCE-DIR BUILD32 [BUILD64]
test_name=build
. "$(dirname "$0")/common.sh"
out="$work/dist"
msi="$out/Scanleaf-$version-x86.msi"
nothing_written() { [ -z "$(ls -A "$out" 2>/dev/null | grep -v '^debug$')" ] || fail "$1 left $(ls -A "$out")"; }

# Unsigned: says so; the shipped DLL is stripped, names its debug file and stays under 1.5 MB.
package x86 "$build32" "$out" || fail "unsigned package: $(cat "$work/package.log")"
grep -q "(unsigned: set SCANLEAF_SIGN_CERT" "$work/package.log" || fail "the unsigned build does not say so"
msiextract -C "$work/unsigned" "$msi" >/dev/null
dll="$work/unsigned/Program Files/Scanleaf/Scanleaf.dll"
[ "$(stat -c %s "$dll")" -lt 1572864 ] || fail "the shipped DLL is $(stat -c %s "$dll") bytes"
! i686-w64-mingw32-objdump -h "$dll" | grep -q '\.debug_' || fail "the shipped DLL carries debug sections"
i686-w64-mingw32-objdump -h "$dll" | grep -q '\.gnu_debuglink' || fail "the shipped DLL does not name its debug file"
[ -s "$out/debug/x86/Scanleaf.dll.debug" ] || fail "no debug file beside the package"
! osslsigncode verify -in "$msi" >/dev/null 2>&1 || fail "an unsigned package verifies"
ok

# Signed with a certificate made on the spot: the package and the binaries inside it verify.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Scanleaf test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
rm -rf "$out"
SCANLEAF_SIGN_CERT="$work/cert.pem" SCANLEAF_SIGN_KEY="$work/key.pem" package x86 "$build32" "$out" ||
    fail "signed package: $(cat "$work/package.log")"
grep -q "(signed)" "$work/package.log" || fail "the signed build does not say so"
msiextract -C "$work/signed" "$msi" >/dev/null
for f in "$msi" "$work/signed/Program Files/Scanleaf/Scanleaf.dll" "$work/signed/Program Files/Scanleaf/scanleaf-card.exe"; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$f" >"$work/verify.log" 2>&1 ||
        fail "signature of ${f##*/}: $(cat "$work/verify.log")"
done
ok

# A signing failure (a key that is not the certificate's) fails the build and ships nothing.
openssl genrsa -out "$work/other.pem" 2048 2>/dev/null
rm -rf "$out"
if SCANLEAF_SIGN_CERT="$work/cert.pem" SCANLEAF_SIGN_KEY="$work/other.pem" package x86 "$build32" "$out"; then
    fail "signing with the wrong key succeeded"
fi
grep -q "signing Scanleaf.dll failed" "$work/package.log" || fail "no clear message: $(cat "$work/package.log")"
nothing_written "a failed signing"
ok

# Versions the installer cannot compare are refused before anything is built.
for bad in 1.0 1.0.0.0 01.0.0 1.0.x 256.0.0 1.256.0 1.0.65536 ""; do
    rm -rf "$out"
    if package x86 "$build32" "$out" "${bad:-" "}"; then fail "version '$bad' was accepted"; fi
    grep -Eq "is not MAJOR.MINOR.PATCH|is out of range" "$work/package.log" || fail "version '$bad': $(cat "$work/package.log")"
    nothing_written "version '$bad'"
done
ok
finish
