#!/bin/sh
# Installs what building and testing Scanleaf needs on a Debian machine (run as root); Apache
# PDFBox's Preflight (libpdfbox2-java with a Java runtime) validates the PDF/A documents.
# Quick and silent when everything is already there. "setup.sh native": only the core's native
# build (clang, its sanitizers and libFuzzer, llvm-cov; libtiff as a reference), for scripts/fuzz.sh.
set -eu

need=""
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

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
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends $need >/dev/null
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
         libpdfbox2-java libactivation-java libjaxb-api-java default-jre-headless $native; do
    have_pkg "$p" || need="$need $p"
done

if [ -n "$need" ] || [ "$arch_added" = 1 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    if [ -n "$need" ]; then
        apt-get install -y -qq --no-install-recommends $need >/dev/null
    fi
fi
