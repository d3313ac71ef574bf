#!/bin/sh
# Builds one architecture's Windows Installer package from a build folder:
#
#   sh scripts/package-msi.sh x86|x64 BUILD-DIR OUT-DIR [VERSION]
#
# VERSION defaults to the repository's VERSION file (another one is for upgrade tests only).
# The DLL and the card tool are shipped stripped; their debug information goes to
# OUT-DIR/debug/ARCH/. With SCANLEAF_SIGN_CERT and SCANLEAF_SIGN_KEY (PEM files) set, the DLL,
# the tool and the package are signed (SHA-256; SCANLEAF_SIGN_TIMESTAMP adds a timestamp
# URL, SCANLEAF_SIGN_PASS_FILE names a file with the key's password). The package appears in OUT-DIR only when complete.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "package: $*" >&2; exit 1; }

[ $# -ge 3 ] || die "usage: package-msi.sh x86|x64 BUILD-DIR OUT-DIR [VERSION]"
arch=$1
build=$(cd "$2" && pwd)
out=$3
version=${4:-$(head -n 1 "$root/VERSION")}

case $arch in
    x86) triple=i686-w64-mingw32; program_files=ProgramFilesFolder ;;
    x64) triple=x86_64-w64-mingw32; program_files=ProgramFiles64Folder ;;
    *) die "unknown architecture '$arch' (x86 or x64)" ;;
esac
# The installer compares MAJOR.MINOR.PATCH, at most 255.255.65535.
echo "$version" | grep -Eqx '(0|[1-9][0-9]*)\.(0|[1-9][0-9]*)\.(0|[1-9][0-9]*)' ||
    die "version '$version' is not MAJOR.MINOR.PATCH (such as 1.0.0)"
IFS=. read -r major minor patch <<EOV
$version
EOV
[ "$major" -le 255 ] && [ "$minor" -le 255 ] && [ "$patch" -le 65535 ] ||
    die "version '$version' is out of range (at most 255.255.65535)"
for f in Scanleaf.dll ScanleafCodec.dll scanleaf-card.exe scanleaf-regrows.exe; do
    [ -f "$build/bin/$f" ] || die "$build/bin/$f is missing: build the $arch targets first"
done
signing=no
if [ -n "${SCANLEAF_SIGN_CERT:-}" ] || [ -n "${SCANLEAF_SIGN_KEY:-}" ]; then
    [ -f "${SCANLEAF_SIGN_CERT:-}" ] || die "SCANLEAF_SIGN_CERT '${SCANLEAF_SIGN_CERT:-}' is not a file"
    [ -f "${SCANLEAF_SIGN_KEY:-}" ] || die "SCANLEAF_SIGN_KEY '${SCANLEAF_SIGN_KEY:-}' is not a file"
    signing=yes
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
name="Scanleaf-$version-$arch.msi"
stage=$(mktemp -d)
trap 'rm -rf "$stage" "$out/.$name.partial"' EXIT
trap 'exit 1' INT TERM
mkdir -p "$stage/debug"

# Stripped binaries that still name their debug files.
for f in Scanleaf.dll ScanleafCodec.dll scanleaf-card.exe; do
    "$triple-objcopy" --only-keep-debug "$build/bin/$f" "$stage/debug/$f.debug"
    "$triple-objcopy" --strip-all --add-gnu-debuglink="$stage/debug/$f.debug" "$build/bin/$f" "$stage/$f"
done
size=$(stat -c %s "$stage/Scanleaf.dll")
if [ "$arch" = x86 ] && [ "$size" -ge 1572864 ]; then
    die "the stripped 32-bit DLL is $size bytes, over the 1.5 MB limit"
fi
cp "$root/samples/Scanleaf.ini" "$stage/Scanleaf.ini"
cp "$root/codec/ScanleafCodec.propdesc" "$stage/ScanleafCodec.propdesc"
cp "$root/package/Scanleaf.wxs" "$stage/Scanleaf.wxs"

# The COM registration as rows, from the shipped DLL's own registration.
win() { "$build/wine-run" winepath -w "$1" | tr -d '\r'; }
"$build/wine-run" "$build/bin/scanleaf-regrows.exe" "$(win "$stage/Scanleaf.dll")" '[#ScanleafDll]' \
    "[$program_files]Scanleaf" "$(win "$stage")" >/dev/null ||
    die "the DLL's registration could not be turned into installer rows (see above)"
