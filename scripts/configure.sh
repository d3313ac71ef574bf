# Sourced by the scripts that build: configure_build ARCH DIR [OTHER-BUILD] configures the
# 32-bit (ARCH 32) or 64-bit (ARCH 64) build in DIR. OTHER-BUILD names the 64-bit build
# folder to the 32-bit one, for the tests that use both.
configure_build() {
    if [ "$1" = 64 ]; then
        cmake -S "$root" -B "$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" >/dev/null
    else
        other="-USCANLEAF_OTHER_BUILD"
        [ -n "${3:-}" ] && other="-DSCANLEAF_OTHER_BUILD=$3"
        cmake -S "$root" -B "$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" $other >/dev/null
    fi
}
