#!/bin/sh
# Installs what building and testing Scanleaf needs on a Debian machine (run as root); Apache
# PDFBox's Preflight (libpdfbox2-java with a Java runtime) validates the PDF/A documents; GNU time
# measures the time and memory a hostile document costs the tool; Xvfb is the real display the
# preview pane is measured on.
# Quick and silent when everything is already there. "setup.sh native": only the core's native
# build (clang, its sanitizers and libFuzzer, llvm-cov; libtiff as a reference), for scripts/fuzz.sh.
set -eu

need=""
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
# A mirror caught mid-sync fails one index now and then (seen: the security suite's i386 list):
# tried three times, then the install takes the release's own versions, which every
# architecture's lists hold alike, so that wine32 and its amd64 half still agree.
release=""
update_lists() {
    for try in 1 2 3; do
        apt-get update -qq && return 0
        echo "setup: apt-get update failed (try $try of 3)" >&2
        sleep 10
    done
    release="-t $(. /etc/os-release && echo "$VERSION_CODENAME")"
    echo "setup: going on with the lists apt has, preferring the release's packages ($release)" >&2
}

# The core's native build: clang with its sanitizers and libFuzzer, llvm-cov, GoogleTest, zlib
# (the PDF reader's Flate), and libtiff (the reference the Group 4 decoder is held against; it does
# not ship); qpdf, libqpdf and Ghostscript, which read what the PDF writer writes and what the
# PDF reader reads. The Windows builds take zlib from libz-mingw-w64-dev, linked statically.
native="clang-14 libfuzzer-14-dev libclang-rt-14-dev llvm-14 libtiff-dev libqpdf-dev zlib1g-dev googletest cmake make qpdf ghostscript"
if [ "${1:-}" = native ]; then
    for p in $native; do
        have_pkg "$p" || need="$need $p"
    done
    if [ -n "$need" ]; then
        export DEBIAN_FRONTEND=noninteractive
        update_lists
        apt-get install -y -qq --no-install-recommends $release $need >/dev/null
    fi
    exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    arch_added=1
else
    arch_added=0
fi

for p in cmake make wine wine32:i386 wine64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
         g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev libz-mingw-w64-dev img2pdf \
         googletest imagemagick graphicsmagick gdal-bin poppler-utils mupdf-tools libtiff-tools python3 wixl msitools osslsigncode openssl chromium \
         libpdfbox2-java libactivation-java libjaxb-api-java default-jre-headless time xvfb slurmctld slurmd slurm-client munge $native; do
    have_pkg "$p" || need="$need $p"
done

if [ -n "$need" ] || [ "$arch_added" = 1 ]; then
    export DEBIAN_FRONTEND=noninteractive
    update_lists
    if [ -n "$need" ]; then
        apt-get install -y -qq --no-install-recommends $release $need >/dev/null
    fi
fi