"$build/wine-run" "$build/bin/scanleaf-regrows.exe" --codec '[#CodecDll]' "$(win "$stage")" >/dev/null ||
    die "the codec's registration could not be turned into installer rows"

sign() {
    file=$1
    set -- -certs "$SCANLEAF_SIGN_CERT" -key "$SCANLEAF_SIGN_KEY" -h sha256 -n Scanleaf
    if [ -n "${SCANLEAF_SIGN_PASS_FILE:-}" ]; then set -- "$@" -readpass "$SCANLEAF_SIGN_PASS_FILE"; fi
    if [ -n "${SCANLEAF_SIGN_TIMESTAMP:-}" ]; then set -- "$@" -ts "$SCANLEAF_SIGN_TIMESTAMP"; fi
    rm -f "$file.signed"
    osslsigncode sign "$@" -in "$file" -out "$file.signed" >"$stage/sign.log" 2>&1 ||
        { cat "$stage/sign.log" >&2; die "signing ${file##*/} failed: nothing was written to $out"; }
    mv "$file.signed" "$file"
}

if [ "$signing" = yes ]; then
    sign "$stage/Scanleaf.dll"
    sign "$stage/ScanleafCodec.dll"
    sign "$stage/scanleaf-card.exe"
fi
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -o Scanleaf.msi Scanleaf.wxs) \
    >"$stage/wixl.log" 2>&1 || { cat "$stage/wixl.log" >&2; die "wixl failed to build the $arch package"; }
# wixl writes no binary registry value: the codec's rows carry "binary:HEX", turned here into
# the installer's own "#xHEX".
(cd "$stage" && msiinfo export Scanleaf.msi Registry >Registry.idt &&
    sed -i 's/\tbinary:\([0-9A-F]*\)\t/\t#x\1\t/' Registry.idt && msibuild Scanleaf.msi -i Registry.idt) ||
    die "the binary registry values could not be written into the $arch package"
# Nor does wixl write custom actions. The property schema is registered by the installed codec
# DLL itself (type 17: a DLL of an installed file; +1024 deferred, +2048 as the system, +256 the
# rollback): after InstallFiles when the codec is installed ($Codec>2), before RemoveFiles when
# it is removed ($Codec=2), each with its undoing should the install be rolled back.
tab=$(printf '\t')
(cd "$stage" && msiinfo export Scanleaf.msi InstallExecuteSequence >InstallExecuteSequence.idt &&
    sed -i 's/\r$//' InstallExecuteSequence.idt &&
    cat >>InstallExecuteSequence.idt <<EOR &&
UnregisterPropertySchemaRollback$tab\$Codec=2${tab}3390
UnregisterPropertySchema$tab\$Codec=2${tab}3400
RegisterPropertySchemaRollback$tab\$Codec>2${tab}4090
RegisterPropertySchema$tab\$Codec>2${tab}4100
EOR
    cat >CustomAction.idt <<EOR &&
Action${tab}Type${tab}Source${tab}Target${tab}ExtendedType
s72${tab}i2${tab}S72${tab}S255${tab}I4
CustomAction${tab}Action
UnregisterPropertySchemaRollback${tab}3345${tab}CodecDll${tab}RegisterPropertySchema$tab
UnregisterPropertySchema${tab}3089${tab}CodecDll${tab}UnregisterPropertySchema$tab
RegisterPropertySchemaRollback${tab}3345${tab}CodecDll${tab}UnregisterPropertySchema$tab
RegisterPropertySchema${tab}3089${tab}CodecDll${tab}RegisterPropertySchema$tab
EOR
    msibuild Scanleaf.msi -i InstallExecuteSequence.idt CustomAction.idt) ||
    die "the property schema's actions could not be written into the $arch package"
if [ "$signing" = yes ]; then sign "$stage/Scanleaf.msi"; fi

mkdir -p "$out/debug/$arch"
cp "$stage/debug/"*.debug "$out/debug/$arch/"
cp "$stage/Scanleaf.msi" "$out/.$name.partial"
mv -f "$out/.$name.partial" "$out/$name"
if [ "$signing" = yes ]; then
    echo "$out/$name (signed)"
else
    echo "$out/$name (unsigned: set SCANLEAF_SIGN_CERT and SCANLEAF_SIGN_KEY to sign)"
fi
