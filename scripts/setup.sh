#!/bin/sh
# Installs what building and testing Scanleaf needs on a Debian machine (run as root).
# Quick and silent when everything is already there.
set -eu

need=""
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    arch_added=1
else
    arch_added=0
fi

for p in cmake make wine wine32:i386 wine64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
         g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev \
         googletest imagemagick graphicsmagick python3 wixl msitools osslsigncode openssl; do
    have_pkg "$p" || need="$need $p"
done

if [ -n "$need" ] || [ "$arch_added" = 1 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    if [ -n "$need" ]; then
        apt-get install -y -qq --no-install-recommends $need >/dev/null
    fi
fi
