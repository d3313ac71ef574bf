#!/bin/sh
# Builds the Windows Installer packages of both architectures into dist/ (SCANLEAF_DIST):
#
#   Scanleaf-VERSION-x86.msi   32-bit DLL and card tool into Program Files (x86)\Scanleaf
#   Scanleaf-VERSION-x64.msi   64-bit DLL and card tool into Program Files\Scanleaf
#   SHA256SUMS                 of the two packages
#   debug/x86, debug/x64       the shipped binaries' debug information
#
# With SCANLEAF_SIGN_CERT and SCANLEAF_SIGN_KEY set, the binaries and the packages are signed
# (see scripts/package-msi.sh). Installs what it lacks when run as root.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build32=${SCANLEAF_BUILD:-"$root/build"}
build64=${SCANLEAF_BUILD64:-"$root/build64"}
dist=${SCANLEAF_DIST:-"$root/dist"}

if [ "$(id -u)" = 0 ]; then
    sh "$root/scripts/setup.sh"
fi
version=$(head -n 1 "$root/VERSION")
. "$root/scripts/configure.sh"
echo "== building Scanleaf $version (64-bit and 32-bit)"
configure_build 64 "$build64"
cmake --build "$build64" -j "$(nproc)" --target Scanleaf scanleaf-card scanleaf-regrows >/dev/null
configure_build 32 "$build32" "$build64"
cmake --build "$build32" -j "$(nproc)" --target Scanleaf scanleaf-card scanleaf-regrows >/dev/null

echo "== packaging into $dist"
sh "$root/scripts/package-msi.sh" x86 "$build32" "$dist" "$version"
sh "$root/scripts/package-msi.sh" x64 "$build64" "$dist" "$version"
(cd "$dist" && sha256sum "Scanleaf-$version-x86.msi" "Scanleaf-$version-x64.msi" >.SHA256SUMS.partial &&
    mv -f .SHA256SUMS.partial SHA256SUMS)
echo "$dist/SHA256SUMS"
